#pragma once

#include <cstdint>

namespace platform {

// A Windows HANDLE on Windows, a file descriptor on Linux; all bits set while closed,
// like INVALID_HANDLE_VALUE.
using PortHandle = std::intptr_t;
constexpr PortHandle kInvalidHandle = -1;

} // namespace platform
