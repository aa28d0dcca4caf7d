#include "device/Conversions.h"
#include "device/UsbStatus.h"
#include "device/VendorCommandPacket.h"

#include <QtTest>

#include <cmath>
#include <limits>

class tst_Conversions : public QObject
{
    Q_OBJECT

private slots:
    void dbToGainIsBoundedToMinus80AndPlus6()
    {
        QCOMPARE(device::dbToGain(-80), 0.0);
        QCOMPARE(device::dbToGain(-200), 0.0);
        QCOMPARE(device::dbToGain(-std::numeric_limits<double>::infinity()), 0.0);
        QCOMPARE(device::dbToGain(0), 1.0);
        QCOMPARE(device::dbToGain(-20), 0.1);
        QCOMPARE(device::dbToGain(6), 1.9952623149688795);
        QCOMPARE(device::dbToGain(12), 1.9952623149688795);
        QVERIFY(device::dbToGain(-79.9) > 0.0);
        QCOMPARE(device::dbToGain(std::numeric_limits<double>::quiet_NaN()), 0.0);
    }

    void sampleToDbAtTheEdges()
    {
        QCOMPARE(device::sampleToDb(2147483647), 0.0);
        QVERIFY(std::fabs(device::sampleToDb(-1073741824) - (-6.0206)) < 1e-3);
        // The most negative level is a hair above full scale, never a wrapped magnitude.
        QVERIFY(device::sampleToDb(-2147483647 - 1) > 0.0);
        QVERIFY(device::sampleToDb(-2147483647 - 1) < 1e-8);
        QCOMPARE(device::sampleToDb(0), -std::numeric_limits<double>::infinity());
        QVERIFY(std::fabs(device::sampleToDb(1) - (-186.6)) < 0.05);
    }

    void packetShapes()
    {
        const VendorCommandPacket bare = device::makeBarePacket(0x65);
        QCOMPARE(int(bare.bytes.size()), 37);
        QCOMPARE(bare.bytes[0], std::uint8_t(0x01));
        QCOMPARE(bare.bytes[1], std::uint8_t(0x65));
        for (std::size_t i = 2; i < 37; ++i)
            QCOMPARE(bare.bytes[i], std::uint8_t(0));

        const VendorCommandPacket off = device::makeSwitchPacket(0x64, 2, false);
        QCOMPARE(off.bytes[3], std::uint8_t(0x00));
        QCOMPARE(off.bytes[4], std::uint8_t(0x02));
        // Negative values are taken as their low 16 bits.
        const VendorCommandPacket negative = device::makeValuePacket(0x07, -1, -2);
        QCOMPARE(negative.bytes[3], std::uint8_t(0x02));
        QCOMPARE(negative.bytes[4], std::uint8_t(0xFF));
        QCOMPARE(negative.bytes[5], std::uint8_t(0xFE));
        QCOMPARE(negative.bytes[6], std::uint8_t(0xFF));
        for (std::size_t i = 7; i < 37; ++i)
            QCOMPARE(negative.bytes[i], std::uint8_t(0));

        // The 7-byte status reply: little-endian word, one byte, little-endian error count.
        const std::uint8_t reply[7] = { 0x34, 0x12, 0xAB, 0x01, 0x00, 0x00, 0x80 };
        const UsbStatus decoded = device::decodeUsbStatus(reply);
        QCOMPARE(decoded.statusWord, std::uint16_t(0x1234));
        QCOMPARE(decoded.statusByte, std::uint8_t(0xAB));
        QCOMPARE(decoded.usbErrorCount, 0x80000001u);
    }
};

QTEST_GUILESS_MAIN(tst_Conversions)
#include "tst_Conversions.moc"
