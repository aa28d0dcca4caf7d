#pragma once

#include <cstdint>

namespace settings {

// The largest USB latency (frames) the driver may use with an audio buffer of this many samples:
// 8 up to 64 samples, 16 up to 128, 24 up to 256, 32 above.
std::uint32_t largestUsbLatency(std::uint32_t bufferSamples);

} // namespace settings
