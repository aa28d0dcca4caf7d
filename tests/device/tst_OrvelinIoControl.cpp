#include "device/GuardedCall.h"
#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"
#include "device/OrvelinIoControl.h"
#include "emulator/Emulator.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/TestSupport.h"

#include <QtTest>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <vector>

namespace {

// Collects what the channel writes to the standard error stream.
class ErrorStream
{
public:
    ErrorStream()
        : previous(std::cerr.rdbuf(text.rdbuf()))
    { }
    ~ErrorStream() { std::cerr.rdbuf(previous); }
    std::string str() const { return text.str(); }

private:
    std::ostringstream text;
    std::streambuf *previous;
};

std::vector<std::uint8_t> packet(std::initializer_list<int> head)
{
    std::vector<std::uint8_t> bytes(37, 0);
    std::size_t i = 0;
    for (int b : head)
        bytes[i++] = static_cast<std::uint8_t>(b);
    return bytes;
}

// An emulated device of one model in a private runtime folder, and a channel to it.
struct Rig
{
    explicit Rig(std::uint32_t model, bool open = true)
        : device(env.runtimeDir().toStdString(), model)
    {
        if (open) {
            QVERIFY(device.start());
            QVERIFY(channel.openDevice());
        }
    }
    testsupport::IsolatedEnvironment env;
    emu::Emulator device;
    OrvelinIoControl channel;
};

} // namespace

class tst_OrvelinIoControl : public QObject
{
    Q_OBJECT

private slots:
    void vendorPacketsAreSentByteForByte();
    void fixedRequestsReachTheDevice();
    void closedChannelSendsNothingAndKeepsValues();
    void refusedRequestsFailAndKeepValues();
    void firmwareVersionCopiesAtMostTenBytes();
    void firmwareFailureIsReported();
    void usbStatusIsDecodedEvenAfterFailure();
    void removedDeviceFailsEveryRequest();
    void platformLinesReachTheDebugLog();
};

void tst_OrvelinIoControl::vendorPacketsAreSentByteForByte()
{
    Rig rig(2);

    QVERIFY(rig.channel.setMic48V(1, true));
    QVERIFY(rig.channel.setMicVolume(1, 300));
    QVERIFY(rig.channel.setOutVolume(2, 100));
    QVERIFY(rig.channel.setMic20dB(2, true));
    QVERIFY(rig.channel.setMicInstrument(1, false));
    QVERIFY(rig.channel.upgradeFirmware());
    // Arguments are cut to the field widths: 8 bits for the channel, 16 for the value.
    QVERIFY(rig.channel.setMicVolume(0x102, 0x12345));

    const auto seen = rig.device.requests();
    QCOMPARE(seen.size(), std::size_t(7));
    for (const auto &r : seen) {
        QCOMPARE(r.code, Code::SendVendorCommand);
        QCOMPARE(r.outputLength, 0u);
    }
    QCOMPARE(seen[0].input, packet({ 0x01, 0x5B, 0x00, 0x01, 0x01 }));
    QCOMPARE(seen[1].input, packet({ 0x01, 0x07, 0x00, 0x02, 0x01, 0x2C, 0x01 }));
    QCOMPARE(seen[2].input, packet({ 0x01, 0x03, 0x00, 0x02, 0x02, 0x64, 0x00 }));
    QCOMPARE(seen[3].input, packet({ 0x01, 0x5A, 0x00, 0x01, 0x02 }));
    QCOMPARE(seen[4].input, packet({ 0x01, 0x64, 0x00, 0x00, 0x01 }));
    QCOMPARE(seen[5].input, packet({ 0x01, 0x60 }));
    QCOMPARE(seen[6].input, packet({ 0x01, 0x07, 0x00, 0x02, 0x02, 0x45, 0x23 }));

    const emu::DeviceState state = rig.device.state();
    QVERIFY(state.phantom[0]);
    QVERIFY(state.pad[1]);
    QCOMPARE(state.micGain[0], 300);
    QCOMPARE(state.outVolume[1], 100);
    QCOMPARE(state.firmwareUpgrades, 1);
}

void tst_OrvelinIoControl::fixedRequestsReachTheDevice()
{
    Rig rig(18, false);
    testsupport::LogCapture log;
    rig.device.setBufferSize(256);
    rig.device.setLevel(0, 1073741824);
    rig.device.setLevel(3, -5);
    QVERIFY(rig.device.start());
    QVERIFY(rig.channel.openDevice());

    std::uint32_t pid = 0, samples = 0, frames = 0, rate = 0;
    QVERIFY(rig.channel.getDevicePid(pid));
    QCOMPARE(pid, 18u);
    QVERIFY(rig.channel.getBufferSize(samples));
    QCOMPARE(samples, 256u);
    QCOMPARE(log.count("Buffer size: 256"), 1);
    QVERIFY(rig.channel.setUsbLatency(4));
    QVERIFY(rig.channel.getUsbLatency(frames));
    QCOMPARE(frames, 4u);
    QVERIFY(rig.channel.setSampleRate(96000));
    QVERIFY(rig.channel.getSampleRate(rate));
    QCOMPARE(rate, 96000u);
    QVERIFY(rig.channel.setBufferSize(64));
    QVERIFY(rig.channel.stopAudio());
    QVERIFY(!rig.device.state().audioRunning);
    QVERIFY(rig.channel.startAudio());
    QVERIFY(rig.channel.enableUsbSlowMode());
    QVERIFY(rig.device.state().slowMode);
    QVERIFY(rig.channel.disableUsbSlowMode());

    MixerStateBlock block;
    block.applyInitialPattern(MixerStateBlock::Model::KA2);
    QVERIFY(rig.channel.writeMixerState(block));
    MeterBlock meters;
    QVERIFY(rig.channel.readMeters(meters));
    QCOMPARE(meters.level(0), 1073741824);
    QCOMPARE(meters.level(3), -5);

    const emu::DeviceState state = rig.device.state();
    QCOMPARE(state.bufferSize, 64u);
    QCOMPARE(state.mixerBlock, std::vector<std::uint8_t>(block.data(), block.data() + 66304));
    QVERIFY(!state.slowMode);

    // Codes, input bytes and output lengths as the driver received them.
    const auto seen = rig.device.requests();
    const std::vector<std::pair<std::uint32_t, std::uint32_t>> expected = { { Code::GetDevicePid, 4 },
        { Code::GetBufferSize, 4 }, { Code::SetUsbLatency, 0 }, { Code::GetUsbLatency, 4 }, { Code::SetSampleRate, 0 },
        { Code::GetSampleRate, 4 }, { Code::SetBufferSize, 0 }, { Code::StopAudio, 0 }, { Code::StartAudio, 0 },
        { Code::EnableUsbSlowMode, 0 }, { Code::DisableUsbSlowMode, 0 }, { Code::WriteMixerState, 0 },
        { Code::ReadMeters, 768 } };
    QCOMPARE(seen.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(seen[i].code, expected[i].first);
        QCOMPARE(seen[i].outputLength, expected[i].second);
        QCOMPARE(seen[i].result, std::string("ok"));
    }
    QCOMPARE(seen[2].input, std::vector<std::uint8_t>({ 4, 0, 0, 0 }));
    QCOMPARE(seen[4].input, std::vector<std::uint8_t>({ 0x00, 0x77, 0x01, 0x00 }));
}

void tst_OrvelinIoControl::closedChannelSendsNothingAndKeepsValues()
{
    Rig rig(2, false);
    QVERIFY(rig.device.start()); // the channel is never opened
    QVERIFY(!rig.channel.isOpen());

    std::uint32_t value = 77;
    QVERIFY(!rig.channel.getDevicePid(value));
    QVERIFY(!rig.channel.getSampleRate(value));
    QVERIFY(!rig.channel.getBufferSize(value));
    QVERIFY(!rig.channel.getUsbLatency(value));
    QCOMPARE(value, 77u);
    QVERIFY(!rig.channel.setSampleRate(44100));
    QVERIFY(!rig.channel.setBufferSize(64));
    QVERIFY(!rig.channel.setUsbLatency(2));
    QVERIFY(!rig.channel.stopAudio());
    QVERIFY(!rig.channel.startAudio());
    QVERIFY(!rig.channel.enableUsbSlowMode());
    QVERIFY(!rig.channel.disableUsbSlowMode());
    MixerStateBlock block;
    QVERIFY(!rig.channel.writeMixerState(block));
    MeterBlock meters;
    meters.data()[0] = 9;
    QVERIFY(!rig.channel.readMeters(meters));
    QCOMPARE(meters.level(0), 9);

    // The vendor commands report the real result: nothing was sent, so false.
    QVERIFY(!rig.channel.setMic20dB(1, true));
    QVERIFY(!rig.channel.setMic48V(1, true));
    QVERIFY(!rig.channel.setMicInstrument(1, true));
    QVERIFY(!rig.channel.setMicVolume(1, 10));
    QVERIFY(!rig.channel.setOutVolume(1, 100));
    QVERIFY(!rig.channel.upgradeFirmware());
    QVERIFY(!rig.channel.sendVendorCommand(VendorCommandPacket {}));
    UsbStatus status;
    status.usbErrorCount = 5;
    QVERIFY(!rig.channel.readUsbStatus(status));
    QCOMPARE(status.usbErrorCount, 5u);

    QVERIFY(rig.device.requests().empty());
    rig.channel.closeDevice(); // nothing to close
    QVERIFY(!rig.channel.isOpen());
}

void tst_OrvelinIoControl::refusedRequestsFailAndKeepValues()
{
    Rig rig(1);

    rig.device.fail(Code::SendVendorCommand, emu::FaultMode::Refuse);
    rig.device.fail(Code::GetDevicePid, emu::FaultMode::Refuse, 1);
    QVERIFY(!rig.channel.setMic48V(1, true));
    QVERIFY(!rig.channel.setOutVolume(1, 100));
    QVERIFY(!rig.channel.upgradeFirmware());
    std::uint32_t pid = 42;
    QVERIFY(!rig.channel.getDevicePid(pid));
    QCOMPARE(pid, 42u);
    // The refusal was for one request only; the channel itself is still good.
    QVERIFY(rig.channel.getDevicePid(pid));
    QCOMPARE(pid, 1u);
    QCOMPARE(rig.device.state().phantom[0], false);

    // A meter read that fails after a partial copy leaves the readouts as they were.
    MeterBlock meters;
    const MeterBlock before = meters;
    rig.device.fail(Code::ReadMeters, emu::FaultMode::Partial, 1);
    QVERIFY(!rig.channel.readMeters(meters));
    QVERIFY(std::equal(meters.data(), meters.data() + MeterBlock::kSize, before.data()));

    // A packet the firmware does not know is refused by the driver itself.
    VendorCommandPacket unknown;
    unknown.bytes[0] = 0x01;
    unknown.bytes[1] = 0x42;
    rig.device.fail(Code::SendVendorCommand, emu::FaultMode::Off);
    QVERIFY(!rig.channel.sendVendorCommand(unknown));
    VendorCommandPacket noMarker = device::makeSwitchPacket(0x5B, 1, true);
    noMarker.bytes[0] = 0x02;
    QVERIFY(!rig.channel.sendVendorCommand(noMarker));
    QVERIFY(rig.channel.setMic48V(1, true));
    QVERIFY(rig.device.state().phantom[0]);
}

void tst_OrvelinIoControl::firmwareVersionCopiesAtMostTenBytes()
{
    Rig rig(2, false);
    rig.device.setFirmware("V9.8.7.6543210XYZ");
    QVERIFY(rig.device.start());
    QVERIFY(rig.channel.openDevice());

    std::uint8_t buffer[16];
    std::memset(buffer, 0xEE, sizeof(buffer));
    QVERIFY(rig.channel.getFirmwareVersion(buffer, 16));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 11), QByteArray("V9.8.7.654\xEE", 11));

    std::memset(buffer, 0xEE, sizeof(buffer));
    QVERIFY(rig.channel.getFirmwareVersion(buffer, 4));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 5), QByteArray("V9.8\xEE", 5));

    // A short version is padded with the zero fill of the reply buffer.
    rig.device.setFirmware("V1");
    std::memset(buffer, 0xEE, sizeof(buffer));
    QVERIFY(rig.channel.getFirmwareVersion(buffer, 10));
    QCOMPARE(QByteArray(reinterpret_cast<char *>(buffer), 11), QByteArray("V1\0\0\0\0\0\0\0\0\xEE", 11));

    const auto seen = rig.device.requests();
    QCOMPARE(seen.back().code, Code::GetFirmwareVersion);
    QCOMPARE(seen.back().outputLength, 32u);
    QCOMPARE(seen.back().input, packet({ 0x01, 0x65 }));
}

void tst_OrvelinIoControl::firmwareFailureIsReported()
{
    Rig rig(2);
    rig.device.fail(Code::GetFirmwareVersion, emu::FaultMode::Refuse);
    OrvelinIoControl closed;

    std::uint8_t buffer[10] = { 1, 2, 3 };
    ErrorStream errors;
    QVERIFY(!rig.channel.getFirmwareVersion(buffer, 10));
    QVERIFY(!closed.getFirmwareVersion(buffer, 10));
    QCOMPARE(errors.str(),
        std::string("Failed to read firmware version from device.\nFailed to read firmware version from device.\n"));
    QCOMPARE(buffer[0], std::uint8_t(1));
    QCOMPARE(rig.device.requests().size(), std::size_t(1));

    // An exception inside a vendor command ends in its failure text and a false result.
    ErrorStream thrown;
    QVERIFY(!guardedCall("Failed to set mic 48V: ", []() -> bool { throw std::runtime_error("device gone"); }));
    QVERIFY(!guardedCall("Failed to upgrade firmware: ", []() -> bool { throw 7; }));
    QVERIFY(guardedCall("Failed to set mic volume: ", [] { return true; }));
    QCOMPARE(
        thrown.str(), std::string("Failed to set mic 48V: device gone\nFailed to upgrade firmware: Unknown error\n"));
}

void tst_OrvelinIoControl::usbStatusIsDecodedEvenAfterFailure()
{
    Rig rig(2, false);
    rig.device.setUsbErrorCount(0x01020304);
    QVERIFY(rig.device.start());
    QVERIFY(rig.channel.openDevice());

    UsbStatus status;
    QVERIFY(rig.channel.readUsbStatus(status));
    QCOMPARE(status.usbErrorCount, 0x01020304u);
    QCOMPARE(rig.device.requests().back().outputLength, 7u);

    // A failed read still fills the record, from the last reply the channel kept, also when the
    // failure wrote part of a reply.
    rig.device.setUsbErrorCount(9);
    for (emu::FaultMode mode : { emu::FaultMode::Refuse, emu::FaultMode::Partial }) {
        rig.device.fail(Code::ReadUsbStatus, mode, 1);
        UsbStatus after;
        QVERIFY(!rig.channel.readUsbStatus(after));
        QCOMPARE(after.usbErrorCount, 0x01020304u);
    }
}

void tst_OrvelinIoControl::removedDeviceFailsEveryRequest()
{
    Rig rig(2);
    std::uint32_t pid = 0;
    QVERIFY(rig.channel.getDevicePid(pid));

    rig.device.unplug();
    pid = 7;
    QVERIFY(!rig.channel.getDevicePid(pid));
    QCOMPARE(pid, 7u);
    QVERIFY(!rig.channel.setMic48V(1, true));
    OrvelinIoControl fresh;
    QVERIFY(!fresh.openDevice());
    QVERIFY(!fresh.isOpen());

    // A new device is a new interface; the old channel stays dead, as on Windows.
    rig.device.plug(15);
    QVERIFY(!rig.channel.getDevicePid(pid));
    OrvelinIoControl again;
    QVERIFY(again.openDevice());
    QVERIFY(again.getDevicePid(pid));
    QCOMPARE(pid, 15u);
}

void tst_OrvelinIoControl::platformLinesReachTheDebugLog()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    const QByteArray open = QFile::encodeName(env.root() + "/open");
    QVERIFY(QDir().mkpath(env.root() + "/open"));
    QFile::setPermissions(env.root() + "/open",
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadGroup
            | QFileDevice::ExeGroup);
    qputenv("ORVELIN_RUNTIME_DIR", open);
    OrvelinIoControl channel;
    QVERIFY(!channel.openDevice());
    QCOMPARE(log.count("Runtime directory refused: " + QString::fromLocal8Bit(open)), 1);
}

QTEST_GUILESS_MAIN(tst_OrvelinIoControl)
#include "tst_OrvelinIoControl.moc"
