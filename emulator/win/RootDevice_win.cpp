#include "emulator/win/RootDevice.h"

#include "emulator/win/RelayProtocol.h"

#include <windows.h>

#include <newdev.h>
#include <setupapi.h>

namespace emuwin {

namespace {

// REG_MULTI_SZ: the id and the list's closing empty string.
const wchar_t kHardwareId[] = L"orvelin_standin\0";

// {4D36E97D-E325-11CE-BFC1-08002BE10318}: the System class the INF names.
const GUID kSystemClass = { 0x4D36E97D, 0xE325, 0x11CE, { 0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18 } };

std::string failure(const char *step)
{
    return std::string(step) + " failed: error " + std::to_string(GetLastError());
}

bool hasStandinId(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    wchar_t ids[256] = {};
    DWORD type = 0;
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_HARDWAREID, &type, reinterpret_cast<BYTE *>(ids),
            sizeof(ids) - sizeof(wchar_t), nullptr))
        return false;
    return std::wstring(ids) == L"orvelin_standin";
}

// How long the relay driver's host may take to serve its first request after the driver started.
constexpr int kHostWaitMs = 30000;

// Starts the relay driver while no stand-in device exists and waits until its host process serves
// requests (the driver's host device opens; the open waits until the host takes it). A device
// present at the start would be enumerated by a host that is not ready for it (Wine crashes
// there). Before the first installation there is no service yet, and nothing to do.
bool startRelayDriver(std::string &error)
{
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!manager) {
        error = failure("OpenSCManagerW");
        return false;
    }
    SC_HANDLE service = OpenServiceW(manager, ORVELIN_RELAY_SERVICE, SERVICE_START);
    if (!service) {
        const bool absent = GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST;
        if (!absent)
            error = failure("OpenServiceW");
        CloseServiceHandle(manager);
        return absent;
    }
    const bool started = StartServiceW(service, 0, nullptr) || GetLastError() == ERROR_SERVICE_ALREADY_RUNNING;
    if (!started)
        error = failure("StartServiceW");
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (!started)
        return false;
    for (int waited = 0; waited < kHostWaitMs; waited += 10) {
        HANDLE host = CreateFileW(
            ORVELIN_RELAY_HOST_PATH, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (host != INVALID_HANDLE_VALUE) {
            CloseHandle(host);
            return true;
        }
        Sleep(10);
    }
    error = "the relay driver's host does not answer";
    return false;
}

} // namespace

bool createRootDevice(const std::wstring &infPath, std::string &error)
{
    if (!startRelayDriver(error))
        return false;
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        error = failure("SetupDiCreateDeviceInfoList");
        return false;
    }
    SP_DEVINFO_DATA device {};
    device.cbSize = sizeof(device);
    bool ok = SetupDiCreateDeviceInfoW(
        set, L"root\\orvelin\\0", &kSystemClass, nullptr, nullptr, DICD_INHERIT_CLASSDRVS, &device);
    if (!ok)
        error = failure("SetupDiCreateDeviceInfoW");
    if (ok) {
        ok = SetupDiSetDeviceRegistryPropertyW(
            set, &device, SPDRP_HARDWAREID, reinterpret_cast<const BYTE *>(kHardwareId), sizeof(kHardwareId));
        if (!ok)
            error = failure("SetupDiSetDeviceRegistryPropertyW");
    }
    if (ok) {
        ok = SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device);
        if (!ok)
            error = failure("DIF_REGISTERDEVICE");
    }
    SetupDiDestroyDeviceInfoList(set);
    if (!ok)
        return false;
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesW(nullptr, L"orvelin_standin", infPath.c_str(), INSTALLFLAG_FORCE, &reboot)) {
        error = failure("UpdateDriverForPlugAndPlayDevicesW");
        removeRootDevice(error);
        return false;
    }
    return true;
}

bool removeRootDevice(std::string &error)
{
    HDEVINFO set = SetupDiGetClassDevsW(&kSystemClass, nullptr, nullptr, 0);
    if (set == INVALID_HANDLE_VALUE) {
        error = failure("SetupDiGetClassDevsW");
        return false;
    }
    bool ok = true;
    SP_DEVINFO_DATA device {};
    device.cbSize = sizeof(device);
    for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
        if (hasStandinId(set, device) && !SetupDiCallClassInstaller(DIF_REMOVE, set, &device)) {
            error = failure("DIF_REMOVE");
            ok = false;
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return ok;
}

} // namespace emuwin
