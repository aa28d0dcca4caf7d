// The driver's device interface through the Windows device installation API.
#include "platform/DriverPort_win.h"
#include "platform/DeviceInterface_win.h"
#include "platform/DriverPort.h"
#include "platform/PlatformLog.h"

#include <windows.h>

#include <dbt.h>
#include <winioctl.h>

#include <atomic>
#include <map>
#include <memory>
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
    HANDLE queriedFile = INVALID_HANDLE_VALUE; // the file a query-remove closed, to match its answer
    int inUse = 0; // requests under way; the last one closes a released file
    bool released = false;
    bool queried = false; // released by a query-remove, which another program may still veto
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

// Under the lock. Closes the file unless a request still uses it (that one closes it then). A
// query-remove keeps the handle's notice registered, so that its veto (query-remove failed) still
// arrives and the file can be opened again.
void release(OpenDevice &device, bool keepNotice = false)
{
    if (device.notice && !keepNotice) {
        UnregisterDeviceNotification(device.notice);
        device.notice = nullptr;
    }
    device.queried = keepNotice;
    device.queriedFile = keepNotice ? device.file : INVALID_HANDLE_VALUE;
    device.released = true;
    if (device.inUse == 0 && device.file != INVALID_HANDLE_VALUE) {
        CloseHandle(device.file);
        device.file = INVALID_HANDLE_VALUE;
    }
}

HDEVNOTIFY registerHandleNotice(HWND window, HANDLE file)
{
    DEV_BROADCAST_HANDLE filter {};
    filter.dbch_size = sizeof(filter);
    filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
    filter.dbch_handle = file;
    HDEVNOTIFY notice = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    if (!notice)
        log("Device removal notices not registered, error " + std::to_string(GetLastError()));
    return notice;
}

// Under the lock: another program vetoed the removal, so the device stays; the file is opened
// again under the same number and the panel goes on without noticing more than a failed request.
void reopen(Devices &all, OpenDevice &device)
{
    if (device.notice) {
        UnregisterDeviceNotification(device.notice);
        device.notice = nullptr;
    }
    device.queried = false;
    device.queriedFile = INVALID_HANDLE_VALUE;
    if (device.file == INVALID_HANDLE_VALUE)
        device.file = CreateFileW(device.path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (device.file == INVALID_HANDLE_VALUE) {
        log("Device handle not reopened after the removal was called off, error " + std::to_string(GetLastError()));
        return; // stays released: the presence check finds the device again or tears the panel down
    }
    device.released = false;
    if (all.window)
        device.notice = registerHandleNotice(all.window, device.file);
    log("Device handle reopened: the removal was called off");
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
    // Shared with the thread on the heap: a thread that comes late writes into this, never into a
    // caller that stopped waiting, and it ends itself when nobody wants its window any more.
    struct Start
    {
        std::mutex mutex;
        HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        HWND window = nullptr;
        bool abandoned = false;
        ~Start()
        {
            if (created)
                CloseHandle(created);
        }
    };
    const auto start = std::make_shared<Start>();
    if (!start->created)
        return nullptr;
    std::thread([start] {
        WNDCLASSW windowClass {};
        windowClass.lpfnWndProc = noticeWindowProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"OrvelinDeviceNotices";
        RegisterClassW(&windowClass);
        HWND own = CreateWindowExW(
            0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
        {
            std::lock_guard<std::mutex> lock(start->mutex);
            if (start->abandoned) {
                if (own)
                    DestroyWindow(own);
                return;
            }
            start->window = own;
            SetEvent(start->created);
        }
        if (!own)
            return;
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }).detach();
    WaitForSingleObject(start->created, 5000);
    HWND window = nullptr;
    {
        std::lock_guard<std::mutex> lock(start->mutex);
        window = start->window;
        start->abandoned = window == nullptr;
    }
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
        device.notice = registerHandleNotice(window, file);
    }
    const PortHandle number = (all.next++ << 1) | 1;
    all.open.emplace(number, std::move(device));
    return number;
}

using OpenEntry = std::map<PortHandle, OpenDevice>::iterator;

// Calls what(all, entry) under the lock for the open device of a number; false for an unknown one.
template <typename What> bool withOpenDevice(PortHandle handle, What what)
{
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    const OpenEntry found = all.open.find(handle);
    if (found == all.open.end())
        return false;
    what(all, found);
    return true;
}

// The file for one request, held until done(); nullptr for a released or unknown number.
HANDLE use(PortHandle handle)
{
    if (!isPortNumber(handle))
        return reinterpret_cast<HANDLE>(handle);
    HANDLE file = nullptr;
    withOpenDevice(handle, [&file](Devices &, OpenEntry found) {
        if (found->second.released)
            return;
        ++found->second.inUse;
        file = found->second.file;
    });
    return file;
}

void done(PortHandle handle)
{
    if (!isPortNumber(handle))
        return;
    withOpenDevice(handle, [](Devices &all, OpenEntry found) {
        OpenDevice &device = found->second;
        if (--device.inUse == 0 && device.released && device.file != INVALID_HANDLE_VALUE) {
            CloseHandle(device.file);
            device.file = INVALID_HANDLE_VALUE;
        }
        if (device.inUse == 0 && device.closed)
            all.open.erase(found);
    });
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

bool driverNoticeTarget(PortHandle handle, HANDLE &file, HDEVNOTIFY &notice)
{
    return withOpenDevice(handle, [&](Devices &, OpenEntry found) {
        file = found->second.queried ? found->second.queriedFile : found->second.file;
        notice = found->second.notice;
    });
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
    const bool vetoed = wParam == DBT_DEVICEQUERYREMOVEFAILED;
    if (!going && !vetoed)
        return false;
    const auto *header = reinterpret_cast<const DEV_BROADCAST_HDR *>(lParam);
    Devices &all = devices();
    std::lock_guard<std::mutex> lock(all.mutex);
    bool ours = false;
    if (vetoed) {
        if (header->dbch_devicetype != DBT_DEVTYP_HANDLE)
            return false;
        const auto *notice = reinterpret_cast<const DEV_BROADCAST_HANDLE *>(lParam);
        for (auto &entry : all.open) {
            OpenDevice &device = entry.second;
            if (!device.queried || device.closed)
                continue;
            if ((device.notice && notice->dbch_hdevnotify == device.notice)
                || (!device.notice && notice->dbch_handle == device.queriedFile)) {
                reopen(all, device);
                ours = true;
            }
        }
        return ours;
    }
    for (auto &entry : all.open) {
        OpenDevice &device = entry.second;
        // Released by a query-remove, a device still takes the removal that follows, which ends
        // its notice; any other released device is done with.
        const bool afterQuery = device.released && device.queried && wParam != DBT_DEVICEQUERYREMOVE;
        if (device.released && !afterQuery)
            continue;
        bool match = false;
        if (header->dbch_devicetype == DBT_DEVTYP_HANDLE) {
            const auto *notice = reinterpret_cast<const DEV_BROADCAST_HANDLE *>(lParam);
            const HANDLE file = afterQuery ? device.queriedFile : device.file;
            match = (device.notice && notice->dbch_hdevnotify == device.notice)
                || (file != INVALID_HANDLE_VALUE && notice->dbch_handle == file);
        } else if (header->dbch_devicetype == DBT_DEVTYP_DEVICEINTERFACE && wParam == DBT_DEVICEREMOVECOMPLETE) {
            const auto *notice = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W *>(lParam);
            match = CompareStringOrdinal(notice->dbcc_name, -1, device.path.c_str(), -1, TRUE) == CSTR_EQUAL;
        }
        if (!match)
            continue;
        release(device, wParam == DBT_DEVICEQUERYREMOVE);
        ours = true;
        if (afterQuery)
            continue; // closed and logged at the query already
        log("Device handle closed: the device is being removed");
    }
    return ours;
}

PortHandle openDriverInterface()
{
    std::wstring path;
    HANDLE file = openFirstDeviceInterface(kInterfaceClass, &path);
    if (file != INVALID_HANDLE_VALUE) {
        lastOpenError = ERROR_SUCCESS;
        return adopt(file, path.c_str());
    }
    if (!path.empty())
        logOpenError(GetLastError());
    return kInvalidHandle;
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
    withOpenDevice(handle, [](Devices &all, OpenEntry found) {
        release(found->second);
        found->second.closed = true;
        // A request still under way on another thread closes the file when it returns.
        if (found->second.inUse == 0)
            all.open.erase(found);
    });
}

} // namespace platform
