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
#include "platform/ProcessSignals.h"
#include "platform/SystemShell.h"
#include "platform/UserToken_win.h"
#include "tests/win/WinTestSupport.h"

#include <windows.h>

#include <aclapi.h>
#include <objbase.h>
#include <sddl.h>
#include <wtsapi32.h>

#include <atomic>
#include <cstdio>
#include <string>

namespace {

// The folder of this program, where the build puts orvelin-file-holder.exe too.
std::string ownFolder()
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string file(path, length);
    return file.substr(0, file.find_last_of('\\'));
}

// Runs a command line through cmd.exe /c, quoted as QProcess quotes it; its exit status or -1.
long runCommand(const std::string &processor, const std::string &line)
{
    std::string commandLine = "\"" + processor + "\" /c \"" + line + "\"";
    STARTUPINFOA startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process {};
    if (!CreateProcessA(
            nullptr, &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD status = 0;
    const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return ended ? static_cast<long>(status) : -1;
}

bool appears(const std::string &file)
{
    for (int tries = 0; tries < 200; ++tries) {
        if (GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        Sleep(100);
    }
    return false;
}

// The shell restart as cmd.exe runs it, with orvelin-file-holder standing in for the shell: the
// shell's process is ended and a new one started; when the kill fails the new one is started all
// the same and the status is 1. The command line ends only the process of this session's shell
// window, never every explorer.exe.
void checkShellRestart(const std::string &system, const std::string &windows)
{
    using namespace platform;
    DWORD shellProcess = 0;
    if (const HWND shell = GetShellWindow()) {
        GetWindowThreadProcessId(shell, &shellProcess);
        DWORD ours = 0;
        DWORD theirs = 1;
        CHECK(ProcessIdToSessionId(GetCurrentProcessId(), &ours) && ProcessIdToSessionId(shellProcess, &theirs));
        CHECK(ours == theirs);
    }
    const std::string explorer = windows + "\\explorer.exe";
    CHECK(shellRestartCommand() == shellRestartCommandLine(system + "\\taskkill.exe", explorer, shellProcess));
    CHECK(shellRestartCommandLine("taskkill.exe", explorer, 0) == "start " + explorer);

    const std::string holder = ownFolder() + "\\orvelin-file-holder.exe";
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string held = std::string(temp) + "tst_PlatformWin-shell";
    const std::string started = std::string(temp) + "tst_PlatformWin-started";
    DeleteFileA(started.c_str());
    CloseHandle(CreateFileA(held.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    std::string holdLine = "\"" + holder + "\" hold " + held;
    STARTUPINFOA startup {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION shell {};
    CHECK(CreateProcessA(
        nullptr, &holdLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup, &shell));
    const std::string taskkill = system + "\\taskkill.exe";
    const std::string standIn = holder + " touch " + started;
    CHECK(runCommand(system + "\\cmd.exe", shellRestartCommandLine(taskkill, standIn, shell.dwProcessId)) == 0);
    CHECK(WaitForSingleObject(shell.hProcess, 10000) == WAIT_OBJECT_0);
    CHECK(appears(started));
    CloseHandle(shell.hThread);
    CloseHandle(shell.hProcess);

    // A process that does not exist (process ids are multiples of 4; a freed one may be reused at
    // once): the kill fails, the start still happens.
    DeleteFileA(started.c_str());
    CHECK(runCommand(system + "\\cmd.exe", shellRestartCommandLine(taskkill, standIn, 0xFFFFFFF1)) == 1);
    CHECK(appears(started));
    DeleteFileA(started.c_str());
    DeleteFileA(held.c_str());
}

// The installer's quit event: it reaches the watcher once however long it stays signalled, other
// users may only wait on it, and it is gone with the last panel's handle (which is how the
// installer sees that every panel has ended).
void checkQuitEvent()
{
    using namespace platform;
    std::atomic<int> calls { 0 };
    HANDLE called = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    CHECK(watchQuitRequests([&] {
        ++calls;
        SetEvent(called);
    }));
    const std::string name = kQuitEventName;
    const std::wstring wide(name.begin(), name.end());
    CHECK(wide == L"Global\\OrvelinDriverQuit");
    HANDLE installer = OpenEventW(EVENT_MODIFY_STATE | READ_CONTROL, FALSE, wide.c_str());
    CHECK(installer != nullptr);
    const std::wstring dacl = daclOf(installer);
    CHECK(dacl == kQuitEventSddl);
    if (dacl != kQuitEventSddl)
        std::fprintf(stderr, "tst_PlatformWin: quit event DACL %ls\n", dacl.c_str());
    CHECK(SetEvent(installer));
    CHECK(WaitForSingleObject(called, 10000) == WAIT_OBJECT_0);
    // Still signalled: a watcher that waited again would be called over and over.
    Sleep(300);
    CHECK(calls == 1);
    CloseHandle(installer);
    stopQuitRequests();
    CHECK(OpenEventW(SYNCHRONIZE, FALSE, wide.c_str()) == nullptr);
    CloseHandle(called);
}

} // namespace

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
    CHECK(GetFileAttributesA((system + "\\taskkill.exe").c_str()) != INVALID_FILE_ATTRIBUTES);
    CHECK(shellWorkingFolder() == system);
    checkShellRestart(system, std::string(windows, windowsLength));
    checkQuitEvent();

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
