#pragma once

// What the Windows control endpoint hands to the system, for its tests.
#include <windows.h>

#include <string>

namespace platform {

// "OrvelinDriverControl-<user SID>-<session>", without the "\\.\pipe\" prefix; empty when the
// user cannot be read.
std::wstring controlPipeName();

// The open and pipe modes of the instance that reserves the control pipe's name.
DWORD controlReservationOpenMode();
DWORD controlReservationPipeMode();

} // namespace platform
