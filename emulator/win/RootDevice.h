#pragma once

#include <string>

// The emulated interface as a root-enumerated device carrying the relay driver: creating it is
// plugging the interface in, removing it is unplugging.
namespace emuwin {

// Creates root\orvelin\0 and installs the relay driver from the INF at infPath (a full path).
// On failure, error names the step and the Windows error code.
bool createRootDevice(const std::wstring &infPath, std::string &error);

// Removes every device with the stand-in's hardware id; true when none is left.
bool removeRootDevice(std::string &error);

} // namespace emuwin
