#pragma once

// What the Windows driver port hands to the device installation API, for its tests.
#include <windows.h>

namespace platform {

// The driver's device interface class, as passed to SetupDiGetClassDevsW.
const GUID &driverInterfaceClass();

} // namespace platform
