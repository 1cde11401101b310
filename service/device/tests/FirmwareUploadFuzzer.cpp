#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

#include "service/device/FirmwareUpload.h"
#include "service/device/OutputReport.h"

namespace {

// Gives every line that looks like a record the checksum it needs, so that the fuzzer reaches
// the records' meaning and the upload and not only the checksum test.
std::string WithChecksums(std::string_view p_Text) {
  std::string l_Text(p_Text);
  std::size_t l_nStart = 0;
  while (l_nStart < l_Text.size()) {
    const std::size_t l_nEnd = std::min(l_Text.find('\n', l_nStart), l_Text.size());
    const std::string_view l_Line(l_Text.data() + l_nStart, l_nEnd - l_nStart);
    if (l_Line.size() >= 11 && l_Line.size() % 2 == 1 && l_Line[0] == ':') {
      std::uint8_t l_bySum = 0;
      bool l_bHex = true;
      for (std::size_t i = 1; i + 2 < l_Line.size(); i += 2) {
        const auto l_byByte = ParseHex2(l_Line.substr(i, 2));
        l_bHex = l_bHex && l_byByte;
        l_bySum = static_cast<std::uint8_t>(l_bySum + l_byByte.value_or(0));
      }
      if (l_bHex) {
        static constexpr char kDigits[] = "0123456789ABCDEF";
        const auto l_byChecksum = static_cast<std::uint8_t>(0x100 - l_bySum);
        l_Text[l_nEnd - 2] = kDigits[l_byChecksum >> 4];
        l_Text[l_nEnd - 1] = kDigits[l_byChecksum & 0xF];
      }
    }
    l_nStart = l_nEnd + 1;
  }
  return l_Text;
}

}  // namespace

// Any text, read as a firmware image, must stay inside its lines; an upload that starts must send
// whole blocks of the image's own bytes at ascending addresses from 0x1800 on, and end. Inputs
// that begin with '#' have their checksums made right first.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view l_Input(reinterpret_cast<const char*>(data), size);
  const bool l_bRepair = l_Input.starts_with('#');
  const std::string l_Text = l_bRepair ? WithChecksums(l_Input.substr(1)) : std::string(l_Input);
  FirmwareImageRead l_Read = FirmwareImage::Parse(l_Text);
  if (!l_Read.m_Image) {
    return 0;
  }
  const FirmwareImage l_Image = *l_Read.m_Image;

  LcdPacketRing l_Ring;
  LcdPacketRing::Consumer l_Consumer(l_Ring, [] {});
  LcdProtocol l_Protocol(l_Ring, [] { return LcdLanguage{}; });
  FirmwareUpload l_Upload(l_Protocol);
  if (!l_Upload.Start(std::move(l_Read)).empty()) {
    return 0;
  }
  std::array<std::uint8_t, FirmwareUpload::kBlockBytes> l_Block{};
  std::size_t l_nFilled = 0;
  std::uint32_t l_nNextAddress = FirmwareUpload::kFirstDeviceAddress;
  std::uint8_t l_bySequence = 0;
  while (const auto l_Packet = l_Consumer.Take()) {
    std::array<std::uint8_t, 8> l_Report{};
    if (l_Packet->m_Mode != LcdPacketMode::Firmware || !BuildOutputReport(*l_Packet, l_Report)) {
      std::abort();
    }
    std::copy(l_Report.begin() + 1, l_Report.end(),
              l_Block.begin() + static_cast<std::ptrdiff_t>(l_nFilled));
    l_nFilled += FirmwareUpload::kPacketBytes;
    if (l_nFilled == l_Block.size()) {
      const std::uint32_t l_nAddress = std::uint32_t{l_Block[1]} << 8 | l_Block[2];
      if (l_Block[0] != l_bySequence || l_nAddress < l_nNextAddress || l_nAddress % 16 != 0) {
        std::abort();
      }
      for (std::uint32_t i = 0; i < FirmwareUpload::kBlockDataBytes; ++i) {
        const std::uint8_t l_byExpected =
            l_Image.Holds(l_nAddress + i) ? l_Image.At(l_nAddress + i) : FirmwareUpload::kNoData;
        if (l_Block[3 + i] != l_byExpected) {
          std::abort();
        }
      }
      l_bySequence = static_cast<std::uint8_t>((l_bySequence + 1) % 0x20);
      l_nNextAddress = l_nAddress + FirmwareUpload::kBlockDataBytes;
      l_nFilled = 0;
    }
    l_Upload.TopUp();
  }
  if (l_nFilled != 0 || l_Upload.IsRunning() || l_Image.NextHeld(l_nNextAddress)) {
    std::abort();
  }
  return 0;
}
