#pragma once

#include <functional>
#include <string>

namespace platform {

// The platform layer knows nothing of Qt; the program routes these lines into its debug log.
// Without a sink they go to the standard error stream.
using LogSink = std::function<void(const std::string &line)>;
void setLogSink(LogSink sink);
void log(const std::string &line);

} // namespace platform
