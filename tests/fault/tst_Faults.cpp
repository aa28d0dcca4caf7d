#include "app/MainWindow.h"
#include "controls/Knob.h"
#include "emulator/AsioPeer.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "platform/PipePort.h"
#include "settings/Settings.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/PanelRig.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QtTest>

#include <csignal>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Root passes every permission check. While this object lives the calling thread gives that up,
// so a read-only folder is read-only for root too.
class PermissionChecks
{
public:
    PermissionChecks()
    {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        active = ::syscall(SYS_capget, &header, saved) == 0;
        if (!active)
            return;
        __user_cap_data_struct reduced[2] = { saved[0], saved[1] };
        reduced[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH) | (1u << CAP_FOWNER));
        ::syscall(SYS_capset, &header, reduced);
    }
    ~PermissionChecks()
    {
        if (active)
            ::syscall(SYS_capset, &header, saved);
    }

private:
    __user_cap_header_struct header {};
    __user_cap_data_struct saved[2] {};
    bool active = false;
};

// The disk is full for this process: no file can take another byte, and a write fails (EFBIG)
// instead of ending the process.
class FullDisk
{
public:
    FullDisk()
    {
        ::getrlimit(RLIMIT_FSIZE, &saved);
        previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limited = saved;
        limited.rlim_cur = 0;
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FullDisk()
    {
        ::setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);
    }

private:
    rlimit saved {};
    void (*previous)(int) = nullptr;
};

void setMode(const QString &path, mode_t mode)
{
    ::chmod(QFile::encodeName(path).constData(), mode);
}

QString warning(const QString &path, const char *error)
{
    return QStringLiteral("Failed to write settings file: %1 (%2)").arg(path, QLatin1String(error));
}

// The thread that logged the pipe read's time-out, and the handler it hands the line on to.
QThread *readTimeoutThread = nullptr;
QtMessageHandler previousHandler = nullptr;

// Requests the device left unanswered, each of which cost the program one time-out.
int silentRequests(const PanelRig &rig)
{
    int count = 0;
    for (const emu::RequestRecord &r : rig.emulator.requests())
        count += r.result == "silent" ? 1 : 0;
    return count;
}

} // namespace

// Faults around the program: a settings folder it cannot write, a full disk, a driver that stops
// answering and a pipe peer that never writes. The program goes on and loses no setting.
class tst_Faults : public QObject
{
    Q_OBJECT

private slots:
    void readOnlyFolderKeepsChangesUntilItCanWrite();
    void fullDiskLeavesTheLastWholeFile();
    void silentDriverCostsOneTimeOutPerChannel();
    void silentPipePeerDelaysOnlyTheListener();
    void damagedDialogFileIsKeptAside();
};

void tst_Faults::readOnlyFolderKeepsChangesUntilItCanWrite()
{
    PanelRig rig(2);
    rig.store("/ka2.ini", { { "Dial/SpeakerValue", -10 } });
    rig.store("/setting.ini", { { "Audio/BufferSize", "128" } });
    const QString folder = rig.env.appDataDir();
    const QString panelFile = rig.iniPath("/ka2.ini");
    const QString dialogFile = rig.iniPath("/setting.ini");
    const QByteArray panelBefore = testsupport::onDisk(panelFile);
    const QByteArray dialogBefore = testsupport::onDisk(dialogFile);
    setMode(panelFile, 0444);
    setMode(dialogFile, 0444);
    setMode(folder, 0555);
    testsupport::LogCapture log;

    auto readOnly = std::make_unique<PermissionChecks>();
    auto panel = std::make_unique<ka2>();
    Settings dialog;
    QVERIFY(dialog.connectDevice());
    // Restoring reads the file and sends what it holds; each of its writes is refused.
    QCOMPARE(rig.lastCell(65536), 0.31622776601683794);
    const int refused = log.count(warning(panelFile, "Permission denied"));
    QVERIFY(refused >= 16);

    panel->findChild<Knob *>("speakerKnob")->setValue(-20);
    dialog.findChild<QComboBox *>("bufferBox")->setCurrentText("256");
    QCOMPARE(rig.lastCell(65536), 0.1);
    QCOMPARE(rig.emulator.state().bufferSize, 256u);
    QCOMPARE(log.count(warning(panelFile, "Permission denied")), refused + 1);
    QCOMPARE(log.count(warning(dialogFile, "Permission denied")), 1);
    QCOMPARE(testsupport::onDisk(panelFile), panelBefore);
    QCOMPARE(testsupport::onDisk(dialogFile), dialogBefore);
    // The program keeps the values: every reader in it sees them.
    QCOMPARE(QSettings(panelFile, QSettings::IniFormat).value("Dial/SpeakerValue").toInt(), -20);

    readOnly.reset();
    setMode(folder, 0700);
    setMode(panelFile, 0600);
    setMode(dialogFile, 0600);
    log.clear();
    // The next change of each writes everything held back.
    panel->findChild<Knob *>("headphoneKnob")->setValue(-30);
    dialog.findChild<QComboBox *>("latencyBox")->setCurrentText("32");
    QVERIFY(!log.contains("Failed to write settings file:"));
    const QByteArray panelAfter = testsupport::onDisk(panelFile);
    QVERIFY(panelAfter.contains("SpeakerValue=-20\n"));
    QVERIFY(panelAfter.contains("HeadphoneValue=-30\n"));
    QCOMPARE(panelAfter.count('='), 16);
    const QByteArray dialogAfter = testsupport::onDisk(dialogFile);
    QVERIFY(dialogAfter.contains("BufferSize=256\n"));
    QVERIFY(dialogAfter.contains("LatencySize=32\n"));
}

void tst_Faults::fullDiskLeavesTheLastWholeFile()
{
    PanelRig rig(1);
    ka1 panel;
    const QString path = rig.iniPath("/ka1.ini");
    auto *headphone = panel.findChild<Knob *>("headphoneKnob");
    headphone->setValue(-10);
    const QByteArray before = testsupport::onDisk(path);
    QVERIFY(before.contains("HeadphoneValue=-10\n"));
    testsupport::LogCapture log;
    {
        FullDisk full;
        headphone->setValue(-20);
    }
    QCOMPARE(log.lines(), QStringList({ "Headphone volume set to: 0.1", warning(path, "File too large") }));
    QCOMPARE(rig.lastCell(65536), 0.1);
    // The file is replaced whole or not at all.
    QCOMPARE(testsupport::onDisk(path), before);
    QCOMPARE(QDir(rig.env.appDataDir()).entryList(QDir::Files), QStringList({ "ka1.ini" }));

    panel.findChild<Knob *>("micKnob")->setValue(5);
    const QByteArray after = testsupport::onDisk(path);
    QVERIFY(after.contains("HeadphoneValue=-20\n"));
    QVERIFY(after.contains("MicValue=5\n"));
}

void tst_Faults::silentDriverCostsOneTimeOutPerChannel()
{
    PanelRig rig(2);
    testsupport::LogCapture log;
    Settings settings;
    settings.setStartupDelay(60000);
    MainWindow window;
    window.setSettings(&settings);
    window.detectDevice();
    ka2 *panel = window.findChild<ka2 *>();
    QVERIFY(panel);
    auto *speaker = panel->findChild<Knob *>("speakerKnob");

    for (std::uint32_t code : Code::all)
        rig.emulator.fail(code, emu::FaultMode::Silent);
    rig.emulator.clearRequests();
    QElapsedTimer clock;
    clock.start();
    speaker->setValue(-12);
    QVERIFY(clock.elapsed() >= 1900);
    QCOMPARE(silentRequests(rig), 1); // one time-out, not two
    QVERIFY(log.contains("Failed to set speaker volume."));
    // The channel is closed after its time-out, so the next request fails at once: the device
    // never sees it.
    rig.emulator.clearRequests();
    speaker->setValue(-13);
    QCOMPARE(silentRequests(rig), 0);
    QVERIFY(testsupport::onDisk(rig.iniPath("/ka2.ini")).contains("SpeakerValue=-13\n"));

    // The presence check gives up on the silent device and the panel goes.
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("Cleared all widgets from base layout."), 15000);

    // Answering again, the device gets its panel back with the value saved while it was silent.
    for (std::uint32_t code : Code::all)
        rig.emulator.fail(code, emu::FaultMode::Off);
    QTRY_COMPARE_WITH_TIMEOUT(log.count("Device found with PID: 2"), 2, 15000);
    QVERIFY(qAbs(rig.lastCell(65536) - 0.223872113856834) < 1e-12);
}

void tst_Faults::silentPipePeerDelaysOnlyTheListener()
{
    PanelRig rig(2);
    testsupport::LogCapture log;
    Settings dialog;
    QVERIFY(dialog.connectDevice());
    QTRY_VERIFY(log.contains("ThreadSettingsPip is running waiting Asio Info..."));

    const platform::PortHandle silent = platform::pipeOpen(platform::kAsioToPanelPipe);
    QVERIFY(silent != platform::kInvalidHandle);
    emu::AsioPeer asio;
    readTimeoutThread = nullptr;
    previousHandler
        = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
              if (text.contains("Error code: 121"))
                  readTimeoutThread = QThread::currentThread();
              previousHandler(type, context, text);
          });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(asio.sendStatus(0, 256, 0, 0, 0));
    auto *box = dialog.findChild<QComboBox *>("bufferBox");
    QTRY_COMPARE_WITH_TIMEOUT(box->currentText(), QString("256"), 30000);
    platform::pipeClose(silent);
    QCOMPARE(box->currentText(), QString("256"));
    QVERIFY(clock.elapsed() >= 1900);
    // The read's time-out never lands on the GUI thread: the listener's thread logs it.
    QVERIFY(readTimeoutThread != nullptr);
    QVERIFY(readTimeoutThread != QThread::currentThread());
    qInstallMessageHandler(previousHandler);
    QCOMPARE(log.count("Error reading from pipe. Error code: 121"), 1);
    QCOMPARE(rig.emulator.state().bufferSize, 256u);
}

void tst_Faults::damagedDialogFileIsKeptAside()
{
    PanelRig rig(2);
    const QString path = rig.iniPath("/setting.ini");
    const QByteArray damaged("\x00\xff[USB\nLatencySize=24\n[Audio]\nBufferSize=256\n", 45);
    QVERIFY(testsupport::writeFile(path, damaged));
    testsupport::LogCapture log;
    Settings dialog;
    QCOMPARE(log.count("Settings file damaged, a copy is kept as: " + path + ".damaged"), 1);
    QCOMPARE(testsupport::onDisk(path + ".damaged"), damaged);
    // What could be read still counts, and the next change writes a clean file.
    QVERIFY(dialog.connectDevice());
    dialog.loadSettings();
    QCOMPARE(rig.emulator.state().bufferSize, 256u);
    dialog.findChild<QComboBox *>("safeModeBox")->setCurrentText("Enabled");
    const QByteArray rewritten = testsupport::onDisk(path);
    QVERIFY(rewritten.contains("[Audio]\nBufferSize=256\n"));
    QVERIFY(rewritten.contains("[USB]\nSlowMode=Enabled\n"));
    QVERIFY(!rewritten.contains('\0'));
}

QTEST_MAIN(tst_Faults)
#include "tst_Faults.moc"
