// The Windows driver port on a machine without the driver: nothing to open, nothing sent.
#include "platform/DriverPort.h"
#include "tests/support/ControlCodes.h"
#include "tests/win/WinTestSupport.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

int main()
{
    using namespace platform;

    // No device interface of the driver's class is present, so the open fails cleanly.
    const PortHandle handle = openDriverInterface();
    CHECK(handle == kInvalidHandle);
    CHECK(openDriverInterface() == kInvalidHandle);

    std::uint32_t pid = 77;
    std::uint32_t returned = 55;
    CHECK(!driverRequest(handle, Code::GetDevicePid, nullptr, 0, &pid, 4, &returned));
    CHECK(pid == 77);
    CHECK(returned == 55);
    closeDriverHandle(handle);

    // A handle that is not a device: DeviceIoControl fails and the port reports it.
    HANDLE file = openSelfDeletingTempFile();
    CHECK(file != INVALID_HANDLE_VALUE);
    if (file != INVALID_HANDLE_VALUE) {
        const std::uint8_t packet[37] = { 0x01, 0x5B, 0x00, 0x01, 0x01 };
        CHECK(!driverRequest(reinterpret_cast<PortHandle>(file), Code::SendVendorCommand, packet, 37, nullptr, 0));
        closeDriverHandle(reinterpret_cast<PortHandle>(file));
    }

    if (failures == 0)
        std::printf("tst_DriverPortWin: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
