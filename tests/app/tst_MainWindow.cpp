#include "app/ConsoleOwnership.h"
#include "app/MainWindow.h"
#include "controls/Button.h"
#include "emulator/Emulator.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "panels/ka2se.h"
#include "panels/kv.h"
#include "platform/PipePort.h"
#include "settings/PipeServer.h"
#include "settings/Settings.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QProcess>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>
#include <QtTest>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/prctl.h>
#include <sys/resource.h>

// Detection once a second, the model table and titles, the status texts, and the presence check
// that tears the panel down after the third failed read in a row. The ticks are called directly;
// one test checks that the timers really drive them.
class tst_MainWindow : public QObject
{
    Q_OBJECT

private:
    // The window's own timers: detection every 1000 ms, the presence check every 400 ms.
    static QTimer *windowTimer(QWidget *window, int interval)
    {
        for (QTimer *t : window->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly))
            if (t->interval() == interval)
                return t;
        return nullptr;
    }
    static bool activeTimer(QWidget *window, int interval)
    {
        QTimer *t = windowTimer(window, interval);
        return t && t->isActive();
    }

    struct Rig
    {
        testsupport::IsolatedEnvironment env;
        testsupport::LogCapture log;
        emu::Emulator emulator { env.runtimeDir().toStdString(), 1 };
        std::unique_ptr<Settings> settings;
        std::unique_ptr<MainWindow> window; // goes before the settings dialog it was given
        bool listenerWaiting = false;

        explicit Rig(bool withDevice = true)
        {
            emulator.setFirmware("V1.2.3.456");
            if (withDevice)
                emulator.start();
            settings = std::make_unique<Settings>();
            window = std::make_unique<MainWindow>();
            window->setSettings(settings.get());
            // The dialog's listener announces its first wait on its own schedule; let it speak
            // before any test compares whole logs.
            listenerWaiting = QTest::qWaitFor(
                [this] { return log.contains(QStringLiteral("ThreadSettingsPip is running waiting Asio Info...")); },
                5000);
        }
        QTimer *timer(int interval) const { return windowTimer(window.get(), interval); }
        bool detecting() const { return activeTimer(window.get(), 1000); }
        bool watching() const { return activeTimer(window.get(), 400); }
        // What the layout shows once the removed widgets are really gone.
        QStringList shown() const
        {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QStringList items;
            const auto children
                = window->centralWidget()->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
            for (QWidget *w : children) {
                if (auto *label = qobject_cast<QLabel *>(w))
                    items << label->text();
                else
                    items << QString::fromLatin1(w->metaObject()->className());
            }
            return items;
        }
    };

private slots:
    void startsSearchingWithItsTimers()
    {
        Rig rig(false);
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin Driver"));
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("No Device Connect!") });
        QVERIFY(rig.detecting());
        QVERIFY(!rig.watching());
        QVERIFY(rig.timer(400));
        // The detection timer itself drives the step, about once a second.
        QTRY_VERIFY_WITH_TIMEOUT(rig.log.count(QStringLiteral("Failed to connect to driver.")) >= 1, 15000);
    }

    void knownModelsBuildTheirPanelAndTitle_data()
    {
        QTest::addColumn<std::uint32_t>("code");
        QTest::addColumn<QString>("panel");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("addedLine");
        const QString added = QStringLiteral("Adding %1 widget to layout.");
        QTest::newRow("KA1") << 1u << "ka1" << QStringLiteral("Orvelin KA1 - FW: V1.2.3.456") << added.arg("ka1");
        QTest::newRow("KA2") << 2u << "ka2" << QStringLiteral("Orvelin KA2 - FW: V1.2.3.456") << added.arg("ka2");
        QTest::newRow("KA2 SE") << 18u << "ka2se" << QStringLiteral("Orvelin KA2 SE - FW: V1.2.3.456") << QString();
        QTest::newRow("KV") << 15u << "kv" << QStringLiteral("Orvelin KV - FW: V1.2.3.456") << added.arg("kv");
    }
    void knownModelsBuildTheirPanelAndTitle()
    {
        QFETCH(std::uint32_t, code);
        QFETCH(QString, panel);
        QFETCH(QString, title);
        QFETCH(QString, addedLine);
        Rig rig;
        rig.emulator.plug(code);
        QSignalSpy built(rig.window.get(), &MainWindow::panelBuilt);
        rig.window->detectDevice();

        QCOMPARE(rig.shown(), QStringList { panel });
        QCOMPARE(rig.window->windowTitle(), title);
        // The panel is announced with its controls, its model and the firmware the title shows.
        QCOMPARE(built.size(), 1);
        QVERIFY(!built[0][0].value<ControlTable *>()->rows().empty());
        QCOMPARE(built[0][1].toString(), QString::fromLatin1(QTest::currentDataTag()));
        QCOMPARE(built[0][2].toString(), QStringLiteral("V1.2.3.456"));
        QVERIFY(rig.log.contains(QStringLiteral("Device PID: %1").arg(code)));
        QVERIFY(rig.log.contains(QStringLiteral("Device found with PID: %1").arg(code)));
        QCOMPARE(rig.log.contains(QStringLiteral("widget to layout.")), !addedLine.isEmpty());
        if (!addedLine.isEmpty())
            QCOMPARE(rig.log.count(addedLine), 1);
        QVERIFY(!rig.detecting());
        QVERIFY(rig.watching());
    }

    // Nothing shows the focus or takes keys until the first Tab, also after the panel changed.
    void windowHoldsTheFocusUntilTheFirstTab()
    {
        Rig rig;
        rig.emulator.plug(2);
        rig.window->detectDevice();
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowActive(rig.window.get()));
        QCOMPARE(QApplication::focusWidget(), rig.window.get());
        QTest::keyClick(rig.window.get(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QStringLiteral("mic1Knob"));
        rig.emulator.plug(15);
        rig.window->detectDevice(); // as after a failed firmware read: a new panel in place of the old
        QCOMPARE(QApplication::focusWidget(), rig.window.get());
    }

    void chinesePanelsAreTranslated()
    {
        QTranslator chinese;
        QVERIFY(chinese.load(QStringLiteral(ORVELIN_QM_DIR "/OrvelinDriver_zh_CN.qm")));
        QCoreApplication::installTranslator(&chinese);
        {
            Rig rig(false);
            QCOMPARE(rig.shown(), QStringList { QStringLiteral("未连接设备！") });
        }
        // Each panel's first title, in its own translation context.
        for (const auto &[code, title] : { std::pair<std::uint32_t, const char *> { 1u, "输入" }, { 2u, "麦克风 1" },
                 { 18u, "麦克风 1" }, { 15u, "麦克风" } }) {
            Rig rig;
            rig.emulator.plug(code);
            rig.window->detectDevice();
            QCOMPARE(rig.shown().size(), 1);
            QCOMPARE(rig.window->centralWidget()->findChild<QLabel *>()->text(), QString::fromUtf8(title));
            QWidget *panel = rig.window->centralWidget()->findChild<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
            QStringList texts;
            for (const QLabel *label : panel->findChildren<QLabel *>())
                texts << label->text();
            for (const Button *button : panel->findChildren<Button *>())
                texts << button->text();
            if (code == 1) {
                for (const char *text : { "输入", "增益", "麦克风", "直接监听", "耳机", "音量", "手机到耳机音量" })
                    QVERIFY2(texts.contains(QString::fromUtf8(text)), text);
                QVERIFY(!texts.contains(QStringLiteral("INPUT")));
                auto *instrument = panel->findChild<Button *>(QStringLiteral("micInstrumentButton"));
                instrument->setSelected(true);
                QCOMPARE(instrument->text(), QStringLiteral("乐器"));
            } else if (code == 15) {
                // The KV's title is translated, its headphone title is not.
                QVERIFY(texts.contains(QStringLiteral("麦克风")));
                QVERIFY(texts.contains(QStringLiteral("HEADPHONE")));
            }
        }
        QCoreApplication::removeTranslator(&chinese);
    }

    void closingWithoutATrayEndsTheLoop()
    {
        // Without a tray nothing could bring a hidden window back: closing it ends the event loop
        // with 0 instead of hiding it.
        QVERIFY(!QSystemTrayIcon::isSystemTrayAvailable());
        Rig rig(false);
        rig.window->show();
        QEventLoop loop;
        QTimer::singleShot(0, rig.window.get(), [&rig] { rig.window->close(); });
        QTimer::singleShot(5000, &loop, [&loop] { loop.exit(1); });
        QCOMPARE(loop.exec(), 0);
        QVERIFY(!rig.window->isVisible());
    }

    void versionCharactersAreTakenLiterally()
    {
        // Each version byte is one title character, even one that looks like a place marker.
        Rig rig;
        rig.emulator.setFirmware("%1%2%3%10X");
        rig.window->detectDevice();
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin KA1 - FW: %1%2%3%10X"));
    }

    // Model 0 changes nothing; an unknown model is reported at every step.
    void modelZeroOrUnknownKeepsSearching()
    {
        for (const auto &[code, logged, shown] :
            { std::tuple<std::uint32_t, const char *, const char *> { 0u, "Device PID: 0", "No Device Connect!" },
                { 7u, "Unknown device PID: 7", "未知设备，请检查连接！" } }) {
            Rig rig;
            rig.emulator.plug(code);
            rig.window->detectDevice();
            rig.window->detectDevice();
            QCOMPARE(rig.log.count(QString::fromUtf8(logged)), 2);
            QCOMPARE(rig.shown(), QStringList { QString::fromUtf8(shown) });
            QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin Driver"));
            QVERIFY(rig.detecting());
            QVERIFY(!rig.watching());
        }
    }

    void unreadableFirmwareRebuildsThePanelUntilItReads()
    {
        Rig rig;
        rig.emulator.plug(2);
        rig.emulator.fail(Code::GetFirmwareVersion, emu::FaultMode::Refuse);
        rig.window->detectDevice();
        rig.window->detectDevice();
        QCOMPARE(rig.log.count(QStringLiteral("Failed to get firmware version.")), 2);
        QCOMPARE(
            rig.shown(), (QStringList { QStringLiteral("ka2"), QStringLiteral("获取固件版本失败，请检查连接！") }));
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin Driver"));
        // Each retry connects the settings dialog and applies its settings again.
        QCOMPARE(rig.log.count(QStringLiteral("已从配置文件加载控件状态")) >= 2, true);
        QVERIFY(rig.detecting());
        QVERIFY(!rig.watching());

        rig.emulator.fail(Code::GetFirmwareVersion, emu::FaultMode::Off);
        rig.window->detectDevice();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka2") });
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin KA2 - FW: V1.2.3.456"));
        QVERIFY(!rig.detecting());
        QVERIFY(rig.watching());
    }

    void thirdFailedPresenceReadTearsDown()
    {
        Rig rig;
        rig.window->detectDevice();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });

        // One failure between good reads is forgiven.
        rig.emulator.fail(Code::GetDevicePid, emu::FaultMode::Refuse, 2);
        rig.window->checkPresence();
        rig.window->checkPresence();
        rig.window->checkPresence();
        QCOMPARE(rig.log.count(QStringLiteral("Error reading device PID from driver, error count: 2")), 1);
        rig.emulator.fail(Code::GetDevicePid, emu::FaultMode::Refuse, 2);
        rig.window->checkPresence();
        rig.window->checkPresence();
        QCOMPARE(rig.log.count(QStringLiteral("Error reading device PID from driver, error count: 2")), 2);
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });
        rig.window->checkPresence();

        rig.emulator.unplug();
        rig.log.clear();
        rig.window->checkPresence();
        rig.window->checkPresence();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });
        QVERIFY(rig.watching());
        QVERIFY(rig.settings->holdsDevice());
        rig.window->checkPresence();
        QVERIFY(rig.listenerWaiting);
        // Neither the window nor the settings dialog keeps a handle to the removed device.
        QVERIFY(!rig.settings->holdsDevice());
        QCOMPARE(rig.log.lines(),
            QStringList({ QStringLiteral("Error reading device PID from driver, error count: 1"),
                QStringLiteral("Error reading device PID from driver, error count: 2"),
                QStringLiteral("Error reading device PID from driver, error count: 3"),
                QStringLiteral("Meter driver handle deleted."),
                QStringLiteral("Cleared all widgets from base layout.") }));
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("声卡未连接！") });
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin KA1 - FW: V1.2.3.456"));
        QVERIFY(rig.detecting());
        QVERIFY(!rig.watching());

        // Plugged back in: found again by the next detection step.
        rig.emulator.plug(15);
        rig.window->detectDevice();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("kv") });
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin KV - FW: V1.2.3.456"));

        // The new channel counts its failures from zero: one failed read keeps the panel.
        rig.log.clear();
        rig.emulator.fail(Code::GetDevicePid, emu::FaultMode::Refuse, 1);
        rig.window->checkPresence();
        QVERIFY(rig.log.contains(QStringLiteral("Error reading device PID from driver, error count: 1")));
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("kv") });

        // The shown window takes the size of what it shows, smaller as well as larger.
        rig.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(rig.window.get()));
        const auto replug = [&rig](std::uint32_t model) {
            rig.emulator.unplug();
            for (int tick = 0; tick < 3 && rig.watching(); ++tick)
                rig.window->checkPresence();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            const int searching = rig.window->width();
            rig.emulator.plug(model);
            rig.window->detectDevice();
            return searching;
        };
        const int kvWidth = rig.window->width();
        QVERIFY(replug(2) < kvWidth);
        const int ka2Width = rig.window->width();
        QVERIFY(ka2Width > kvWidth);
        replug(1);
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });
        QCOMPARE(rig.window->size(), rig.window->sizeHint());
        QVERIFY(rig.window->width() < ka2Width);
    }

    void sessionDecision_data()
    {
        QTest::addColumn<uint>("own");
        QTest::addColumn<uint>("console");
        QTest::addColumn<bool>("remote");
        QTest::addColumn<bool>("drives");
        QTest::newRow("the console session") << 1u << 1u << false << true;
        QTest::newRow("another user on the console") << 1u << 2u << false << false;
        QTest::newRow("the console being switched") << 1u << uint(platform::kNoConsoleSession) << false << false;
        QTest::newRow("remote desktop") << 3u << 1u << true << false;
        QTest::newRow("remote desktop claiming the console") << 3u << 3u << true << false;
    }
    void sessionDecision()
    {
        QFETCH(uint, own);
        QFETCH(uint, console);
        QFETCH(bool, remote);
        QFETCH(bool, drives);
        QCOMPARE(platform::sessionDrivesDevice({ own, console, remote }), drives);
    }

    // Another user's session takes the console: the panel lets go of the device and the ASIO
    // driver's pipe; back on the console it finds the device as at a replug.
    void handOverToAnotherSessionAndBack()
    {
        Rig rig;
        rig.window->detectDevice();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });
        // Linux always says console: the panel drives the device from the start.
        ConsoleOwnership ownership(0);
        ownership.refresh();
        QVERIFY(ownership.drivesDevice());
        connect(&ownership, &ConsoleOwnership::drivesDeviceChanged, rig.window.get(), &MainWindow::setDrivesDevice);
        rig.log.clear();

        ownership.apply({ 1, 2, false });
        ownership.apply({ 1, platform::kNoConsoleSession, false });
        QCOMPARE(rig.log.lines().filter(QStringLiteral("Device ")),
            QStringList { QStringLiteral("Device handed over: session 1 is not the console session (2).") });
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("No Device Connect!") });
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Orvelin Driver"));
        QVERIFY(!rig.detecting() && !rig.watching());
        QVERIFY(!rig.settings->holdsDevice());
        // The ASIO driver's pipe is free for the other session's panel.
        QVERIFY(PipeServer(platform::kAsioToPanelPipe).create());
        // Nothing reaches the device any more, whoever calls.
        rig.emulator.clearRequests();
        rig.window->detectDevice();
        rig.window->checkPresence();
        QTest::qWait(1200);
        QCOMPARE(rig.emulator.requests().size(), size_t(0));

        ownership.apply({ 1, 1, false });
        QVERIFY(rig.log.contains(QStringLiteral("Device taken over: session 1 is the console session.")));
        QVERIFY(rig.detecting());
        QVERIFY(!PipeServer(platform::kAsioToPanelPipe).create());
        rig.window->detectDevice();
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("ka1") });
        QVERIFY(rig.settings->holdsDevice());
        // Restored and resent as at a replug: every control goes to the device again.
        QVERIFY(rig.emulator.requests().size() > 10);

        // A remote-desktop session never drives it, even one the system calls the console.
        ownership.apply({ 1, 1, true });
        QVERIFY(rig.log.contains(QStringLiteral("Device handed over: session 1 is a remote-desktop session.")));
        QVERIFY(!rig.settings->holdsDevice());
    }

    void noDriverStopsMonitoringEverySecond()
    {
        Rig rig(false);
        rig.window->detectDevice();
        rig.window->detectDevice();
        QCOMPARE(rig.log.count(QStringLiteral("Failed to connect to driver.")), 2);
        // The settings dialog tried "STOP_MONITOR" each time; no audio service listens here.
        QCOMPARE(rig.log.count(QStringLiteral("Could not open pipe. Is Audio Service running? Error: 2")), 2);
        QCOMPARE(rig.shown(), QStringList { QStringLiteral("No Device Connect!") });
        QVERIFY(rig.detecting());
    }

    void settingsDialogThatCannotConnectStartsThePresenceCheck()
    {
        testsupport::IsolatedEnvironment env;
        testsupport::LogCapture log;
        // The device runs in its own process, so no socket of this process opens behind our back.
        QProcess device;
        device.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
        device.start(QStringLiteral(ORVELIN_EMULATOR_EXE),
            { QStringLiteral("--model"), QStringLiteral("2"), QStringLiteral("--firmware"),
                QStringLiteral("V9.8.7.654"), QStringLiteral("--log"), env.root() + QStringLiteral("/requests.log") });
        QVERIFY(device.waitForReadyRead(5000));
        Settings settings;
        MainWindow window;
        window.setSettings(&settings);
        // The dialog's listener thread must be up first: starting a thread opens descriptors.
        QTRY_VERIFY(log.contains(QStringLiteral("ThreadSettingsPip is running waiting Asio Info...")));

        // Leave exactly one free descriptor: the probe's open takes it and keeps it, so the
        // dialog's own open that follows fails.
        struct rlimit saved;
        QVERIFY(::getrlimit(RLIMIT_NOFILE, &saved) == 0);
        int limit = 0;
        while (::fcntl(limit, F_GETFD) != -1)
            ++limit;
        ++limit;
        struct rlimit tight = saved;
        tight.rlim_cur = static_cast<rlim_t>(limit);
        QVERIFY(::setrlimit(RLIMIT_NOFILE, &tight) == 0);
        struct Restore
        {
            const struct rlimit &limit;
            ~Restore() { ::setrlimit(RLIMIT_NOFILE, &limit); }
        } restore { saved };
        window.detectDevice();

        QCOMPARE(log.count(QStringLiteral("Device PID: 2")), 1);
        QCOMPARE(log.count(QStringLiteral("Failed to connect to driver in settings window.")), 1);
        QVERIFY(!log.contains(QStringLiteral("Adding ka2 widget to layout.")));
        QVERIFY(window.findChildren<ka2 *>().isEmpty());
        QVERIFY(activeTimer(&window, 1000));
        QVERIFY(activeTimer(&window, 400));

        // The detection step repeats every second and renews the presence channel, while the
        // presence check fails every 400 ms: the failures still add up to a teardown.
        window.checkPresence();
        window.checkPresence();
        window.detectDevice();
        window.checkPresence();
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QCOMPARE(log.count(QStringLiteral("Failed to connect to driver in settings window.")), 2);
        QCOMPARE(log.count(QStringLiteral("Error reading device PID from driver, error count: 3")), 1);
        QVERIFY(log.contains(QStringLiteral("Cleared all widgets from base layout.")));
        QVERIFY(!activeTimer(&window, 400));

        // With descriptors to spare the next step succeeds.
        window.detectDevice();
        QCOMPARE(window.windowTitle(), QStringLiteral("Orvelin KA2 - FW: V9.8.7.654"));
        device.write("quit\n");
        QVERIFY(device.waitForFinished(5000));
    }
};

QTEST_MAIN(tst_MainWindow)
#include "tst_MainWindow.moc"
