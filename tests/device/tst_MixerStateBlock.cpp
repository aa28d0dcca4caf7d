#include "device/MixerStateBlock.h"

#include <QtTest>

#include <cstring>
#include <set>

namespace {

// Reads a cell straight from the bytes, as the device does.
double rawCell(const MixerStateBlock &block, std::size_t offset)
{
    std::uint64_t raw = 0;
    for (int i = 7; i >= 0; --i)
        raw = (raw << 8) | block.data()[offset + static_cast<std::size_t>(i)];
    double value;
    std::memcpy(&value, &raw, 8);
    return value;
}

std::set<std::size_t> onesOf(const MixerStateBlock &block)
{
    std::set<std::size_t> ones;
    for (std::size_t offset = 0; offset < 66304; offset += 8) {
        const double v = rawCell(block, offset);
        if (v == 1.0)
            ones.insert(offset);
        else if (v != 0.0)
            ones.insert(offset + 1); // marks an unexpected value
    }
    return ones;
}

std::set<std::size_t> commonOnes()
{
    std::set<std::size_t> ones;
    for (std::size_t offset = 65536; offset <= 66296; offset += 8)
        ones.insert(offset);
    for (std::size_t offset : { 1024, 1288, 1552, 1816, 2080, 2344, 2608, 2872, 24576, 24840, 32768, 33032, 33280,
             33544, 40960, 41224, 41488, 41752, 42016, 42280, 42544, 42808 })
        ones.insert(offset);
    return ones;
}

} // namespace

class tst_MixerStateBlock : public QObject
{
    Q_OBJECT

private slots:
    void cellAddressing()
    {
        QCOMPARE(MixerStateBlock::kSize, std::size_t(66304));
        QCOMPARE(MixerStateBlock::matrixOffset(0, 4, 0), std::size_t(1024));
        QCOMPARE(MixerStateBlock::matrixOffset(2, 1, 1), std::size_t(16648));
        QCOMPARE(MixerStateBlock::matrixOffset(4, 5, 5), std::size_t(34088));
        QCOMPARE(MixerStateBlock::matrixOffset(7, 31, 31), std::size_t(65528));
        QCOMPARE(MixerStateBlock::vectorOffset(0, 5), std::size_t(65576));
        QCOMPARE(MixerStateBlock::vectorOffset(2, 31), std::size_t(66296));

        MixerStateBlock block;
        block.setMatrixCell(2, 5, 3, 1.9952623149688795);
        block.setVectorEntry(0, 4, 0.1);
        const std::uint8_t expected[8] = { 0xAF, 0xB8, 0x5B, 0x2D, 0x98, 0xEC, 0xFF, 0x3F }; // 1.99526... LE
        QVERIFY(std::memcmp(block.data() + 17688, expected, 8) == 0);
        QCOMPARE(block.cellAt(17688), 1.9952623149688795);
        QCOMPARE(block.matrixCell(2, 5, 3), 1.9952623149688795);
        QCOMPARE(rawCell(block, 65568), 0.1);
        QCOMPARE(block.vectorEntry(0, 4), 0.1);

        // Addresses outside the block are ignored rather than written past its end.
        block.setMatrixCell(8, 0, 0, 1.0);
        block.setMatrixCell(0, 32, 0, 1.0);
        block.setVectorEntry(3, 0, 1.0);
        block.setVectorEntry(0, -1, 1.0);
        QCOMPARE(block.matrixCell(8, 0, 0), 0.0);
        QCOMPARE(block.cellAt(66300), 0.0);
        QCOMPARE(onesOf(block).size(), std::size_t(2)); // just the two odd values written above
    }

    void initialPatterns()
    {
        MixerStateBlock fresh;
        QVERIFY(onesOf(fresh).empty());

        MixerStateBlock ka1;
        ka1.applyInitialPattern(MixerStateBlock::Model::KA1);
        QCOMPARE(onesOf(ka1), commonOnes());
        QCOMPARE(ka1.cellAt(1024), 1.0);
        QCOMPARE(ka1.cellAt(65536), 1.0);
        QCOMPARE(ka1.cellAt(16384), 0.0);
        QCOMPARE(commonOnes().size(), std::size_t(96 + 22));

        MixerStateBlock kv;
        kv.applyInitialPattern(MixerStateBlock::Model::KV);
        std::set<std::size_t> kvOnes = commonOnes();
        kvOnes.insert({ 16400, 16664 });
        QCOMPARE(onesOf(kv), kvOnes);

        MixerStateBlock ka2;
        ka2.applyInitialPattern(MixerStateBlock::Model::KA2);
        std::set<std::size_t> ka2Ones = commonOnes();
        ka2Ones.insert({ 25600, 25864 });
        QCOMPARE(onesOf(ka2), ka2Ones);

        ka2.clear();
        QVERIFY(onesOf(ka2).empty());
    }
};

QTEST_GUILESS_MAIN(tst_MixerStateBlock)
#include "tst_MixerStateBlock.moc"
