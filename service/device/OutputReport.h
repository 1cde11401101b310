#pragma once

// The HID output report that carries one LCD packet to the remote.

#include <cstddef>
#include <cstdint>
#include <span>

#include "service/device/LcdPacketRing.h"

inline constexpr std::uint8_t kLcdOutputReportId = 8;
// The report identifier and the seven bytes of a packet.
inline constexpr std::size_t kLcdOutputReportMinLength = 8;

// Fills the report (the device's output report length): byte 0 the identifier 8, bytes 1 to 7
// the packet's bytes 0 to 6, a display packet only up to its first zero byte, a firmware packet
// whole; every other byte 0. Returns false, writing nothing, for a report shorter than 8 bytes.
bool BuildOutputReport(const LcdPacket& p_Packet, std::span<std::uint8_t> p_Report);
