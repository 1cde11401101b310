#include "common/MenuTexts.h"

std::atomic<int> g_nLanguageIndex{kLanguageEnglish};
std::atomic<int> g_nLinesPerPage{6};

const std::array<LocalizedText, kCategoryCount> g_CategoryTexts{{
    {u"Music Library", u"Bibliothèque multimédia", u"Musikbibliothek", u"Biblioteca de música",
     u"ミュージックライブラリ"},
    {u"Playlists", u"Sélections", u"Wiedergabeliste", u"Listas", u"プレイリスト"},
    {u"Albums", u"Albums", u"Alben", u"Álbumes", u"アルバム"},
    {u"Artists", u"Artistes", u"Künstler", u"Artistas", u"アーティスト"},
    {u"Genre", u"Genre", u"Genre", u"Género", u"ジャンル"},
    {u"Now Playing", u"En cours de lecture", u"Wiedergabe", u"Reproduciendo", u"再生中"},
}};

const std::array<LocalizedText, 3> g_NothingPlayingTexts{{
    {u"No song", u"Aucune chanson", u"Aktuell kein", u"Actualmente no hay", u"現在どの歌も"},
    {u"currently", u"en cours", u"Titel", u"ninguna canción", u"再生されて"},
    {u"playing", u"de lecture", u"wiedergegeben", u"reproduciéndose", u"いません"},
}};

const LocalizedText g_UnknownEntryText{u"-Unknown-", u"-Inconnu-", u"-Unbekannt-", u"-Desconocido-",
                                       u"-未知-"};
const LocalizedText g_UnknownArtistText{u"-Unknown Artist-", u"-Artiste Inconnu-",
                                        u"-Künstler unbekannt-", u"-Artista desconocido-",
                                        u"-アーティスト不明-"};
const LocalizedText g_UntitledAlbumText{u"-Untitled Album-", u"-Album sans titre-",
                                        u"-Unbetiteltes Album-", u"-Álbum sin título-",
                                        u"-アルバムタイトルなし-"};
const LocalizedText g_NoGenreText{u"-No Genre-", u"-Aucun genre-", u"-Kein Genre-", u"-Sin género-",
                                  u"-ジャンルなし-"};
const LocalizedText g_OptionsText{u"Options", u"Options", u"Optionen", u"Opciones", u"オプション"};
const LocalizedText g_RepeatOnText{u"Repeat - On", u"Répéter - Marche", u"Wiederholen - Ein",
                                   u"Repetir - Activado", u"リピート - オン"};
const LocalizedText g_RepeatOffText{u"Repeat - Off", u"Répéter - Arrêt", u"Wiederholen - Aus",
                                    u"Repetir - Desactivado", u"リピート - オフ"};
// The French texts hold a blank inside "al éatoire", as the display has always shown them.
const LocalizedText g_ShuffleOnText{u"Shuffle - On", u"Lecture al éatoire - Marche",
                                    u"Zufällige Wiedergabe - Ein", u"Mezclar - Activado",
                                    u"シャッフル - オン"};
const LocalizedText g_ShuffleOffText{u"Shuffle - Off", u"Lecture al éatoire - Arrêt",
                                     u"Zufällige Wiedergabe - Aus", u"Mezclar - Desactivado",
                                     u"シャッフル - オフ"};

const _bstr_t& Localized(const LocalizedText& p_Text) {
  return p_Text[static_cast<std::size_t>(g_nLanguageIndex)];
}

void ApplyLanguageRule(platform::LanguageId p_nUserInterfaceLanguage) {
  constexpr unsigned kFrench = 0x0C;
  constexpr unsigned kGerman = 0x07;
  constexpr unsigned kSpanish = 0x0A;
  constexpr unsigned kJapanese = 0x11;
  g_nLinesPerPage = 6;
  switch (p_nUserInterfaceLanguage & 0xFFu) {
    case kFrench:
      g_nLanguageIndex = kLanguageFrench;
      break;
    case kGerman:
      g_nLanguageIndex = kLanguageGerman;
      break;
    case kSpanish:
      g_nLanguageIndex = kLanguageSpanish;
      break;
    case kJapanese:
      g_nLanguageIndex = kLanguageJapanese;
      g_nLinesPerPage = 5;
      break;
    default:
      g_nLanguageIndex = kLanguageEnglish;
      break;
  }
}
