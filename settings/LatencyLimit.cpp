#include "settings/LatencyLimit.h"

namespace settings {

std::uint32_t largestUsbLatency(std::uint32_t bufferSamples)
{
    if (bufferSamples <= 64)
        return 8;
    if (bufferSamples <= 128)
        return 16;
    if (bufferSamples <= 256)
        return 24;
    return 32;
}

} // namespace settings
