#pragma once

// The display's own words in the five languages, the language index that picks one, and the
// number of list lines on a page.

#include <array>
#include <atomic>
#include <cstddef>

#include "platform/base/Bstr.h"
#include "platform/base/Language.h"

// 0 English, 1 French, 2 German, 3 Spanish, 4 Japanese; 0 until the session listener applies the
// language rule, which it may do while the device threads read it.
extern std::atomic<int> g_nLanguageIndex;
// List lines on one display page: 6, or 5 for Japanese. Written with g_nLanguageIndex.
extern std::atomic<int> g_nLinesPerPage;

inline constexpr int kLanguageEnglish = 0;
inline constexpr int kLanguageFrench = 1;
inline constexpr int kLanguageGerman = 2;
inline constexpr int kLanguageSpanish = 3;
inline constexpr int kLanguageJapanese = 4;
inline constexpr std::size_t kLanguageCount = 5;

// One text in every language, in the order of the language index.
using LocalizedText = std::array<_bstr_t, kLanguageCount>;

// The root's title and its first five children, in this order.
enum MenuCategory : std::size_t {
  kCategoryMusicLibrary,
  kCategoryPlaylists,
  kCategoryAlbums,
  kCategoryArtists,
  kCategoryGenre,
  kCategoryNowPlaying,
  kCategoryCount
};

extern const std::array<LocalizedText, kCategoryCount> g_CategoryTexts;
// The now-playing screen's three lines when no track is current.
extern const std::array<LocalizedText, 3> g_NothingPlayingTexts;
// Stand-ins for empty names.
extern const LocalizedText g_UnknownEntryText;
extern const LocalizedText g_UnknownArtistText;
extern const LocalizedText g_UntitledAlbumText;
extern const LocalizedText g_NoGenreText;
// The options node's name, title and lines.
extern const LocalizedText g_OptionsText;
extern const LocalizedText g_RepeatOnText;
extern const LocalizedText g_RepeatOffText;
extern const LocalizedText g_ShuffleOnText;
extern const LocalizedText g_ShuffleOffText;

// The text in the current language.
const _bstr_t& Localized(const LocalizedText& p_Text);

// Sets g_nLanguageIndex and g_nLinesPerPage from a user-interface language by its primary
// language (the low eight bits): French, German, Spanish and Japanese have their own texts,
// every other language reads English.
void ApplyLanguageRule(platform::LanguageId p_nUserInterfaceLanguage);
