#include "platform/ControlEndpoint.h"

#include "platform/ControlEndpoint_win.h"
#include "platform/PlatformLog.h"
#include "platform/UserToken_win.h"

#include <windows.h>

namespace platform {

namespace {

std::string utf8(const std::wstring &text)
{
    if (text.empty())
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], bytes, nullptr, nullptr);
    return result;
}

// The two ends of the pipe's first instance, held for the whole run: while it exists the name is
// ours, and its access list (this user and SYSTEM, network logons denied) is that of every
// instance Qt's server adds, which Qt creates without refusing remote clients. Our own client
// end keeps the instance busy, so no outside client ever lands on it.
HANDLE reservedServer = INVALID_HANDLE_VALUE;
HANDLE reservedClient = INVALID_HANDLE_VALUE;

bool reserve(const std::wstring &path)
{
    if (reservedServer != INVALID_HANDLE_VALUE)
        return true;
    HANDLE server = createUserOnlyPipe(
        path, controlReservationOpenMode(), controlReservationPipeMode(), PIPE_UNLIMITED_INSTANCES, 0, 0, 0, true);
    if (server == INVALID_HANDLE_VALUE) {
        log("Control channel name " + utf8(path) + " is held by another program, error "
            + std::to_string(GetLastError()));
        return false;
    }
    HANDLE client = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (client == INVALID_HANDLE_VALUE) {
        log("Control channel not reserved, error " + std::to_string(GetLastError()));
        CloseHandle(server);
        return false;
    }
    reservedServer = server;
    reservedClient = client;
    return true;
}

} // namespace

DWORD controlReservationOpenMode()
{
    return PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE;
}

DWORD controlReservationPipeMode()
{
    return PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS;
}

std::wstring controlPipeName()
{
    const std::wstring user = currentUserSid();
    if (user.empty())
        return {};
    return L"OrvelinDriverControl-" + user + L"-" + std::to_wstring(currentSession());
}

std::string controlServerName()
{
    const std::wstring name = controlPipeName();
    if (name.empty() || !reserve(L"\\\\.\\pipe\\" + name))
        return {};
    return utf8(name);
}

std::string controlClientName()
{
    return utf8(controlPipeName());
}

bool peerIsCurrentUser(std::intptr_t descriptor)
{
    // Remote clients never get this far: the pipe's access list denies network logons.
    ULONG process = 0;
    if (!GetNamedPipeClientProcessId(reinterpret_cast<HANDLE>(descriptor), &process))
        return false;
    return processRunsAsCurrentUser(process);
}

bool peerIsInThisSession(std::intptr_t descriptor)
{
    ULONG session = 0;
    if (!GetNamedPipeClientSessionId(reinterpret_cast<HANDLE>(descriptor), &session))
        return false;
    return session == currentSession();
}

bool serverIsCurrentUser(std::intptr_t descriptor)
{
    ULONG process = 0;
    if (!GetNamedPipeServerProcessId(reinterpret_cast<HANDLE>(descriptor), &process))
        return false;
    return processRunsAsCurrentUser(process);
}

} // namespace platform
