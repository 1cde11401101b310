#pragma once

// The firmware upload: the image's data from device address 0x1800 on, sent in blocks of 16
// bytes, three firmware packets a block, as fast as the writer empties the ring.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "service/device/FirmwareImage.h"
#include "service/device/LcdProtocol.h"

// Any thread may call every member. The upload's state is guarded by the producers' turn of the
// protocol, so that a block never interleaves with another producer's packets, and starting or
// stopping never meets a block half built.
class FirmwareUpload {
 public:
  static constexpr std::uint32_t kFirstDeviceAddress = 0x1800;
  static constexpr std::size_t kBlockDataBytes = 16;
  // Sequence byte, address high and low, the data and two zero bytes: three packets of seven.
  static constexpr std::size_t kBlockBytes = 21;
  static constexpr std::size_t kPacketBytes = 7;
  // The writer tops up while fewer packets wait.
  static constexpr std::size_t kRefillBelow = 30;
  // A block's bytes that no record of the image holds, as erased flash reads.
  static constexpr std::uint8_t kNoData = 0xFF;

  explicit FirmwareUpload(LcdProtocol& p_Protocol);

  // Code 25: reads the image and sends its first block, numbering blocks from sequence 0. When
  // the image cannot be read or holds no data from 0x1800 on, the display gets an end of screen
  // and a running upload goes on; otherwise a running upload starts over with the new image.
  // Returns why no upload started, or an empty text.
  std::string Start(const std::filesystem::path& p_ImagePath);
  // The same with an image already read.
  std::string Start(FirmwareImageRead p_Read);
  // Code 1: ends the upload; no block follows. Its packets already in the ring stay there, each
  // still marked as firmware, until the ring is cleared or sends them.
  void Stop();
  // The upload has blocks left to send.
  bool IsRunning() const { return m_bFirmwareUpload; }

  // Sends the next block; nothing when no upload runs.
  void SendFirmwareBlock();
  // For the writer after each report: while the upload runs and fewer than 30 packets wait,
  // sends blocks. It never waits for another producer, which may itself be waiting for the
  // writer to make room; that producer's turn ends with a data-ready signal, and the writer
  // tops up then.
  void TopUp();

 private:
  void SendBlock(LcdProtocol::Turn& p_Turn);

  LcdProtocol& m_Protocol;
  // Guarded by the producers' turn.
  std::optional<FirmwareImage> m_Image;
  std::uint32_t m_nNextAddress = kFirstDeviceAddress;
  std::atomic<bool> m_bFirmwareUpload{false};
};
