// The driver's device interface through the Windows device installation API.
#include "platform/DriverPort_win.h"
#include "platform/DriverPort.h"
#include "platform/PlatformLog.h"

#include <atomic>
#include <string>

#include <windows.h>

#include <setupapi.h>
#include <winioctl.h>

namespace platform {

namespace {

// {6EB9AB90-B331-4508-B903-48AAA26EA4F1}
const GUID kInterfaceClass = { 0x6EB9AB90, 0xB331, 0x4508, { 0xB9, 0x03, 0x48, 0xAA, 0xA2, 0x6E, 0xA4, 0xF1 } };

HANDLE toHandle(PortHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// The device is polled for: a refusal (access denied, sharing violation) would otherwise look like no
// device at all, yet the same one every poll is worth a single line.
std::atomic<DWORD> lastOpenError { ERROR_SUCCESS };

void logOpenError(DWORD error)
{
    if (lastOpenError.exchange(error) != error)
        log("Failed to open the device interface, error " + std::to_string(error));
}

} // namespace

const GUID &driverInterfaceClass()
{
    return kInterfaceClass;
}

PortHandle openDriverInterface()
{
    HDEVINFO devices = SetupDiGetClassDevsW(&kInterfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE)
        return kInvalidHandle;

    PortHandle result = kInvalidHandle;
    SP_DEVICE_INTERFACE_DATA interfaceData {};
    interfaceData.cbSize = sizeof(interfaceData);
    // Only the first interface is used; a second device is not seen.
    if (SetupDiEnumDeviceInterfaces(devices, nullptr, &kInterfaceClass, 0, &interfaceData)) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(devices, &interfaceData, nullptr, 0, &required, nullptr);
        if (required != 0) {
            auto *detail = static_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(LocalAlloc(LMEM_ZEROINIT, required));
            if (detail) {
                detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
                if (SetupDiGetDeviceInterfaceDetailW(devices, &interfaceData, detail, required, nullptr, nullptr)) {
                    HANDLE file = CreateFileW(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
                    if (file == INVALID_HANDLE_VALUE)
                        logOpenError(GetLastError());
                    else
                        lastOpenError = ERROR_SUCCESS;
                    result = reinterpret_cast<PortHandle>(file);
                }
                LocalFree(detail);
            }
        }
    }
    SetupDiDestroyDeviceInfoList(devices);
    return result;
}

bool driverRequest(PortHandle handle, std::uint32_t code, const void *in, std::uint32_t inLength, void *out,
    std::uint32_t outLength, std::uint32_t *bytesReturned)
{
    if (handle == kInvalidHandle)
        return false;
    DWORD returned = 0;
    const BOOL ok
        = DeviceIoControl(toHandle(handle), code, const_cast<void *>(in), inLength, out, outLength, &returned, nullptr);
    if (ok && bytesReturned)
        *bytesReturned = returned;
    return ok != FALSE;
}

void closeDriverHandle(PortHandle handle)
{
    if (handle != kInvalidHandle)
        CloseHandle(toHandle(handle));
}

} // namespace platform
