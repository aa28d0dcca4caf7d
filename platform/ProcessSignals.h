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

// The named event that the installer and the uninstaller signal to ask every running panel, in
// every session, to quit before they replace or remove its files. One object for the machine:
// each panel opens it, the first one creates it.
constexpr const char *kQuitEventName = "Global\\OrvelinDriverQuit";
// Who may do what with it: SYSTEM and administrators (the installer) everything; interactive users,
// and the owner whoever it is, only wait on it. A standard user may create a "Global\\" event
// (SeCreateGlobalPrivilege guards only file mappings and symbolic links there), but then not
// signal it, nor, through the owner entry, rewrite its access list to do so.
constexpr const wchar_t *kQuitEventSddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100000;;;IU)(A;;0x100000;;;OW)";

// Windows: creates or opens the quit event and calls onQuit on a thread of its own once it is
// signalled, until stopQuitRequests(). It is a manual-reset event, so one signal reaches every
// panel. False, with a log line, when the event can be neither made nor opened. Linux has no
// installer and does nothing (false).
bool watchQuitRequests(std::function<void()> onQuit);
void stopQuitRequests();

// Appended to the names of the single-instance lock and marker. Their key files live in the
// shared /tmp on Linux, so each user gets their own ("-uid1000"); Windows keeps the bare names.
std::string instanceKeySuffix();

} // namespace platform
