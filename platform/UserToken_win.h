#pragma once

// Who the panel runs as, for the names and access lists of its pipes and events.
#include <windows.h>

#include <string>

namespace platform {

// The user of this process's token as an SID string ("S-1-5-21-..."); empty when it cannot be read.
std::wstring currentUserSid();

// This process's session, as the per-session names carry it.
DWORD currentSession();

// True when the process of that id runs under the same user as this one. False for a process that
// is gone, cannot be opened, or whose token cannot be read.
bool processRunsAsCurrentUser(DWORD processId);

// A security descriptor in SDDL that gives full access to SYSTEM and this process's user and to
// nobody else (protected, so nothing is inherited); with denyNetwork it also denies everything to
// network logons first, even of this user. Empty when the user cannot be read.
std::wstring userOnlySddl(bool denyNetwork = false);

// Creates a named pipe with userOnlySddl(denyNetwork) as its security descriptor; the other
// arguments are those of CreateNamedPipeW. INVALID_HANDLE_VALUE with the last error set on failure.
HANDLE createUserOnlyPipe(const std::wstring &name, DWORD openMode, DWORD pipeMode, DWORD instances, DWORD outSize,
    DWORD inSize, DWORD timeoutMs, bool denyNetwork = false);

} // namespace platform
