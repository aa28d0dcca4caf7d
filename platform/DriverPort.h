#pragma once

#include "platform/PortHandle.h"

#include <cstdint>

namespace platform {

// The kernel driver's device interface class.
constexpr const char *kDriverInterfaceGuid = "{6EB9AB90-B331-4508-B903-48AAA26EA4F1}";

// Opens the first present device interface of the driver's class. Returns kInvalidHandle when
// there is none or it cannot be opened.
PortHandle openDriverInterface();

// One synchronous control request. Returns the driver's boolean. Copies at most outLength reply
// bytes into out, on failure too where the driver wrote some (ERROR_MORE_DATA), and on success
// stores their number in *bytesReturned (when given).
bool driverRequest(PortHandle handle, std::uint32_t code, const void *in, std::uint32_t inLength, void *out,
    std::uint32_t outLength, std::uint32_t *bytesReturned = nullptr);

// Closes a handle from openDriverInterface; kInvalidHandle is ignored.
void closeDriverHandle(PortHandle handle);

} // namespace platform
