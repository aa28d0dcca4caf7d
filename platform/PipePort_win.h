#pragma once

// What the Windows pipe port hands to CreateNamedPipeW, for its tests: Wine does not enforce
// every flag, so the arguments themselves are checked.
#include <windows.h>

namespace platform {

// The open mode of a server pipe.
DWORD pipeServerOpenMode();

} // namespace platform
