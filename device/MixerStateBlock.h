#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The whole mixer of the device: 8 matrices of 32 x 32 little-endian doubles, then 3 vectors
// of 32. Sent whole on every change.
class MixerStateBlock
{
public:
    static constexpr std::size_t kSize = 66304;
    static constexpr int kMonitorMatrix = 2;
    static constexpr int kPlaybackMatrix = 4;
    static constexpr int kOutputGainVector = 0;

    enum class Model { KA1, KV, KA2 }; // the KA2 SE uses the KA2's pattern

    MixerStateBlock(); // all zero
    void clear();
    void applyInitialPattern(Model model);

    void setMatrixCell(int matrix, int row, int column, double value);
    double matrixCell(int matrix, int row, int column) const;
    void setVectorEntry(int vector, int index, double value);
    double vectorEntry(int vector, int index) const;

    double cellAt(std::size_t byteOffset) const;
    const std::uint8_t *data() const { return bytes.data(); }

    static std::size_t matrixOffset(int matrix, int row, int column);
    static std::size_t vectorOffset(int vector, int index);

private:
    void setCellAt(std::size_t byteOffset, double value);
    std::array<std::uint8_t, kSize> bytes;
};
