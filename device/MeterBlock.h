#pragma once

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>

// The 768-byte level buffer the driver fills; the program reads levels 0 to 3.
class MeterBlock
{
public:
    static constexpr std::size_t kSize = 768;

    MeterBlock(); // zeroed
    void clear();
    std::int32_t level(int index) const; // signed 32-bit little-endian at 4 * index
    std::int32_t phoneLevel() const { return phoneMean(level(2), level(3)); }
    std::uint8_t *data() { return bytes.data(); }
    const std::uint8_t *data() const { return bytes.data(); }

    // Mean of left and right formed in 64 bits and truncated toward zero.
    static std::int32_t phoneMean(std::int32_t left, std::int32_t right);
    // "-6.0 dB", "-inf dB" for silence; no floor.
    static QString readoutText(std::int32_t level);

private:
    std::array<std::uint8_t, kSize> bytes;
};
