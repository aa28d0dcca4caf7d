#include "device/Conversions.h"

#include <cmath>

namespace device {

double dbToGain(double db)
{
    // A value that is no number is treated as silence rather than sent to the device.
    if (std::isnan(db))
        return 0.0;
    if (db < -80.0)
        db = -80.0;
    if (db > 6.0)
        db = 6.0;
    if (db == -80.0)
        return 0.0;
    return std::pow(10.0, db / 20.0);
}

double sampleToDb(std::int32_t level)
{
    const double magnitude = std::fabs(static_cast<double>(level));
    return 20.0 * std::log10(magnitude / 2147483647.0);
}

} // namespace device
