#include "device/MixerStateBlock.h"

#include "platform/LittleEndian.h"

namespace {
constexpr int kMatrices = 8;
constexpr int kVectors = 3;
constexpr int kCells = 32;
constexpr std::size_t kMatrixBytes = 8192;
constexpr std::size_t kRowBytes = 256;
constexpr std::size_t kVectorBase = kMatrices * kMatrixBytes;

bool inRange(int v, int count)
{
    return v >= 0 && v < count;
}
} // namespace

MixerStateBlock::MixerStateBlock()
{
    clear();
}

void MixerStateBlock::clear()
{
    bytes.fill(0);
}

void MixerStateBlock::applyInitialPattern(Model model)
{
    for (int v = 0; v < kVectors; ++v)
        for (int i = 0; i < kCells; ++i)
            setVectorEntry(v, i, 1.0);
    for (int i = 0; i < 8; ++i)
        setMatrixCell(0, 4 + i, i, 1.0);
    setMatrixCell(3, 0, 0, 1.0);
    setMatrixCell(3, 1, 1, 1.0);
    setMatrixCell(4, 0, 0, 1.0);
    setMatrixCell(4, 1, 1, 1.0);
    setMatrixCell(4, 2, 0, 1.0);
    setMatrixCell(4, 3, 1, 1.0);
    for (int i = 0; i < 8; ++i)
        setMatrixCell(5, i, i, 1.0);

    switch (model) {
    case Model::KA1:
        break;
    case Model::KV:
        // The KV's phone input always reaches the headphone.
        setMatrixCell(kMonitorMatrix, 0, 2, 1.0);
        setMatrixCell(kMonitorMatrix, 1, 3, 1.0);
        break;
    case Model::KA2:
        setMatrixCell(3, 4, 0, 1.0);
        setMatrixCell(3, 5, 1, 1.0);
        break;
    }
}

std::size_t MixerStateBlock::matrixOffset(int matrix, int row, int column)
{
    return static_cast<std::size_t>(matrix) * kMatrixBytes + static_cast<std::size_t>(row) * kRowBytes
        + static_cast<std::size_t>(column) * 8;
}

std::size_t MixerStateBlock::vectorOffset(int vector, int index)
{
    return kVectorBase + static_cast<std::size_t>(vector) * kRowBytes + static_cast<std::size_t>(index) * 8;
}

void MixerStateBlock::setMatrixCell(int matrix, int row, int column, double value)
{
    if (inRange(matrix, kMatrices) && inRange(row, kCells) && inRange(column, kCells))
        setCellAt(matrixOffset(matrix, row, column), value);
}

double MixerStateBlock::matrixCell(int matrix, int row, int column) const
{
    if (!inRange(matrix, kMatrices) || !inRange(row, kCells) || !inRange(column, kCells))
        return 0.0;
    return cellAt(matrixOffset(matrix, row, column));
}

void MixerStateBlock::setVectorEntry(int vector, int index, double value)
{
    if (inRange(vector, kVectors) && inRange(index, kCells))
        setCellAt(vectorOffset(vector, index), value);
}

double MixerStateBlock::vectorEntry(int vector, int index) const
{
    if (!inRange(vector, kVectors) || !inRange(index, kCells))
        return 0.0;
    return cellAt(vectorOffset(vector, index));
}

double MixerStateBlock::cellAt(std::size_t byteOffset) const
{
    return byteOffset <= kSize - 8 ? platform::readLeDouble(bytes.data() + byteOffset) : 0.0;
}

void MixerStateBlock::setCellAt(std::size_t byteOffset, double value)
{
    if (byteOffset <= kSize - 8)
        platform::writeLeDouble(bytes.data() + byteOffset, value);
}
