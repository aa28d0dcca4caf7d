#pragma once

#include <cstdint>

// Which panel drives the device when several users are signed in: the one of the session that
// owns the console. Panels in other sessions, remote-desktop sessions among them, leave the device
// and the ASIO driver's pipe alone. Linux has no such sessions: there the panel always drives it.
namespace platform {

// What the system says of the console; the session ids are Windows session ids.
struct SessionState
{
    std::uint32_t own = 0;
    std::uint32_t console = 0; // kNoConsoleSession while no session is attached to the console
    bool remote = false; // this session is a remote-desktop session
};

// WTSGetActiveConsoleSessionId's answer while sessions are being switched.
constexpr std::uint32_t kNoConsoleSession = 0xFFFFFFFF;

// The decision: a session drives the device only while it is the console session and not remote.
bool sessionDrivesDevice(const SessionState &state);

// The system's answer now. Linux: session 0 on console 0, never remote.
SessionState currentSessionState();

// Asks the system to send a window session changes (Windows: WTSRegisterSessionNotification for
// this session); false, with a log line, when it refuses. Linux: nothing to register, true.
bool watchSessionChanges(std::uintptr_t window);
void stopWatchingSessionChanges(std::uintptr_t window);

// Reads one native message (Windows: an MSG). False when it is no session change; otherwise
// `state` is the system's answer now, brought in line with what the message itself says (the
// system may already be a switch further than the message, which arrives queued). Linux: false.
bool readSessionChange(const void *message, SessionState &state);

} // namespace platform
