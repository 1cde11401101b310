#include "service/device/SimulatorProtocol.h"

#include <array>
#include <string>

namespace {

constexpr std::array<std::u16string_view, kSimulatedButtonCount> kButtonNames = {
    u"Global\\SimulateDeviceInputThreadButtonUp",
    u"Global\\SimulateDeviceInputThreadButtonDown",
    u"Global\\SimulateDeviceInputThreadButtonLeft",
    u"Global\\SimulateDeviceInputThreadButtonRight",
    u"Global\\SimulateDeviceInputThreadButtonOk",
    u"Global\\SimulateDeviceInputThreadButtonPlay",
    u"Global\\SimulateDeviceInputThreadButtonPause",
    u"Global\\SimulateDeviceInputThreadButtonStop",
    kSimulatorPowerOnEvent,
    u"Global\\SimulateDeviceInputThreadButtonPrev",
    u"Global\\SimulateDeviceInputThreadButtonNext",
    u"Global\\SimulateDeviceInputThreadButtonHome",
};

using Field = std::int32_t (CDeviceData::*)() const;
constexpr std::array<Field, 7> kFields = {
    &CDeviceData::GetPosition,    &CDeviceData::GetTotal,      &CDeviceData::GetDuration,
    &CDeviceData::GetElapsedTime, &CDeviceData::GetScreenType, &CDeviceData::GetUpdateMode,
    &CDeviceData::GetPlayState,
};
constexpr std::size_t kSelectedRowBytes = 4;

std::int32_t ReadWord(std::span<const std::byte> p_Bytes) {
  std::uint32_t l_nWord = 0;
  for (std::size_t l_nIndex = 0; l_nIndex < 4; ++l_nIndex) {
    l_nWord |= std::to_integer<std::uint32_t>(p_Bytes[l_nIndex]) << (8 * l_nIndex);
  }
  return static_cast<std::int32_t>(l_nWord);
}

}  // namespace

std::vector<std::byte> EncodeSimulatorMessage(const CDeviceData& p_Page) {
  std::size_t l_nLength = 0;
  const std::unique_ptr<std::uint8_t[]> l_pRecord = p_Page.Serialize(l_nLength);
  std::vector<std::byte> l_Message;
  l_Message.reserve(l_nLength + kSimulatorTrailerBytes);
  for (std::size_t l_nIndex = 0; l_nIndex < l_nLength; ++l_nIndex) {
    l_Message.push_back(static_cast<std::byte>(l_pRecord[l_nIndex]));
  }
  for (const Field l_Field : kFields) {
    const auto l_nWord = static_cast<std::uint32_t>((p_Page.*l_Field)());
    for (std::size_t l_nIndex = 0; l_nIndex < 4; ++l_nIndex) {
      l_Message.push_back(static_cast<std::byte>(l_nWord >> (8 * l_nIndex)));
    }
  }
  return l_Message;
}

std::optional<CDeviceData> DecodeSimulatorMessage(std::span<const std::byte> p_Message) {
  if (p_Message.size() < kSelectedRowBytes + kSimulatorTrailerBytes) {
    return std::nullopt;
  }
  const std::size_t l_nRecord = p_Message.size() - kSimulatorTrailerBytes;
  const auto l_Record = p_Message.first(l_nRecord);
  CDeviceData l_Page(std::span<const std::uint8_t>(
      reinterpret_cast<const std::uint8_t*>(l_Record.data()), l_Record.size()));
  const auto l_Trailer = p_Message.subspan(l_nRecord);
  l_Page.SetPosition(ReadWord(l_Trailer.subspan(0)));
  l_Page.SetTotal(ReadWord(l_Trailer.subspan(4)));
  // The page keeps its duration as the player's text gives it.
  l_Page.SetDuration(_bstr_t(std::to_string(ReadWord(l_Trailer.subspan(8))).c_str()));
  l_Page.SetElapsedTime(ReadWord(l_Trailer.subspan(12)));
  l_Page.SetScreenType(ReadWord(l_Trailer.subspan(16)));
  l_Page.SetUpdateMode(ReadWord(l_Trailer.subspan(20)));
  l_Page.SetPlayState(ReadWord(l_Trailer.subspan(24)));
  return l_Page;
}

std::u16string_view SimulatedButtonEventName(SimulatedButton p_Button) {
  return kButtonNames[static_cast<std::size_t>(p_Button)];
}

platform::Event CreateSimulatedButtonEvent(SimulatedButton p_Button) {
  const platform::EventReset l_Reset = p_Button == SimulatedButton::PowerOn
                                           ? platform::EventReset::Manual
                                           : platform::EventReset::Auto;
  // The simulator program and the service may run as different users.
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  return platform::Event::Create(l_Reset, false, SimulatedButtonEventName(p_Button), &l_EveryUser)
      .handle;
}

platform::Event CreateSimulatorPowerOffEvent() {
  const platform::SecurityDescriptor l_EveryUser = platform::SecurityDescriptor::NullDacl();
  return platform::Event::Create(platform::EventReset::Auto, false, kSimulatorPowerOffEvent,
                                 &l_EveryUser)
      .handle;
}
