#pragma once

#include <cstdint>
#include <cstring>

// The driver's packets and blocks are little-endian whatever the host's byte order.
namespace platform {

inline std::uint32_t readLe32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
}

inline void writeLe32(std::uint8_t *p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

inline double readLeDouble(const std::uint8_t *p)
{
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i)
        raw = (raw << 8) | p[i];
    double value;
    std::memcpy(&value, &raw, sizeof(value));
    return value;
}

inline void writeLeDouble(std::uint8_t *p, double value)
{
    std::uint64_t raw;
    std::memcpy(&raw, &value, sizeof(raw));
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<std::uint8_t>(raw >> (8 * i));
}

} // namespace platform
