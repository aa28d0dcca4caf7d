// The driver's device interface through the Windows device installation API.
#include "platform/DriverPort_win.h"
#include "platform/DriverPort.h"
#include "platform/PlatformLog.h"

#include <atomic>
#include <string>

#include "platform/PlatformLog.h"

#include <windows.h>

#include <dbt.h>
#include <setupapi.h>
#include <winioctl.h>

#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

namespace {

// {6EB9AB90-B331-4508-B903-48AAA26EA4F1}
const GUID kInterfaceClass = { 0x6EB9AB90, 0xB331, 0x4508, { 0xB9, 0x03, 0x48, 0xAA, 0xA2, 0x6E, 0xA4, 0xF1 } };

// The program holds numbers, not the system's handles: a handle the port closed because its device
// went could otherwise come back as the value of an unrelated new one. The numbers have the low bit
// set, which no system handle has.
struct OpenDevice
{
    HANDLE file = INVALID_HANDLE_VALUE; // INVALID_HANDLE_VALUE once released
    HDEVNOTIFY notice = nullptr;
    std::wstring path;
    int inUse = 0; // requests under way; the last one closes a released file
    bool released = false;
    bool closed = false; // by the program; the number goes with the last request
};

struct Devices
{
    std::mutex mutex;
    std::map<PortHandle, OpenDevice> open;
    PortHandle next = 1;
    HWND window = nullptr; // where the notices arrive
    bool ownWindow = false;
    HDEVNOTIFY classNotice = nullptr;
};

// Never destroyed: the notice thread may still run while the program's statics go.
Devices &devices()
{
    static Devices *all = new Devices;
    return *all;
}

bool isPortNumber(PortHandle handle)
{
    return (handle & 1) != 0;
}

// Under the lock. Closes the file unless a request still uses it (that one closes it then).
void release(OpenDevice &device)
{
    if (device.notice) {
        UnregisterDeviceNotification(device.notice);
        device.notice = nullptr;
    }
    device.released = true;
    if (device.inUse == 0 && device.file != INVALID_HANDLE_VALUE) {
        CloseHandle(device.file);
        device.file = INVALID_HANDLE_VALUE;
    }
}

LRESULT CALLBACK noticeWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DEVICECHANGE) {
        driverNoticeMessage(message, wParam, lParam);
        return TRUE; // never veto a removal
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Under the lock: the port's own message-only window, on a thread that only serves it.
HWND noticeWindow(Devices &all)
{
    if (all.window)
        return all.window;
    HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!created)
        return nullptr;
    HWND window = nullptr;
    std::thread([&window, created] {
        WNDCLASSW windowClass {};
        windowClass.lpfnWndProc = noticeWindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrvelinDeviceNotices";
        RegisterClassW(&windowClass);
        HWND own = CreateWindowExW(
            0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
        window = own;
        SetEvent(created);
        if (!own)
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }).detach();
    WaitForSingleObject(created, 5000);
    CloseHandle(created);
    if (!window) {
        log("Device removal notices unavailable: no notice window");
        return nullptr;
    }
    all.window = window;
    all.ownWindow = true;
    return window;
}

// Under the lock: the removal of the interface itself, which arrives even where the handle's own
// notices do not.
void watchInterfaceClass(Devices &all, HWND window)
{
    if (all.classNotice)
        return;
    DEV_BROADCAST_DEVICEINTERFACE_W filter {};
    filter.dbcc_size = sizeof(filter);
    filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    filter.dbcc_classguid = kInterfaceClass;
    all.classNotice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

PortHandle adopt(HANDLE file, const wchar_t *path)
{
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    OpenDevice device;
    device.file = file;
    device.path = path;
    if (HWND window = noticeWindow(all)) {
        watchInterfaceClass(all, window);
        DEV_BROADCAST_HANDLE filter {};
        filter.dbch_size = sizeof(filter);
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = file;
        device.notice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
        if (!device.notice)
            log("Device removal notices not registered, error " + std::to_string(GetLastError()));
    }
    const PortHandle number = (all.next++ << 1) | 1;
    all.open.emplace(number, std::move(device));
    return number;
}

// The file for one request, held until done(); nullptr for a released or unknown number.
HANDLE use(PortHandle handle)
{
    if (!isPortNumber(handle))
        return reinterpret_cast<HANDLE>(handle);
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto found = all.open.find(handle);
    if (found == all.open.end() || found->second.released)
        return nullptr;
    ++found->second.inUse;
    return found->second.file;
}

void done(PortHandle handle)
{
    if (!isPortNumber(handle))
        return;
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto found = all.open.find(handle);
    if (found == all.open.end())
        return;
    OpenDevice &device = found->second;
    if (--device.inUse == 0 && device.released && device.file != INVALID_HANDLE_VALUE) {
        CloseHandle(device.file);
        device.file = INVALID_HANDLE_VALUE;
    }
    if (device.inUse == 0 && device.closed)
        all.open.erase(found);
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

void setDriverNoticeWindow(std::intptr_t window)
{
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (!all.window)
        all.window = reinterpret_cast<HWND>(window);
}

bool driverNoticeMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam)
{
    if (message != WM_DEVICECHANGE || !lParam)
        return false;
    const bool going
        = wParam == DBT_DEVICEQUERYREMOVE || wParam == DBT_DEVICEREMOVEPENDING || wParam == DBT_DEVICEREMOVECOMPLETE;
    if (!going)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    bool ours = false;
    for (auto &entry : all.open) {
        OpenDevice &device = entry.second;
        if (device.released)
            continue;
        bool match = false;
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
            const auto *notice = reinterpret_cast<const DEV_BROADCAST_HANDLE *>(lParam);
            match = (device.notice && notice->dbch_hdevnotify == device.notice) || notice->dbch_handle == device.file;
        } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && wParam == DBT_DEVICEREMOVECOMPLETE) {
            const auto *notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lParam);
            match = CompareStringOrdinal(notice->dbcc_name, -1, device.path.c_str(), -1, TRUE) == CSTR_EQUAL;
        }
        if (!match)
            continue;
        release(device);
        log("Device handle closed: the device is being removed");
        ours = true;
    }
    return ours;
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
                    else {
                        lastOpenError = ERROR_SUCCESS;
                        result = adopt(file, detail->DevicePath);
                    }
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
    HANDLE file = use(handle);
    if (!file) {
        SetLastError(ERROR_DEVICE_NOT_CONNECTED);
        return false;
    }
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(file, code, const_cast<void *>(in), inLength, out, outLength, &returned, nullptr);
    const DWORD error = GetLastError();
    done(handle);
    SetLastError(error);
    if (ok && bytesReturned)
        *bytesReturned = returned;
    return ok != FALSE;
}

void closeDriverHandle(PortHandle handle)
{
    if (handle == kInvalidHandle)
        return;
    if (!isPortNumber(handle)) {
        CloseHandle(reinterpret_cast<HANDLE>(handle));
        return;
    }
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    const auto found = all.open.find(handle);
    if (found == all.open.end())
        return;
    release(found->second);
    found->second.closed = true;
    // A request still under way on another thread closes the file when it returns.
    if (found->second.inUse == 0)
        all.open.erase(found);
}

} // namespace platform
