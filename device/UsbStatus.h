#pragma once

#include <cstdint>

// Decoded 7-byte status reply; only usbErrorCount means anything to the program.
struct UsbStatus
{
    std::uint16_t statusWord = 0;
    std::uint8_t statusByte = 0;
    std::uint32_t usbErrorCount = 0;
};

namespace device {

// Bytes 0-1 little-endian word, byte 2, bytes 3-6 little-endian count.
UsbStatus decodeUsbStatus(const std::uint8_t reply[7]);

} // namespace device
