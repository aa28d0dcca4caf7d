// The emulated interface under Wine: the stand-in device is found through the panel's own
// SetupDi path, its control requests reach a user-mode answerer through the relay driver, and
// unplug and replug take the interface away and bring it back.
#include "emulator/VirtualDevice.h"
#include "emulator/win/RelayProtocol.h"
#include "emulator/win/RootDevice.h"
#include "platform/DeviceInterface_win.h"
#include "platform/DriverPort.h"
#include "platform/DriverPort_win.h"
#include "platform/PlatformLog.h"
#include "tests/support/ControlCodes.h"
#include "tests/win/WinTestSupport.h"

#include <windows.h>

#include <dbt.h>
#include <winioctl.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const GUID kRelayInterface = ORVELIN_RELAY_GUID_INIT;

HANDLE openRelay()
{
    return platform::openFirstDeviceInterface(kRelayInterface);
}

// The first look-up after a fresh prefix may come too early: wait for the interface.
template <typename Open, typename Invalid> auto waitFor(Open open, Invalid invalid)
{
    auto handle = open();
    for (int tries = 0; handle == invalid && tries < 100; ++tries) {
        Sleep(100);
        handle = open();
    }
    return handle;
}

// Answers every request: the output is the code's low byte repeated, followed by the input's first
// byte; the device-id read (Code::GetDevicePid) is refused. Stops when its handle fails (closed or unplugged).
void answerRequests(HANDLE relay, std::atomic<int> &served)
{
    std::vector<unsigned char> request(sizeof(RelayRequest) + ORVELIN_RELAY_MAX_DATA);
    std::vector<unsigned char> answer(sizeof(RelayAnswer) + ORVELIN_RELAY_MAX_DATA);
    for (;;) {
        DWORD got = 0;
        if (!DeviceIoControl(
                relay, ORVELIN_RELAY_WAIT, nullptr, 0, request.data(), DWORD(request.size()), &got, nullptr))
            return;
        RelayRequest header;
        std::memcpy(&header, request.data(), sizeof(header));
        RelayAnswer reply {};
        reply.id = header.id;
        reply.ok = header.code != Code::GetDevicePid;
        reply.length = header.outputLength;
        std::memset(answer.data() + sizeof(reply), int(header.code & 0xFF), reply.length);
        if (header.inputLength > 0 && reply.length > 0)
            answer[sizeof(reply) + reply.length - 1] = request[sizeof(header)];
        std::memcpy(answer.data(), &reply, sizeof(reply));
        DWORD none = 0;
        DeviceIoControl(relay, ORVELIN_RELAY_ANSWER, answer.data(), DWORD(sizeof(reply) + reply.length), nullptr, 0,
            &none, nullptr);
        ++served;
    }
}

// Answers with the emulated device itself, as the Windows emulator does.
void answerWithDevice(HANDLE relay, emu::VirtualDevice &device)
{
    std::vector<unsigned char> request(sizeof(RelayRequest) + ORVELIN_RELAY_MAX_DATA);
    std::vector<unsigned char> answer(sizeof(RelayAnswer) + ORVELIN_RELAY_MAX_DATA);
    DWORD got = 0;
    while (
        DeviceIoControl(relay, ORVELIN_RELAY_WAIT, nullptr, 0, request.data(), DWORD(request.size()), &got, nullptr)) {
        RelayRequest header;
        std::memcpy(&header, request.data(), sizeof(header));
        const emu::Reply result
            = device.handle(header.code, request.data() + sizeof(header), header.inputLength, header.outputLength);
        RelayAnswer reply {};
        reply.id = header.id;
        reply.ok = result.ok;
        reply.length = result.ok ? DWORD(result.data.size()) : 0;
        std::memcpy(answer.data(), &reply, sizeof(reply));
        std::copy(result.data.begin(), result.data.begin() + reply.length, answer.begin() + sizeof(reply));
        DWORD none = 0;
        DeviceIoControl(relay, ORVELIN_RELAY_ANSWER, answer.data(), DWORD(sizeof(reply) + reply.length), nullptr, 0,
            &none, nullptr);
    }
}

std::atomic<int> released { 0 };
std::atomic<DWORD> releasedOn { 0 }; // the thread that ran the last release
std::atomic<int> reopened { 0 };

// The program's own window, as the panel's would be: it hands the device notices to the port.
LRESULT CALLBACK programWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (platform::driverNoticeMessage(message, wParam, lParam))
        return TRUE;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeProgramWindow()
{
    WNDCLASSW windowClass {};
    windowClass.lpfnWndProc = programWindow;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"tst_RelayWin";
    RegisterClassW(&windowClass);
    return CreateWindowExW(
        0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
}

// Serves this thread's windows until done() holds; false after 15 s without. The time it took is
// printed.
template <typename Done> bool pumpUntil(const char *what, Done done)
{
    const DWORD started = GetTickCount();
    while (!done() && GetTickCount() - started < 15000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (!done())
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    std::printf("tst_RelayWin: %s after %lu ms\n", what, static_cast<unsigned long>(GetTickCount() - started));
    return done();
}

} // namespace

int main(int argc, char **argv)
{
    using namespace platform;
    if (argc != 2) {
        std::fprintf(stderr, "usage: tst_RelayWin orvelin_relay.inf\n");
        return 2;
    }
    wchar_t inf[MAX_PATH] = {};
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, inf, MAX_PATH);
    wchar_t full[MAX_PATH] = {};
    GetFullPathNameW(inf, MAX_PATH, full, nullptr);

    // The notices of the panel's handles go to this thread's window, which serves them below.
    const HWND window = makeProgramWindow();
    CHECK(window != nullptr);
    setDriverNoticeWindow(reinterpret_cast<std::intptr_t>(window));
    setLogSink([](const std::string &line) {
        if (line == "Device handle closed: the device is being removed") {
            releasedOn = GetCurrentThreadId();
            ++released;
        }
        if (line == "Device handle reopened: the removal was called off")
            ++reopened;
    });

    std::string error;
    emuwin::removeRootDevice(error);
    CHECK(emuwin::createRootDevice(full, error));
    if (!error.empty())
        std::fprintf(stderr, "tst_RelayWin: %s\n", error.c_str());
    // The driver was started before its device (a device present when the driver starts would meet
    // a host not ready for it): its own host device opens, and takes no control request.
    HANDLE host = CreateFileW(
        ORVELIN_RELAY_HOST_PATH, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(host != INVALID_HANDLE_VALUE);
    DWORD none = 0;
    CHECK(!DeviceIoControl(host, ORVELIN_RELAY_WAIT, nullptr, 0, nullptr, 0, &none, nullptr));
    CloseHandle(host);

    PortHandle panel = waitFor(openDriverInterface, kInvalidHandle);
    CHECK(panel != kInvalidHandle);

    // Without an emulator waiting, a request fails at once rather than hanging the panel.
    std::uint32_t pid = 77;
    CHECK(!driverRequest(panel, Code::GetDevicePid, nullptr, 0, &pid, 4));

    HANDLE relay = waitFor(openRelay, INVALID_HANDLE_VALUE);
    CHECK(relay != INVALID_HANDLE_VALUE);
    std::atomic<int> served { 0 };
    std::thread answerer(answerRequests, relay, std::ref(served));

    // The largest request the panel makes: a 66304-byte vendor command with a 768-byte reply.
    std::vector<std::uint8_t> big(66304, 0x5B);
    big[0] = 0x01;
    std::vector<std::uint8_t> reply(768, 0);
    std::uint32_t returned = 0;
    bool ok = false;
    for (int tries = 0; !ok && tries < 50; ++tries) { // until the answerer's first Wait is pending
        ok = driverRequest(
            panel, Code::SendVendorCommand, big.data(), std::uint32_t(big.size()), reply.data(), 768, &returned);
        if (!ok)
            Sleep(100);
    }
    CHECK(ok);
    CHECK(returned == 768);
    CHECK(reply[0] == 0x9C && reply[766] == 0x9C && reply[767] == 0x01);

    // A refusal reaches the panel as a failed request that leaves its buffer alone.
    pid = 77;
    returned = 55;
    CHECK(!driverRequest(panel, Code::GetDevicePid, nullptr, 0, &pid, 4, &returned));
    CHECK(pid == 77 && returned == 55);

    // Small replies come back in order, each one its own.
    for (std::uint32_t function = 0x807; function <= 0x812; ++function) {
        std::uint32_t value = 0;
        const std::uint32_t code = (0xFFDCu << 16) | (function << 2);
        CHECK(driverRequest(panel, code, nullptr, 0, &value, 4, &returned));
        CHECK(returned == 4 && (value & 0xFF) == (code & 0xFF));
    }

    // Another program vetoes a removal after the query: the handle closed at the query is opened
    // again under the same number, and requests go through without a new open.
    {
        HANDLE file = nullptr;
        HDEVNOTIFY notice = nullptr;
        CHECK(driverNoticeTarget(panel, file, notice));
        DEV_BROADCAST_HANDLE query {};
        query.dbch_size = sizeof(query);
        query.dbch_devicetype = DBT_DEVTYP_HANDLE;
        query.dbch_handle = file;
        query.dbch_hdevnotify = notice;
        SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, reinterpret_cast<LPARAM>(&query));
        CHECK(released.exchange(0) == 1);
        std::uint32_t value = 0;
        CHECK(!driverRequest(panel, Code::GetSampleRate, nullptr, 0, &value, 4));
        SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVEFAILED, reinterpret_cast<LPARAM>(&query));
        CHECK(reopened.load() == 1);
        CHECK(driverRequest(panel, Code::GetSampleRate, nullptr, 0, &value, 4, &returned));
        CHECK(returned == 4 && (value & 0xFF) == 0x20);
        // The removal notices of the new handle reach the port again.
        CHECK(driverNoticeTarget(panel, file, notice));
        query.dbch_handle = file;
        query.dbch_hdevnotify = notice;
        SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVE, reinterpret_cast<LPARAM>(&query));
        SendMessageW(window, WM_DEVICECHANGE, DBT_DEVICEQUERYREMOVEFAILED, reinterpret_cast<LPARAM>(&query));
        CHECK(released.exchange(0) == 1 && reopened.load() == 2);
        CHECK(driverRequest(panel, Code::GetSampleRate, nullptr, 0, &value, 4));
    }

    // Unplugged while this thread serves the notice window, as the panel's notice thread always
    // does: with the removal run on this thread, its window served only afterwards, Wine lost the
    // notice in about one run of ten. The notice releases the handle on this thread; the interface
    // is gone and the handle fails.
    std::atomic<bool> removed { false };
    bool removedOk = false;
    std::thread unplug([&] {
        removedOk = emuwin::removeRootDevice(error);
        removed = true;
    });
    CHECK(pumpUntil("unplugged and released", [&] { return removed.load() && released.load() > 0; }));
    unplug.join();
    CHECK(removedOk && released.load() == 1 && releasedOn.load() == GetCurrentThreadId());
    CHECK(openDriverInterface() == kInvalidHandle);
    CHECK(!driverRequest(panel, Code::GetSampleRate, nullptr, 0, &pid, 4));
    closeDriverHandle(panel);
    CancelIoEx(relay, nullptr);
    answerer.join();
    CloseHandle(relay);

    // Replugged: found again through the same path, and it answers again.
    CHECK(emuwin::createRootDevice(full, error));
    panel = waitFor(openDriverInterface, kInvalidHandle);
    CHECK(panel != kInvalidHandle);
    relay = waitFor(openRelay, INVALID_HANDLE_VALUE);
    CHECK(relay != INVALID_HANDLE_VALUE);
    // Replugged as a KV, answered by the emulated device: its model code, its firmware text and
    // its own refusal of a wrong-sized request all reach the panel's side.
    emu::VirtualDevice device(4);
    std::thread second(answerWithDevice, relay, std::ref(device));
    std::uint32_t model = 0;
    ok = false;
    for (int tries = 0; !ok && tries < 50; ++tries) {
        ok = driverRequest(panel, Code::GetDevicePid, nullptr, 0, &model, 4, &returned);
        if (!ok)
            Sleep(100);
    }
    CHECK(ok && model == 4 && returned == 4);
    const std::uint8_t firmwareQuery[37] = { 0x01, 0x65 };
    char firmware[33] = {};
    CHECK(driverRequest(panel, Code::GetFirmwareVersion, firmwareQuery, 37, firmware, 32, &returned));
    CHECK(std::string(firmware) == "V1.2.3.456");
    std::uint32_t rate = 0;
    CHECK(!driverRequest(panel, Code::GetSampleRate, nullptr, 0, &rate, 2));
    closeDriverHandle(panel);
    CHECK(emuwin::removeRootDevice(error));
    CancelIoEx(relay, nullptr);
    second.join();
    CloseHandle(relay);

    if (failures == 0)
        std::printf("tst_RelayWin: all checks passed (%d requests relayed)\n", served.load());
    return failures == 0 ? 0 : 1;
}
