#pragma once

#include "platform/PortHandle.h"

#include <functional>
#include <string>

namespace platform {

// Turns the system's polite termination requests (SIGTERM, SIGINT) into a readable descriptor,
// so the event loop can end the program through its normal teardown. Installs the handlers on
// the first call and returns the same descriptor afterwards; kInvalidHandle where the system
// delivers no such requests (Windows) or the descriptor cannot be made.
PortHandle terminationRequests();

// Empties the descriptor after it became readable; returns how many requests were pending.
int takeTerminationRequests(PortHandle handle);

// The named event, per session, that the installer and the uninstaller signal to ask a running
// panel to quit before they replace or remove its files: "Local\\OrvelinDriverQuit" on Windows.
constexpr const char *kQuitEventName = "Local\\OrvelinDriverQuit";

// Windows: creates the quit event (SYSTEM, administrators and this user may signal it) and calls
// onQuit on a thread of its own each time it is signalled, until stopQuitRequests(). False, with a
// log line, when the event cannot be made. Linux has no installer and does nothing (false).
bool watchQuitRequests(std::function<void()> onQuit);
void stopQuitRequests();

// Appended to the names of the single-instance lock and marker. Their key files live in the
// shared /tmp on Linux, so each user gets their own ("-uid1000"); Windows keeps the bare names.
std::string instanceKeySuffix();

} // namespace platform
