#include "device/UsbStatus.h"

#include "platform/LittleEndian.h"

namespace device {

UsbStatus decodeUsbStatus(const std::uint8_t reply[7])
{
    UsbStatus status;
    status.statusWord = static_cast<std::uint16_t>(reply[0] | (reply[1] << 8));
    status.statusByte = reply[2];
    status.usbErrorCount = platform::readLe32(reply + 3);
    return status;
}

} // namespace device
