#include "device/MeterBlock.h"

#include "device/Conversions.h"

MeterBlock::MeterBlock()
{
    clear();
}

void MeterBlock::clear()
{
    bytes.fill(0);
}

std::int32_t MeterBlock::level(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= kSize / 4)
        return 0;
    const std::uint8_t *p = bytes.data() + 4 * index;
    const std::uint32_t raw
        = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) | (std::uint32_t(p[3]) << 24);
    return static_cast<std::int32_t>(raw);
}

std::int32_t MeterBlock::phoneMean(std::int32_t left, std::int32_t right)
{
    // Integer division truncates toward zero; the sum of two 32-bit levels fits in 64 bits.
    return static_cast<std::int32_t>((static_cast<std::int64_t>(left) + static_cast<std::int64_t>(right)) / 2);
}

QString MeterBlock::readoutText(std::int32_t level)
{
    return QString::number(sampleToDb(level), 'f', 1) + QStringLiteral(" dB");
}
