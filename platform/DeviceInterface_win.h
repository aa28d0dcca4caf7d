#pragma once

// The first present interface of a device interface class, through the device installation API.
#include <windows.h>

#include <string>

namespace platform {

// The device path of the first present interface of the class; empty when there is none. Only the
// first is used: a second device of the class is not seen.
std::wstring firstDeviceInterfacePath(const GUID &interfaceClass);

// Opens the first present interface of the class for reading and writing, shared with other
// openers. Returns INVALID_HANDLE_VALUE when there is none (path left empty) or when it does not
// open (path set, GetLastError() says why).
HANDLE openFirstDeviceInterface(const GUID &interfaceClass, std::wstring *path = nullptr);

} // namespace platform
