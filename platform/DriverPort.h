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

// Windows: a device is only removed (unplugged, disabled, its driver updated) once every handle to
// it is closed, so the port closes each handle it opened as soon as the system says its device is
// going (query-remove or removal), logs it, and fails every later request on it until the program
// closes it too. When another program vetoes the removal after the query (query-remove failed),
// the port opens the device again under the same handle, so the program goes on without a rebuild.
// The notices arrive at a hidden message-only window that the port runs on a thread of its own. A
// program that prefers its own window passes it here (an HWND, before the first open) and hands
// that window's WM_DEVICECHANGE messages to driverNoticeMessage(). Linux: a removed device's socket
// fails by itself, and both do nothing.
void setDriverNoticeWindow(std::intptr_t window);
// True when the message was a removal notice for one of the port's handles (already acted upon).
bool driverNoticeMessage(unsigned message, std::uintptr_t wParam, std::intptr_t lParam);

} // namespace platform
