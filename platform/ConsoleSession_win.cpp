#include "platform/ConsoleSession.h"

#include "platform/PlatformLog.h"
#include "platform/UserToken_win.h"

#include <windows.h>

#include <wtsapi32.h>

#include <string>

namespace platform {

SessionState currentSessionState()
{
    SessionState state;
    state.own = currentSession();
    state.console = WTSGetActiveConsoleSessionId();
    state.remote = GetSystemMetrics(SM_REMOTESESSION) != 0;
    return state;
}

bool watchSessionChanges(std::uintptr_t window)
{
    if (WTSRegisterSessionNotification(reinterpret_cast<HWND>(window), NOTIFY_FOR_THIS_SESSION))
        return true;
    log("Session changes not watched, error " + std::to_string(GetLastError()));
    return false;
}

void stopWatchingSessionChanges(std::uintptr_t window)
{
    WTSUnRegisterSessionNotification(reinterpret_cast<HWND>(window));
}

bool readSessionChange(const void *message, SessionState &state)
{
    const MSG *msg = static_cast<const MSG *>(message);
    if (msg->message != WM_WTSSESSION_CHANGE)
        return false;
    state = currentSessionState();
    const auto session = static_cast<std::uint32_t>(msg->lParam);
    switch (msg->wParam) {
    case WTS_CONSOLE_CONNECT:
        state.console = session;
        break;
    case WTS_CONSOLE_DISCONNECT:
        if (state.console == session)
            state.console = kNoConsoleSession;
        break;
    case WTS_REMOTE_CONNECT:
        if (session == state.own)
            state.remote = true;
        break;
    default:
        break;
    }
    return true;
}

} // namespace platform
