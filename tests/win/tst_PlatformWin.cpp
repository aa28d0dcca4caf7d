// Arguments the Windows platform layer hands to the system where Wine cannot show their effect:
// the driver's interface class, the pipe server's open mode and access list, the control pipe's
// name and its checks of the other end, the command line of the shell restart and the code page
// its output is read in.
#include "platform/ConsoleSession.h"
#include "platform/ControlEndpoint.h"
#include "platform/ControlEndpoint_win.h"
#include "platform/DriverPort.h"
#include "platform/DriverPort_win.h"
#include "platform/PipePort.h"
#include "platform/PipePort_win.h"
#include "platform/SystemShell.h"
#include "platform/UserToken_win.h"
#include "tests/win/WinTestSupport.h"

#include <windows.h>

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <cstdio>
#include <string>

int main()
{
    using namespace platform;

    // The GUID the port enumerates is the class its text form names (the folder name on Linux).
    const std::string text = kDriverInterfaceGuid;
    CHECK(text == "{6EB9AB90-B331-4508-B903-48AAA26EA4F1}");
    const std::wstring wideText(text.begin(), text.end());
    GUID parsed {};
    CHECK(IIDFromString(wideText.c_str(), &parsed) == S_OK);
    CHECK(IsEqualGUID(parsed, driverInterfaceClass()));

    // Overlapped duplex, and only as the first instance of its name.
    CHECK(pipeServerOpenMode() == (PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE));
    CHECK(FILE_FLAG_FIRST_PIPE_INSTANCE == 0x00080000);

    // cmd.exe by full path from the system folder, and it is there; so are taskkill.exe and
    // explorer.exe inside its command line, which runs in the system folder.
    const std::string command = commandProcessor();
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    CHECK(length > 0 && length < MAX_PATH);
    const std::string system(folder, length);
    CHECK(command == system + "\\cmd.exe");
    CHECK(command.size() > 2 && command[1] == ':');
    CHECK(GetFileAttributesA(command.c_str()) != INVALID_FILE_ATTRIBUTES);
    char windows[MAX_PATH] = {};
    const UINT windowsLength = GetSystemWindowsDirectoryA(windows, MAX_PATH);
    const std::string restart = shellRestartCommand();
    CHECK(restart
        == system + "\\taskkill.exe /f /im explorer.exe && start " + std::string(windows, windowsLength)
            + "\\explorer.exe");
    CHECK(GetFileAttributesA((system + "\\taskkill.exe").c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(shellWorkingFolder() == system);

    // The ASIO status pipe: SYSTEM and this user, nobody else, nothing inherited.
    const std::wstring user = currentUserSid();
    CHECK(user.compare(0, 4, L"S-1-") == 0);
    CHECK(userOnlySddl() == L"D:P(A;;FA;;;SY)(A;;FA;;;" + user + L")");
    CHECK(userOnlySddl(true) == L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;" + user + L")");
    {
        HANDLE pipe = createUserOnlyPipe(L"\\\\.\\pipe\\tst_PlatformWin-acl", pipeServerOpenMode(),
            PIPE_TYPE_MESSAGE | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 0, 0);
        CHECK(pipe != INVALID_HANDLE_VALUE);
        const std::wstring dacl = daclOf(pipe);
        CHECK(dacl == L"D:P(A;;FA;;;SY)(A;;FA;;;" + user + L")");
        if (dacl != L"D:P(A;;FA;;;SY)(A;;FA;;;" + user + L")")
            std::fprintf(stderr, "tst_PlatformWin: pipe DACL %ls\n", dacl.c_str());
        CloseHandle(pipe);
    }

    // The control pipe: named after the user's SID and the session, its name held by a first
    // instance of ours that no outside client can land on, network logons denied. (Wine does not
    // enforce FILE_FLAG_FIRST_PIPE_INSTANCE, so the flag itself is checked.)
    DWORD session = 99;
    CHECK(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    const std::wstring control = controlPipeName();
    CHECK(control == L"OrvelinDriverControl-" + user + L"-" + std::to_wstring(session));
    CHECK(controlReservationOpenMode() == (PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE));
    CHECK(controlReservationPipeMode() & PIPE_REJECT_REMOTE_CLIENTS);
    const std::string served = controlServerName();
    CHECK(served == controlClientName() && !served.empty());
    const std::wstring path = L"\\\\.\\pipe\\" + control;
    HANDLE stray = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    CHECK(stray == INVALID_HANDLE_VALUE && GetLastError() == ERROR_PIPE_BUSY);
    if (stray != INVALID_HANDLE_VALUE)
        CloseHandle(stray);
    // A second call keeps the one reservation.
    CHECK(controlServerName() == served);
    // Every instance added later (as Qt's server adds them, with an access list of its own) has
    // the reservation's: network logons denied, this user and SYSTEM.
    {
        HANDLE added = CreateNamedPipeW(
            path.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
        CHECK(daclOf(added) == L"D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;" + user + L")");
        // A client of this session is let in by the session check. (Wine answers this session for
        // any handle, so a refusal can only be seen on Windows.)
        HANDLE client = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        CHECK(client != INVALID_HANDLE_VALUE);
        CHECK(peerIsInThisSession(reinterpret_cast<std::intptr_t>(added)));
        CloseHandle(client);
        CloseHandle(added);
    }

    // Each end checks the other's process user: this process on both ends passes; a handle that
    // is no pipe, a process that does not exist and the system's idle process are refused.
    {
        const std::wstring name = L"\\\\.\\pipe\\tst_PlatformWin-peer";
        HANDLE server = CreateNamedPipeW(
            name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
        HANDLE client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        CHECK(server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE);
        CHECK(peerIsCurrentUser(reinterpret_cast<std::intptr_t>(server)));
        CHECK(serverIsCurrentUser(reinterpret_cast<std::intptr_t>(client)));
        CloseHandle(client);
        CloseHandle(server);
    }
    HANDLE plain = openSelfDeletingTempFile();
    CHECK(!peerIsCurrentUser(reinterpret_cast<std::intptr_t>(plain)));
    CHECK(!serverIsCurrentUser(reinterpret_cast<std::intptr_t>(plain)));
    CloseHandle(plain);
    CHECK(processRunsAsCurrentUser(GetCurrentProcessId()));
    CHECK(!processRunsAsCurrentUser(0));
    CHECK(!processRunsAsCurrentUser(0xFFFFFFF0));

    // The session: the decision from given ids, the system's own ids, and session messages as
    // the panel reads them.
    {
        CHECK(sessionDrivesDevice({ 1, 1, false }) && !sessionDrivesDevice({ 1, 2, false }));
        CHECK(!sessionDrivesDevice({ 2, 2, true }) && !sessionDrivesDevice({ 1, kNoConsoleSession, false }));
        const SessionState now = currentSessionState();
        CHECK(now.own == session && now.console == WTSGetActiveConsoleSessionId());
        CHECK(now.remote == (GetSystemMetrics(SM_REMOTESESSION) != 0));
        HWND window = CreateWindowW(L"STATIC", L"", 0, 0, 0, 1, 1, HWND_MESSAGE, nullptr, nullptr, nullptr);
        CHECK(window && watchSessionChanges(reinterpret_cast<std::uintptr_t>(window)));
        SessionState state;
        const auto read = [&](UINT message, WPARAM event, DWORD id) {
            const MSG msg { window, message, event, static_cast<LPARAM>(id), 0, {} };
            return readSessionChange(&msg, state);
        };
        CHECK(!read(WM_TIMER, WTS_CONSOLE_CONNECT, 7) && state.own == 0);
        // This session leaves the console; another one's leaving changes nothing.
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, now.console) && state.console == kNoConsoleSession);
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_CONSOLE_DISCONNECT, now.console + 5) && state.console == now.console);
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, session + 1) && state.console == session + 1);
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_CONSOLE_CONNECT, session) && state.console == session);
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_REMOTE_CONNECT, session) && state.remote);
        CHECK(read(WM_WTSSESSION_CHANGE, WTS_SESSION_UNLOCK, session) && state.remote == now.remote);
        stopWatchingSessionChanges(reinterpret_cast<std::uintptr_t>(window));
        DestroyWindow(window);
    }

    // Console output is read in the OEM code page: byte 0x81 is u-umlaut in code pages 437 and
    // 850, where the ANSI page 1252 has no character at all.
    CHECK(consoleOutputToUtf8("").empty());
    CHECK(consoleOutputToUtf8("SUCCESS: explorer.exe\r\n") == "SUCCESS: explorer.exe\r\n");
    const UINT oem = GetOEMCP();
    if (oem == 437 || oem == 850)
        CHECK(consoleOutputToUtf8("f\x81r") == "f\xC3\xBCr");
    else
        std::printf("tst_PlatformWin: OEM code page %u, the umlaut check is skipped\n", oem);

    if (failures == 0)
        std::printf("tst_PlatformWin: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
