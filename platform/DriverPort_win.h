#pragma once

// What the Windows driver port hands to the device installation API, for its tests.
#include "platform/PortHandle.h"

#include <windows.h>

#include <dbt.h>

namespace platform {

// The driver's device interface class, as passed to SetupDiGetClassDevsW.
const GUID &driverInterfaceClass();

// What a removal notice for one of the port's handles carries: the file it was registered for
// (the one a query-remove closed, while the removal may still be vetoed) and the notice handle,
// which may be null where the system gave none. False for an unknown number.
bool driverNoticeTarget(PortHandle handle, HANDLE &file, HDEVNOTIFY &notice);

} // namespace platform
