#include "device/MeterBlock.h"

#include <QtTest>

class tst_MeterBlock : public QObject
{
    Q_OBJECT

private slots:
    void levelsAreSignedLittleEndian()
    {
        MeterBlock block;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(block.level(i), 0);
        const std::uint8_t bytes[16]
            = { 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80 };
        std::memcpy(block.data(), bytes, sizeof(bytes));
        block.data()[767] = 0x55; // the driver's own part of the block is ignored
        QCOMPARE(block.level(0), 1);
        QCOMPARE(block.level(1), -1);
        QCOMPARE(block.level(2), 2147483647);
        QCOMPARE(block.level(3), -2147483647 - 1);
        QCOMPARE(block.phoneLevel(), 0); // (2147483647 - 2147483648) / 2 truncated toward zero
        QCOMPARE(block.level(192), 0); // past the end: nothing, not a crash
        QCOMPARE(block.level(-1), 0);
        block.clear();
        QCOMPARE(block.level(2), 0);
    }

    void phoneMeanNeitherOverflowsNorRoundsAwayFromZero()
    {
        QCOMPARE(MeterBlock::phoneMean(2147483647, 2147483647), 2147483647);
        QCOMPARE(MeterBlock::phoneMean(-2147483647 - 1, -2147483647 - 1), -2147483647 - 1);
        QCOMPARE(MeterBlock::phoneMean(2147483647, -2147483647), 0);
        QCOMPARE(MeterBlock::phoneMean(3, 4), 3);
        QCOMPARE(MeterBlock::phoneMean(-3, -4), -3);
        QCOMPARE(MeterBlock::phoneMean(-1, 0), 0);
    }

    void readoutTexts()
    {
        QCOMPARE(MeterBlock::readoutText(2147483647), QString("0.0 dB"));
        QCOMPARE(MeterBlock::readoutText(1073741824), QString("-6.0 dB"));
        QCOMPARE(MeterBlock::readoutText(-1073741824), QString("-6.0 dB"));
        QCOMPARE(MeterBlock::readoutText(1), QString("-186.6 dB"));
        QCOMPARE(MeterBlock::readoutText(0), QString("-inf dB"));
        QCOMPARE(MeterBlock::readoutText(MeterBlock::phoneMean(2147483647, -2147483647)), QString("-inf dB"));
        QCOMPARE(MeterBlock::readoutText(214748365), QString("-20.0 dB"));
    }
};

QTEST_GUILESS_MAIN(tst_MeterBlock)
#include "tst_MeterBlock.moc"
