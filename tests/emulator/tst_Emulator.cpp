#include "emulator/Emulator.h"
#include "emulator/Inbox.h"
#include "tests/support/DriverChannel.h"
#include "tests/support/ExpectedRequestLog.h"
#include "tests/support/TestSupport.h"

#include <QProcess>
#include <QtTest>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using testsupport::Bytes;
using Channel = testsupport::DriverChannel;

double db(std::int32_t level)
{
    return 20 * std::log10(std::fabs(double(level)) / 2147483647.0);
}

Bytes blockWithMonitor(double cell0)
{
    Bytes block(66304, 0);
    std::memcpy(block.data() + 16384, &cell0, 8); // monitor matrix (0,0): input 1 to output 1
    return block;
}

} // namespace

class tst_Emulator : public QObject
{
    Q_OBJECT

private slots:
    void refusesWhatTheDriverRefuses();
    void levelsFollowTheDevice();
    void faultsCountDownAndStop();
    void logLinesAndConnections();
    void modelCodesAreServedAsGiven();
    void programAnswersAndLogs();
};

void tst_Emulator::refusesWhatTheDriverRefuses()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    Channel c;

    QVERIFY(c.request(Code::GetDevicePid, {}, 4));
    QVERIFY(!c.request(Code::GetDevicePid, {}, 3)); // output too small
    QVERIFY(!c.request(Code::GetDevicePid, { 0 }, 4)); // unexpected input
    QVERIFY(!c.request(Code::SetSampleRate, { 0x80, 0xBB }, 0)); // a rate needs 4 bytes
    QVERIFY(!c.request(Code::WriteMixerState, Bytes(66303), 0));
    QVERIFY(!c.request(Code::ReadMeters, {}, 767));
    QVERIFY(!c.request(Code::ReadUsbStatus, {}, 8));
    QVERIFY(!c.request(Code::Unknown, {}, 0)); // unknown code
    QVERIFY(!c.request(Code::SendVendorCommand, Bytes(36, 1), 0));
    QVERIFY(!c.request(Code::SendVendorCommand, c.vendor({ 0x00, 0x5B, 0, 1, 1 }), 0));
    QVERIFY(!c.request(Code::SendVendorCommand, c.vendor({ 0x01, 0x11 }), 0));
    QVERIFY(!c.request(Code::GetFirmwareVersion, c.vendor({ 0x01, 0x60 }), 32)); // the version request is command 0x65
    QVERIFY(c.request(Code::SendVendorCommand, c.vendor({ 0x01, 0x5B, 0, 1, 2 }), 0));

    // Refused requests change nothing; the accepted one did.
    const emu::DeviceState state = device.state();
    QCOMPARE(state.sampleRate, 48000u);
    QVERIFY(state.mixerBlock.empty());
    QCOMPARE(state.phantom[0], false);
    QCOMPARE(state.phantom[1], true);
    QCOMPARE(state.firmwareUpgrades, 0);
    int refused = 0;
    for (const auto &r : device.requests())
        refused += r.result == "refused";
    QCOMPARE(refused, 11);
}

void tst_Emulator::levelsFollowTheDevice()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    Channel c;

    const double quiet = db(c.level(0));
    QVERIFY(quiet < -20 && quiet > -80);
    // Levels move a little from read to read.
    bool moved = false;
    const std::int32_t first = c.level(0);
    for (int i = 0; i < 5 && !moved; ++i)
        moved = c.level(0) != first;
    QVERIFY(moved);

    QVERIFY(c.request(Code::SendVendorCommand, c.vendor({ 0x01, 0x07, 0, 2, 1, 60, 0 }), 0)); // +30 dB of gain
    const double loud = db(c.level(0));
    QVERIFY(loud > quiet + 25);
    QVERIFY(c.request(Code::SendVendorCommand, c.vendor({ 0x01, 0x5A, 0, 1, 1 }), 0)); // pad
    const double padded = db(c.level(0));
    QVERIFY(padded < loud - 15);
    QVERIFY(c.request(Code::WriteMixerState, blockWithMonitor(1.0), 0)); // direct monitoring
    QVERIFY(db(c.level(0)) > padded + 3);
    // The block routes no phone input anywhere now, so the phone reads silence.
    QCOMPARE(c.level(2), 0);

    device.setLevel(1, -1073741824);
    QCOMPARE(c.level(1), -1073741824);
    QCOMPARE(device.state().levels[1], -1073741824);
    device.unpinLevel(1);
    QVERIFY(c.level(1) > 0);
}

void tst_Emulator::faultsCountDownAndStop()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    Channel c;

    device.fail(Code::GetDevicePid, emu::FaultMode::Refuse, 2);
    QVERIFY(!c.request(Code::GetDevicePid, {}, 4));
    QVERIFY(c.request(Code::StartAudio, {}, 0)); // other codes are unaffected
    QVERIFY(!c.request(Code::GetDevicePid, {}, 4));
    QVERIFY(c.request(Code::GetDevicePid, {}, 4));

    device.fail(Code::StopAudio, emu::FaultMode::Refuse);
    for (int i = 0; i < 3; ++i)
        QVERIFY(!c.request(Code::StopAudio, {}, 0));
    QVERIFY(device.state().audioRunning); // a refused stop did not stop anything
    device.fail(Code::StopAudio, emu::FaultMode::Off);
    QVERIFY(c.request(Code::StopAudio, {}, 0));
    QVERIFY(!device.state().audioRunning);

    emu::FaultMode mode;
    QVERIFY(emu::parseFaultMode("silent", mode));
    QCOMPARE(mode, emu::FaultMode::Silent);
    QVERIFY(emu::parseFaultMode("close", mode));
    QCOMPARE(mode, emu::FaultMode::Close);
    QVERIFY(!emu::parseFaultMode("Refuse", mode));
}

void tst_Emulator::logLinesAndConnections()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    emu::Inbox<std::string> lines;
    device.setLogSink([&](const std::string &line) { lines.push(line); });
    QVERIFY(device.start());
    {
        Channel first;
        QVERIFY(first.request(Code::SetSampleRate, { 0x44, 0xAC, 0x00, 0x00 }, 0));
        device.fail(Code::GetDevicePid, emu::FaultMode::Close, 1);
        QVERIFY(!first.request(Code::GetDevicePid, {}, 4));
    }
    Channel second;
    QVERIFY(second.request(Code::GetDevicePid, {}, 4));
    device.unplug();
    QVERIFY(!second.request(Code::GetDevicePid, {}, 4)); // gone with the device, and not logged
    device.plug(2);
    Channel third;
    QVERIFY(!third.request(Code::ReadMeters, {}, 700));

    QCOMPARE(lines.all(), testsupport::connectionSequenceLog());
    QCOMPARE(device.state().sampleRate, 44100u);
}

void tst_Emulator::modelCodesAreServedAsGiven()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 0);
    QVERIFY(device.start());
    for (std::uint32_t model : { 0u, 1u, 2u, 15u, 18u, 77u, 0xFFFFFFFFu }) {
        device.plug(model);
        Channel c;
        Bytes reply;
        QVERIFY(c.request(Code::GetDevicePid, {}, 4, &reply));
        QCOMPARE(reply,
            Bytes({ std::uint8_t(model), std::uint8_t(model >> 8), std::uint8_t(model >> 16),
                std::uint8_t(model >> 24) }));
    }
    // Plugging again is a new device: its mixer starts over, the driver's settings stay.
    Channel c;
    QVERIFY(c.request(Code::WriteMixerState, Bytes(66304, 0), 0));
    QVERIFY(c.request(Code::SetBufferSize, { 0, 1, 0, 0 }, 0));
    device.plug(2);
    QVERIFY(device.state().mixerBlock.empty());
    QCOMPARE(device.state().bufferSize, 256u);
}

void tst_Emulator::programAnswersAndLogs()
{
    testsupport::IsolatedEnvironment env;
    const QString log = env.root() + "/requests.json";
    QProcess program;
    program.start(QStringLiteral(ORVELIN_EMULATOR_PATH), { "--model", "18", "--firmware", "V0.0.0.001", "--log", log });
    QVERIFY(program.waitForStarted());
    QVERIFY(program.waitForReadyRead(5000));
    QVERIFY(program.readLine().startsWith("ready " + QFile::encodeName(env.runtimeDir()) + "/devices/"));

    auto command = [&](const QByteArray &line) {
        program.write(line + "\n");
        if (!program.waitForReadyRead(5000))
            return QByteArray("(no answer)");
        return program.readLine().trimmed();
    };
    {
        Channel c;
        Bytes reply;
        QVERIFY(c.request(Code::GetFirmwareVersion, c.vendor({ 0x01, 0x65 }), 32, &reply));
        QCOMPARE(QByteArray(reinterpret_cast<const char *>(reply.data()), 10), QByteArray("V0.0.0.001"));
        QCOMPARE(command("fail 0xFFDC2084 refuse 1"), QByteArray("ok"));
        QVERIFY(!c.request(Code::GetDevicePid, {}, 4));
        QVERIFY(c.request(Code::GetDevicePid, {}, 4, &reply));
        QCOMPARE(reply[0], std::uint8_t(18));
        QCOMPARE(command("errors 12"), QByteArray("ok"));
        QVERIFY(c.request(Code::ReadUsbStatus, {}, 7, &reply));
        QCOMPARE(reply[3], std::uint8_t(12));
        QCOMPARE(command("level 2 -5"), QByteArray("ok"));
        QCOMPARE(c.level(2), -5);
    }
    QCOMPARE(command("unplug"), QByteArray("ok"));
    QVERIFY(command("state").startsWith(R"({"plugged":false,"model":18,"firmware":"V0.0.0.001")"));
    QCOMPARE(command("plug 1"), QByteArray("ok"));
    QVERIFY(command("state").startsWith(R"({"plugged":true,"model":1,)"));
    QCOMPARE(command("fail 0xFFDC2084 sometimes"), QByteArray("error: fail CODE refuse|silent|short|close|off [N]"));
    QCOMPARE(command("level 4 0"), QByteArray("error: level I VALUE|auto"));
    QCOMPARE(command("asio-dance"), QByteArray("error: unknown command: asio-dance"));
    QCOMPARE(command("quit"), QByteArray("ok"));
    QVERIFY(program.waitForFinished(5000));
    QCOMPARE(program.exitCode(), 0);
    // The socket goes with the program.
    QVERIFY(QDir(env.runtimeDir() + "/devices/{6EB9AB90-B331-4508-B903-48AAA26EA4F1}").isEmpty());

    const QList<QByteArray> lines = testsupport::onDisk(log).split('\n');
    QCOMPARE(lines.size(), 6); // five requests and the empty tail
    QCOMPARE(lines[0],
        QByteArray(
            R"({"connection":1,"code":"0xFFDC20A0","input":"01650000000000000000000000000000000000000000000000000000000000000000000000","output":32,"result":"ok"})"));
    QCOMPARE(lines[1], QByteArray(R"({"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"refused"})"));
    QCOMPARE(lines[2], QByteArray(R"({"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"ok"})"));
}

QTEST_GUILESS_MAIN(tst_Emulator)
#include "tst_Emulator.moc"
