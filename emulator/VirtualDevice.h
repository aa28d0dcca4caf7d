#pragma once

#include "emulator/EmulatorTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace emu {

// What the driver answers to one request: ok with exactly outputLength bytes, or a refusal.
struct Reply
{
    bool ok = false;
    std::vector<std::uint8_t> data;
};

// The device and its driver without any transport: checks each request the way the driver does
// and applies its effect. Not thread-safe; the Emulator serialises access.
class VirtualDevice
{
public:
    explicit VirtualDevice(std::uint32_t model);

    Reply handle(std::uint32_t code, const std::uint8_t *input, std::size_t inputLength, std::uint32_t outputLength);

    // A new device on the bus: the device's own settings start over, the driver's stay.
    void replug(std::uint32_t model);
    void pinLevel(int index, std::int32_t value);
    void unpinLevel(int index);
    // The levels a meter read returns now; without noise for the state report.
    std::array<std::int32_t, 4> levels(bool withNoise);

    DeviceState &state() { return current; }
    const DeviceState &state() const { return current; }

private:
    bool applyVendorCommand(const std::uint8_t *packet);
    double monitorFactor(int column) const;
    double phoneFactor() const;
    std::int32_t levelFromDb(double db) const;

    DeviceState current;
    std::array<std::optional<std::int32_t>, 4> pinned;
    std::minstd_rand noise { 12345 };
};

// The sizes the driver insists on for a control code; false for a code it does not know.
bool expectedSizes(std::uint32_t code, std::uint32_t &inputLength, std::uint32_t &outputLength);

} // namespace emu
