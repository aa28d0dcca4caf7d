#pragma once

namespace device {

// Routes the platform layer's log lines into Qt's debug log. Safe to call any number of times;
// only the first call installs the sink.
void installPlatformLogBridge();

} // namespace device
