#include "device/MeterBlock.h"

#include "device/Conversions.h"
#include "platform/LittleEndian.h"

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
    return static_cast<std::int32_t>(platform::readLe32(bytes.data() + 4 * index));
}

std::int32_t MeterBlock::phoneMean(std::int32_t left, std::int32_t right)
{
    // Integer division truncates toward zero; the sum of two 32-bit levels fits in 64 bits.
    return static_cast<std::int32_t>((static_cast<std::int64_t>(left) + static_cast<std::int64_t>(right)) / 2);
}

QString MeterBlock::readoutText(std::int32_t level)
{
    return QString::number(device::sampleToDb(level), 'f', 1) + QStringLiteral(" dB");
}
