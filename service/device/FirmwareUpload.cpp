#include "service/device/FirmwareUpload.h"

#include <span>
#include <utility>

namespace {

// The start of the block that holds `p_nAddress`; blocks lie at 0x1800 + 16 n.
std::uint32_t BlockOf(std::uint32_t p_nAddress) {
  return p_nAddress -
         (p_nAddress - FirmwareUpload::kFirstDeviceAddress) % FirmwareUpload::kBlockDataBytes;
}

}  // namespace

FirmwareUpload::FirmwareUpload(LcdProtocol& p_Protocol) : m_Protocol(p_Protocol) {}

std::string FirmwareUpload::Start(const std::filesystem::path& p_ImagePath) {
  return Start(FirmwareImage::ReadFile(p_ImagePath));
}

std::string FirmwareUpload::Start(FirmwareImageRead p_Read) {
  if (p_Read.m_Error.empty() &&
      (!p_Read.m_Image || !p_Read.m_Image->NextHeld(kFirstDeviceAddress))) {
    p_Read.m_Error = "the image holds no data from address 0x1800 on";
  }
  if (!p_Read.m_Error.empty()) {
    m_Protocol.SendLcdEndOfScreen();
    return p_Read.m_Error;
  }
  LcdProtocol::Turn l_Turn = m_Protocol.BeginTurn();
  m_Image = std::move(p_Read.m_Image);
  m_nNextAddress = kFirstDeviceAddress;
  l_Turn.SetSequence(0);
  m_bFirmwareUpload = true;
  SendBlock(l_Turn);
  return {};
}

void FirmwareUpload::Stop() {
  const LcdProtocol::Turn l_Turn = m_Protocol.BeginTurn();
  m_bFirmwareUpload = false;
  m_Image.reset();
}

void FirmwareUpload::SendFirmwareBlock() {
  LcdProtocol::Turn l_Turn = m_Protocol.BeginTurn();
  SendBlock(l_Turn);
}

void FirmwareUpload::TopUp() {
  if (!m_bFirmwareUpload) {
    return;
  }
  std::optional<LcdProtocol::Turn> l_Turn = m_Protocol.TryBeginTurn();
  while (l_Turn && m_bFirmwareUpload && l_Turn->Waiting() < kRefillBelow) {
    SendBlock(*l_Turn);
  }
}

void FirmwareUpload::SendBlock(LcdProtocol::Turn& p_Turn) {
  if (!m_bFirmwareUpload) {
    return;
  }
  // Blocks that would carry no byte of the image are not sent.
  const std::uint32_t l_nAddress = BlockOf(*m_Image->NextHeld(m_nNextAddress));
  std::array<std::uint8_t, kBlockBytes> l_Block{};
  l_Block[0] = p_Turn.TakeFirmwareSequence();
  l_Block[1] = static_cast<std::uint8_t>(l_nAddress >> 8);
  l_Block[2] = static_cast<std::uint8_t>(l_nAddress);
  for (std::uint32_t i = 0; i < kBlockDataBytes; ++i) {
    l_Block[3 + i] = m_Image->Holds(l_nAddress + i) ? m_Image->At(l_nAddress + i) : kNoData;
  }
  for (std::size_t l_nOffset = 0; l_nOffset < kBlockBytes; l_nOffset += kPacketBytes) {
    p_Turn.QueueFirmwarePacket(std::span(l_Block).subspan(l_nOffset, kPacketBytes));
  }
  m_nNextAddress = l_nAddress + kBlockDataBytes;
  if (!m_Image->NextHeld(m_nNextAddress)) {
    m_bFirmwareUpload = false;
    m_Image.reset();
  }
}
