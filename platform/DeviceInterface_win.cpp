#include "platform/DeviceInterface_win.h"

#include <setupapi.h>

#include <vector>

namespace platform {

std::wstring firstDeviceInterfacePath(const GUID &interfaceClass)
{
    HDEVINFO set = SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE)
        return {};
    std::wstring path;
    SP_DEVICE_INTERFACE_DATA data {};
    data.cbSize = sizeof(data);
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &interfaceClass, 0, &data)) {
        DWORD required = 0;
        SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
        if (required != 0) {
            std::vector<char> buffer(required + sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W));
            auto *detail = reinterpret_cast<PSP_DEVICE_INTERFACE_DETAIL_DATA_W>(buffer.data());
            detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
            if (SetupDiGetDeviceInterfaceDetailW(set, &data, detail, DWORD(buffer.size()), nullptr, nullptr))
                path = detail->DevicePath;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return path;
}

HANDLE openFirstDeviceInterface(const GUID &interfaceClass, std::wstring *path)
{
    const std::wstring found = firstDeviceInterfacePath(interfaceClass);
    if (path)
        *path = found;
    if (found.empty())
        return INVALID_HANDLE_VALUE;
    return CreateFileW(found.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

} // namespace platform
