#pragma once

#include <cstdint>

namespace device {

// Decibels (bounded to -80..+6) to a linear factor; -80 dB and below is exactly 0.0.
double dbToGain(double db);

// A signed 32-bit level to decibels relative to full scale; 0 gives minus infinity.
double sampleToDb(std::int32_t level);

} // namespace device
