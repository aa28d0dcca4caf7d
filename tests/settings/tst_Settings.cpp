#include "emulator/AsioPeer.h"
#include "emulator/AudioServicePeer.h"
#include "emulator/Emulator.h"
#include "settings/Settings.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/TestSupport.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QtTest>

#include <memory>
#include <vector>

using Codes = std::vector<std::uint32_t>;
// A buffer size set with the latency within its limit: audio stopped, size set, audio started.
const Codes kBufferCycle { Code::GetBufferSize, Code::GetUsbLatency, Code::StopAudio, Code::SetBufferSize,
    Code::StartAudio };

namespace {

const QString kListenerWaiting = QStringLiteral("ThreadSettingsPip is running waiting Asio Info...");

const QString kStopFailed = QStringLiteral("停止音频失败，可能是驱动未正确加载或设备未连接。");
const QString kRestartFailed = QStringLiteral("重新启动音频失败，可能是驱动未正确加载或设备未连接。");

// The requests the device saw, without the once-a-second status poll.
Codes codes(const emu::Emulator &device)
{
    Codes seen;
    for (const auto &request : device.requests())
        if (request.code != Code::ReadUsbStatus)
            seen.push_back(request.code);
    return seen;
}

// The 32-bit value each set request carried, in order.
std::vector<std::uint32_t> setValues(const emu::Emulator &device, std::uint32_t code)
{
    std::vector<std::uint32_t> values;
    for (const auto &request : device.requests())
        if (request.code == code && request.input.size() == 4)
            values.push_back(request.input[0] | request.input[1] << 8 | request.input[2] << 16
                | static_cast<std::uint32_t>(request.input[3]) << 24);
    return values;
}

QString settingsFile(const testsupport::IsolatedEnvironment &env)
{
    return env.appDataDir() + QStringLiteral("/setting.ini");
}
QStringList storedKeys(const testsupport::IsolatedEnvironment &env)
{
    return QSettings(settingsFile(env), QSettings::IniFormat).allKeys();
}
QString stored(const testsupport::IsolatedEnvironment &env, const QString &key)
{
    return QSettings(settingsFile(env), QSettings::IniFormat).value(key).toString();
}

// One dialog against a fresh emulated device in a private environment.
struct Rig
{
    // With `stored`, the settings file holds it before the dialog is made.
    explicit Rig(bool connect = true, const QByteArray &stored = {})
        : device(env.runtimeDir().toStdString(), 2)
    {
        if (!stored.isEmpty())
            testsupport::writeFile(settingsFile(env), stored);
        device.start();
        dialog = std::make_unique<Settings>();
        buffer = dialog->findChild<QComboBox *>(QStringLiteral("bufferBox"));
        latency = dialog->findChild<QComboBox *>(QStringLiteral("latencyBox"));
        safeMode = dialog->findChild<QComboBox *>(QStringLiteral("safeModeBox"));
        if (connect)
            connected = dialog->connectDevice();
        // The listener thread announces its first wait on its own schedule; let it speak before
        // the log is cleared, so that each test sees only the lines its own steps cause.
        listenerWaiting = QTest::qWaitFor([this] { return log.contains(kListenerWaiting); }, 5000);
        device.clearRequests();
        log.clear();
    }

    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    emu::Emulator device;
    std::unique_ptr<Settings> dialog;
    QComboBox *buffer = nullptr;
    QComboBox *latency = nullptr;
    QComboBox *safeMode = nullptr;
    bool connected = false;
    bool listenerWaiting = false;
};

} // namespace

class tst_Settings : public QObject
{
    Q_OBJECT

private slots:
    void beforeAnyDeviceEveryChangeFails()
    {
        Rig rig(false);
        rig.buffer->setCurrentText(QStringLiteral("256"));
        rig.latency->setCurrentText(QStringLiteral("16"));
        rig.safeMode->setCurrentText(QStringLiteral("Enabled"));

        const QStringList expected
            = { QStringLiteral("设置音频缓冲区大小为： 256 samples"), QStringLiteral("当前音频缓冲区大小： 0"),
                  QStringLiteral("获取音频缓冲区大小失败，可能是驱动未正确加载或设备未连接。"),
                  QStringLiteral("设置USB延迟大小为： 16 Frame"), QStringLiteral("当前USB延迟大小： 0"), kStopFailed,
                  kStopFailed };
        QVERIFY(rig.listenerWaiting);
        QCOMPARE(rig.log.lines(), expected);
        QVERIFY(codes(rig.device).empty());
        QVERIFY(storedKeys(rig.env).isEmpty());

        QVERIFY(!rig.dialog->applyAsioBufferSize(256));
        QCOMPARE(rig.log.count(QStringLiteral("Device is not on line.")), 1);
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("256"));
        QTRY_VERIFY(rig.log.count(QStringLiteral("Device is not on line.")) >= 2); // the status poll
    }

    void firstRunSetsOnlyTheBufferSize()
    {
        Rig rig;
        QVERIFY(rig.connected);
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("48"));
        rig.dialog->loadSettings();

        QCOMPARE(codes(rig.device), kBufferCycle);
        QCOMPARE(setValues(rig.device, Code::SetBufferSize), (std::vector<std::uint32_t> { 192 }));
        QCOMPARE(rig.device.state().bufferSize, 192u);
        QVERIFY(rig.device.state().audioRunning);
        QCOMPARE(storedKeys(rig.env), QStringList { QStringLiteral("Audio/BufferSize") });
        QCOMPARE(stored(rig.env, QStringLiteral("Audio/BufferSize")), QStringLiteral("192"));
        QVERIFY(rig.log.contains(QStringLiteral("音频缓冲区大小设置成功： 192 samples")));
        QVERIFY(rig.log.contains(QStringLiteral("音频缓冲区大小设置已保存： 192")));
        QCOMPARE(rig.log.lines().last(), QStringLiteral("已从配置文件加载控件状态"));
    }

    void largerLatencyComesDownBeforeTheBuffer()
    {
        Rig rig;
        rig.device.setUsbLatency(32);
        rig.latency->setCurrentText(QStringLiteral("32")); // equal to the driver's: nothing happens
        QVERIFY(codes(rig.device) == (Codes { Code::GetUsbLatency }));
        rig.device.clearRequests();

        rig.buffer->setCurrentText(QStringLiteral("64"));
        const Codes twoCycles = { Code::GetBufferSize, Code::GetUsbLatency, Code::GetUsbLatency, Code::StopAudio,
            Code::SetUsbLatency, Code::StartAudio, Code::StopAudio, Code::SetBufferSize, Code::StartAudio };
        QCOMPARE(codes(rig.device), twoCycles);
        QCOMPARE(setValues(rig.device, Code::SetUsbLatency), (std::vector<std::uint32_t> { 8 }));
        QCOMPARE(setValues(rig.device, Code::SetBufferSize), (std::vector<std::uint32_t> { 64 }));
        QCOMPARE(rig.latency->currentText(), QStringLiteral("8"));
        QCOMPARE(stored(rig.env, QStringLiteral("USB/LatencySize")), QStringLiteral("8"));
        QCOMPARE(stored(rig.env, QStringLiteral("Audio/BufferSize")), QStringLiteral("64"));
        QVERIFY(rig.log.indexOf(QStringLiteral("USB延迟大小设置已保存： 8"))
            < rig.log.indexOf(QStringLiteral("音频缓冲区大小设置成功： 64 samples")));

        // The box already shows 8 while the driver runs 32 again: the latency still comes down first.
        rig.device.setUsbLatency(32);
        rig.device.clearRequests();
        rig.buffer->setCurrentText(QStringLiteral("48"));
        QCOMPARE(codes(rig.device), twoCycles);
        QCOMPARE(rig.device.state().usbLatency, 8u);
        QCOMPARE(rig.device.state().bufferSize, 48u);

        // A latency within the limit stays.
        rig.device.setUsbLatency(16);
        rig.device.clearRequests();
        rig.buffer->setCurrentText(QStringLiteral("128"));
        QCOMPARE(codes(rig.device), kBufferCycle);
    }

    void equalSizeTouchesNeitherDriverNorFile()
    {
        Rig rig;
        rig.device.setBufferSize(256);
        rig.device.clearRequests();
        rig.buffer->setCurrentText(QStringLiteral("256"));
        QCOMPARE(codes(rig.device), (Codes { Code::GetBufferSize }));
        QVERIFY(storedKeys(rig.env).isEmpty());
        QCOMPARE(rig.log.lines().last(), QStringLiteral("当前音频缓冲区大小： 256"));

        // Safe mode has no comparison: each change is a full cycle.
        rig.safeMode->setCurrentText(QStringLiteral("Enabled"));
        rig.safeMode->setCurrentText(QStringLiteral("Disabled"));
        QCOMPARE(codes(rig.device),
            (Codes { Code::GetBufferSize, Code::StopAudio, Code::EnableUsbSlowMode, Code::StartAudio, Code::StopAudio,
                Code::DisableUsbSlowMode, Code::StartAudio }));
        QCOMPARE(stored(rig.env, QStringLiteral("USB/SlowMode")), QStringLiteral("Disabled"));
        QCOMPARE(rig.log.count(QStringLiteral("USB慢速模式设置已保存： Enabled")), 1);
    }

    void storedValuesThatAreNotItemsAreIgnored()
    {
        Rig rig(true, "[Audio]\nBufferSize=100\n[USB]\nLatencySize=12\nSlowMode=Sometimes\n");
        QVERIFY(rig.connected);
        rig.dialog->loadSettings();
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("48"));
        QCOMPARE(rig.latency->currentText(), QStringLiteral("8"));
        QCOMPARE(rig.safeMode->currentText(), QStringLiteral("Disabled"));
        QVERIFY(codes(rig.device).empty());
        QCOMPARE(stored(rig.env, QStringLiteral("Audio/BufferSize")), QStringLiteral("100"));
    }

    void refusedSetStillRestartsAudio()
    {
        Rig rig;
        rig.device.fail(Code::SetBufferSize, emu::FaultMode::Refuse);
        rig.buffer->setCurrentText(QStringLiteral("256"));
        QCOMPARE(codes(rig.device), kBufferCycle);
        QVERIFY(rig.device.state().audioRunning);
        QVERIFY(rig.log.contains(QStringLiteral("设置音频缓冲区大小失败，可能是驱动未正确加载或设备未连接。")));
        QVERIFY(storedKeys(rig.env).isEmpty());
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("256")); // the box keeps the choice

        rig.device.clearRequests();
        rig.device.fail(Code::SetUsbLatency, emu::FaultMode::Refuse);
        rig.latency->setCurrentText(QStringLiteral("24"));
        QCOMPARE(
            codes(rig.device), (Codes { Code::GetUsbLatency, Code::StopAudio, Code::SetUsbLatency, Code::StartAudio }));
        QVERIFY(rig.log.contains(QStringLiteral("设置USB延迟大小失败，可能是驱动未正确加载或设备未连接。")));

        // Set and restart both refused: both failures are logged, nothing is stored.
        rig.device.clearRequests();
        rig.log.clear();
        rig.device.fail(Code::EnableUsbSlowMode, emu::FaultMode::Refuse);
        rig.device.fail(Code::StartAudio, emu::FaultMode::Refuse, 1);
        rig.safeMode->setCurrentText(QStringLiteral("Enabled"));
        QCOMPARE(codes(rig.device), (Codes { Code::StopAudio, Code::EnableUsbSlowMode, Code::StartAudio }));
        QCOMPARE(rig.log.lines(),
            (QStringList {
                QStringLiteral("设置USB慢速模式失败，可能是驱动未正确加载或设备未连接。"), kRestartFailed }));
        QVERIFY(storedKeys(rig.env).isEmpty());
    }

    void asioSizeLandsOnTheGuiThread()
    {
        Rig rig(false);
        emu::AsioPeer asio;
        // A size reported before the device is there is refused; the same size reported once it is
        // there is applied, not skipped as already known.
        QVERIFY(asio.sendStatus(0, 256, 0, 0, 0));
        QTRY_VERIFY(rig.log.contains(QStringLiteral("ASIO Buffer Size changed to: 256")));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("48"));
        QVERIFY(rig.dialog->connectDevice());
        rig.device.clearRequests();

        QThread *handlerThread = nullptr;
        connect(
            rig.buffer, &QComboBox::currentIndexChanged, rig.buffer, [&] { handlerThread = QThread::currentThread(); },
            Qt::DirectConnection);
        QVERIFY(asio.sendStatus(0, 256, 0, 0, 0));
        QTRY_COMPARE(rig.buffer->currentText(), QStringLiteral("256"));
        QCOMPARE(handlerThread, QCoreApplication::instance()->thread());
        QCOMPARE(setValues(rig.device, Code::SetBufferSize), (std::vector<std::uint32_t> { 256 }));
        QTRY_VERIFY(rig.log.contains(QStringLiteral("Pannel ASIO Buffer Size changed to: 256")));
        QVERIFY(rig.log.contains(QStringLiteral("ASIO Buffer Size changed to: 256")));

        // Sizes that are not items change nothing.
        QVERIFY(!rig.dialog->applyAsioBufferSize(100));
        QCOMPARE(rig.log.count(QStringLiteral("Invalid ASIO buffer size.")), 1);
        QCOMPARE(rig.buffer->currentText(), QStringLiteral("256"));

        // Unplugged, the dialog stays online but holds no device: a size reported then is not
        // applied, so the driver's repeat of it after the replug is.
        rig.device.unplug();
        rig.dialog->releaseDevice();
        QVERIFY(asio.sendStatus(0, 512, 0, 0, 0));
        QTRY_COMPARE(rig.buffer->currentText(), QStringLiteral("512"));
        rig.device.plug(2);
        QVERIFY(rig.dialog->connectDevice());
        rig.dialog->loadSettings();
        rig.device.clearRequests();
        QVERIFY(asio.sendStatus(0, 512, 0, 0, 0));
        QTRY_COMPARE(setValues(rig.device, Code::SetBufferSize), (std::vector<std::uint32_t> { 512 }));

        // The open-window request shows the dialog.
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(asio.sendStatus(0, 256, 0, 0, 1));
        QTRY_VERIFY(rig.dialog->isVisible());
        QVERIFY(rig.dialog->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(rig.log.contains(QStringLiteral("Received signal from pipe thread to show settings window.")));
    }

    void errorCountLabel()
    {
        Rig rig;
        auto *label = rig.dialog->findChild<QLabel *>(QStringLiteral("errorLabel"));
        // The count is polled once a second from construction on, shown or not.
        const QList<QTimer *> timers = rig.dialog->findChildren<QTimer *>();
        QCOMPARE(timers.size(), 1);
        QCOMPARE(timers.front()->interval(), 1000);
        QVERIFY(timers.front()->isActive());
        rig.dialog->show();
        QVERIFY(!label->isVisible());
        rig.device.setUsbErrorCount(3);
        QTRY_VERIFY(label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("USB Error Count: 3"));
        rig.device.setUsbErrorCount(0);
        QTRY_VERIFY(!label->isVisible());

        rig.device.fail(Code::ReadUsbStatus, emu::FaultMode::Refuse);
        QTRY_VERIFY(rig.log.contains(QStringLiteral("Failed to read meter data from driver.")));
    }

    void startupMonitorSequence()
    {
        Rig rig;
        emu::AudioServicePeer service;
        QVERIFY(service.start());
        rig.device.setBufferSize(192);
        rig.device.clearRequests();

        rig.dialog->applyStartupSettings();
        QVERIFY(service.waitForCommands(1, 15000));
        QCOMPARE(service.commands(), std::vector<std::string> { "STOP_MONITOR" });
        QCOMPARE(codes(rig.device), (Codes { Code::GetBufferSize, Code::StartAudio }));
        auto *timer = rig.dialog->findChild<QTimer *>(QStringLiteral("startupTimer"));
        QVERIFY(timer);
        QVERIFY(timer->isSingleShot());
        QVERIFY(timer->isActive());
        QCOMPARE(timer->interval(), 20000);

        // Fire it now rather than in 20 s.
        timer->start(0);
        QTRY_COMPARE(service.commands().size(), std::size_t(2));
        QCOMPARE(service.commands(), (std::vector<std::string> { "STOP_MONITOR", "START_MONITOR" }));
        QCOMPARE(codes(rig.device), (Codes { Code::GetBufferSize, Code::StartAudio, Code::StartAudio }));
        QTRY_COMPARE(rig.log.count(QStringLiteral("初始化设置完成")), 1);
        QTRY_VERIFY(!rig.dialog->findChild<QTimer *>(QStringLiteral("startupTimer")));

        // Reconnecting many times leaves no timers behind.
        rig.dialog->setStartupDelay(10);
        for (int i = 0; i < 5; ++i) {
            QVERIFY(rig.dialog->connectDevice());
            rig.dialog->applyStartupSettings();
        }
        QTRY_COMPARE(rig.log.count(QStringLiteral("初始化设置完成")), 6);
        QTRY_COMPARE(rig.dialog->findChildren<QTimer *>().size(), 1); // the status poll
        QTRY_COMPARE(service.commands().size(), std::size_t(12));

        // Offline when it fires: no start, no "START_MONITOR".
        rig.device.unplug();
        QVERIFY(!rig.dialog->connectDevice());
        service.clear();
        rig.log.clear();
        rig.dialog->applyStartupSettings();
        QTRY_COMPARE(rig.log.count(QStringLiteral("初始化设置完成")), 1);
        QVERIFY(rig.log.indexOf(QStringLiteral("Device is not on line.")) >= 0);
        QTest::qWait(100);
        QCOMPARE(service.commands(), std::vector<std::string> { "STOP_MONITOR" });

        // The main window's stop request.
        QVERIFY(rig.dialog->stopMonitor());
        QVERIFY(service.waitForCommands(2, 15000));
    }

    void okSendsTheAsioReset()
    {
        Rig rig;
        emu::AsioPeer asio;
        QVERIFY(asio.start());
        rig.dialog->show();
        QTest::mouseClick(rig.dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
        QVERIFY(!rig.dialog->isVisible());
        QVERIFY(asio.waitForResets(1, 15000));
        QCOMPARE(asio.resets().front(), std::vector<std::uint8_t> { 0x31 });
        const int sent = rig.log.indexOf(QStringLiteral("ASIO reset signal sent successfully."));
        QVERIFY(sent >= 0);
        QCOMPARE(rig.log.indexOf(QStringLiteral("设置通知ASIO逻辑")), sent + 1);
        QVERIFY(storedKeys(rig.env).isEmpty());

        // Without the ASIO driver only the open failure is logged.
        asio.stop();
        rig.log.clear();
        rig.dialog->show();
        QTest::mouseClick(rig.dialog->findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
        QCOMPARE(rig.log.count(QStringLiteral("Error: Could not open pipe. Error code: 2")), 1);
        QVERIFY(!rig.log.contains(QStringLiteral("Pipe opened successfully.")));
        QVERIFY(!rig.log.contains(QStringLiteral("ASIO reset signal")));
        QVERIFY(!rig.log.contains(QStringLiteral("设置通知ASIO逻辑")));
    }

    void destructionStopsTheListenerFirst()
    {
        Rig rig;
        QTest::qWait(50);
        rig.dialog.reset();
        const int pipeClosed = rig.log.indexOf(QStringLiteral("Pipe closed."));
        QVERIFY(pipeClosed >= 0);
        QVERIFY(pipeClosed < rig.log.indexOf(QStringLiteral("Settings dialog closed and resources cleaned up.")));
        // The listener's socket is gone with it.
        QTRY_VERIFY(!QFileInfo::exists(rig.env.runtimeDir() + QStringLiteral("/pipe/OrvelinASIOToPannel")));
    }
};

QTEST_MAIN(tst_Settings)
#include "tst_Settings.moc"
