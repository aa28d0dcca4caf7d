#include "device/UsbStatus.h"

UsbStatus decodeUsbStatus(const std::uint8_t reply[7])
{
    UsbStatus status;
    status.statusWord = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    status.statusByte = reply[2];
    status.usbErrorCount = std::uint32_t(reply[3]) | (std::uint32_t(reply[4]) << 8) | (std::uint32_t(reply[5]) << 16)
        | (std::uint32_t(reply[6]) << 24);
    return status;
}
