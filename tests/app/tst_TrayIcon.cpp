#include "app/TrayIcon.h"
#include "emulator/Emulator.h"
#include "settings/Settings.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/TestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

// Runs `action` and answers the warning box it opens; returns its title and text, an empty title
// when no box opened.
template <typename Action> QStringList answerBox(Action action)
{
    QStringList seen { QString(), QString() };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen = QStringList { box->windowTitle(), box->text() };
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(!box->parentWidget());
            box->button(QMessageBox::Ok)->click();
        }
    });
    poll.start(20);
    action();
    return seen;
}

// PATH is an empty folder for stand-in programs while this lives.
struct StandInPath
{
    QTemporaryDir bin;
    const QByteArray saved = qgetenv("PATH");
    StandInPath() { qputenv("PATH", QFile::encodeName(bin.path())); }
    ~StandInPath() { qputenv("PATH", saved); }
    // A shell script the owner may run.
    bool add(const QString &name, const QByteArray &script)
    {
        const QString path = bin.filePath(name);
        return testsupport::writeFile(path, script) && QFile::setPermissions(path, QFile::ReadOwner | QFile::ExeOwner);
    }
};

} // namespace

// The tray menu: its entries, the sample-rate and firmware handlers against the emulated device,
// the boxes for missing windows and for sound settings that cannot open, and the shell restart.
class tst_TrayIcon : public QObject
{
    Q_OBJECT

private:
    static QAction *entry(TrayIcon &tray, const QString &text)
    {
        const auto actions = tray.contextMenu()->actions();
        for (QAction *action : actions) {
            if (action->text() == text)
                return action;
            if (action->menu()) {
                for (QAction *sub : action->menu()->actions())
                    if (sub->text() == text)
                        return sub;
            }
        }
        return nullptr;
    }

    static QList<std::uint32_t> codes(const emu::Emulator &emulator)
    {
        QList<std::uint32_t> all;
        for (const emu::RequestRecord &r : emulator.requests())
            all << r.code;
        return all;
    }

private slots:
    void menuEntriesInOrder()
    {
        QGuiApplication::setQuitOnLastWindowClosed(true);
        TrayIcon tray;
        QVERIFY(!QGuiApplication::quitOnLastWindowClosed());
        QVERIFY(!tray.icon().isNull());

        QStringList texts;
        const auto actions = tray.contextMenu()->actions();
        for (QAction *action : actions)
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts,
            QStringList({ "Quit", "-", "Set Samplerate", "-", "Setup", "Main Window", "Upgrade Firmware",
                "Refresh Audio Device", "Win Sound Pannel", "-", "V4.06_260105" }));
        QVERIFY(!actions.last()->isEnabled());
        QVERIFY(actions.at(2)->menu());
        QStringList rates;
        for (QAction *rate : actions.at(2)->menu()->actions())
            rates << rate->text();
        QCOMPARE(rates, QStringList({ "44100", "48000", "88200", "96000", "176400", "192000" }));

        // With the web remote, its entry comes after the sound panel's and shows its window.
        QWidget remoteWindow;
        tray.setRemoteWindow(&remoteWindow);
        tray.setRemoteWindow(&remoteWindow);
        texts.clear();
        for (QAction *action : tray.contextMenu()->actions())
            texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
        QCOMPARE(texts.mid(8), QStringList({ "Win Sound Pannel", "Remote Control...", "-", "V4.06_260105" }));
        entry(tray, QStringLiteral("Remote Control..."))->trigger();
        QVERIFY(remoteWindow.isVisible());
    }

    void sampleRateIsSetOnlyWhenItChanges()
    {
        testsupport::IsolatedEnvironment env;
        testsupport::LogCapture log;
        emu::Emulator emulator(env.runtimeDir().toStdString(), 2);
        QVERIFY(emulator.start());
        emulator.setSampleRate(48000);
        TrayIcon tray;

        entry(tray, QStringLiteral("48000"))->trigger();
        QCOMPARE(codes(emulator), QList<std::uint32_t> { Code::GetSampleRate });
        QVERIFY(log.contains(QStringLiteral("selectedRate is same")));
        QVERIFY(log.contains(QStringLiteral("selectedRate is: 48000")));

        emulator.clearRequests();
        log.clear();
        entry(tray, QStringLiteral("96000"))->trigger();
        // Audio is stopped and the rate set; the panel does not start audio again.
        QCOMPARE(codes(emulator), (QList<std::uint32_t> { Code::GetSampleRate, Code::StopAudio, Code::SetSampleRate }));
        QVERIFY(!codes(emulator).contains(Code::StartAudio));
        QCOMPARE(emulator.requests().back().input, (std::vector<std::uint8_t> { 0x00, 0x77, 0x01, 0x00 }));
        QCOMPARE(emulator.state().sampleRate, 96000u);
        QVERIFY(log.contains(QStringLiteral("Sampleate is changed: 96000")));

        // A failed read counts as 0, so the chosen rate is set.
        emulator.clearRequests();
        emulator.fail(Code::GetSampleRate, emu::FaultMode::Refuse, 1);
        entry(tray, QStringLiteral("96000"))->trigger();
        QCOMPARE(codes(emulator), (QList<std::uint32_t> { Code::GetSampleRate, Code::StopAudio, Code::SetSampleRate }));

        // A refused rate must not leave audio stopped nor be logged as changed.
        emulator.clearRequests();
        log.clear();
        emulator.fail(Code::SetSampleRate, emu::FaultMode::Refuse, 1);
        entry(tray, QStringLiteral("44100"))->trigger();
        QCOMPARE(codes(emulator),
            (QList<std::uint32_t> { Code::GetSampleRate, Code::StopAudio, Code::SetSampleRate, Code::StartAudio }));
        QVERIFY(log.contains(QStringLiteral("Failed to set sample rate: 44100")));
        QVERIFY(!log.contains(QStringLiteral("Sampleate is changed:")));
    }

    void firmwareUpgradeSendsTheBareCommand()
    {
        testsupport::IsolatedEnvironment env;
        emu::Emulator emulator(env.runtimeDir().toStdString(), 1);
        QVERIFY(emulator.start());
        TrayIcon tray;
        entry(tray, QStringLiteral("Upgrade Firmware"))->trigger();
        QCOMPARE(codes(emulator), QList<std::uint32_t> { Code::SendVendorCommand });
        QCOMPARE(emulator.requests().front().input.size(), std::size_t(37));
        QCOMPARE(emulator.state().firmwareUpgrades, 1);

        // While another session's panel drives the device, neither entry reaches it.
        emulator.clearRequests();
        testsupport::LogCapture log;
        tray.setDrivesDevice(false);
        entry(tray, QStringLiteral("Upgrade Firmware"))->trigger();
        entry(tray, QStringLiteral("44100"))->trigger();
        QVERIFY(emulator.requests().empty());
        QVERIFY(
            log.contains(QStringLiteral("Firmware upgrade not sent: the console session's panel drives the device.")));
        QVERIFY(log.contains(QStringLiteral("Sample rate left alone: the console session's panel drives the device.")));
    }

    void withoutDriverNothingIsSent()
    {
        testsupport::IsolatedEnvironment env;
        testsupport::LogCapture log;
        emu::Emulator emulator(env.runtimeDir().toStdString(), 2);
        QVERIFY(emulator.start());
        emulator.unplug();
        TrayIcon tray;
        const QStringList box = answerBox([&] {
            entry(tray, QStringLiteral("Upgrade Firmware"))->trigger();
            entry(tray, QStringLiteral("192000"))->trigger();
        });
        QVERIFY(box[0].isEmpty());
        QVERIFY(emulator.requests().empty());
        QCOMPARE(log.count(QStringLiteral("Failed to create device in Device.")), 1);
        QVERIFY(!log.contains(QStringLiteral("selectedRate is:")));
    }

    void windowsAreShownOrTheMissingOneIsReported()
    {
        TrayIcon tray;
        const QStringList noWindow { QStringLiteral("警告"), QStringLiteral("主窗口未设置，请先设置主窗口。") };
        QCOMPARE(answerBox([&] { entry(tray, QStringLiteral("Main Window"))->trigger(); }), noWindow);
        QCOMPARE(answerBox([&] { emit tray.activated(QSystemTrayIcon::DoubleClick); }).at(1), noWindow[1]);
        QCOMPARE(answerBox([&] { entry(tray, QStringLiteral("Setup"))->trigger(); }),
            QStringList({ QStringLiteral("警告"), QStringLiteral("设置窗口未设置，请先设置设置窗口。") }));

        QWidget window;
        tray.setMainWindow(&window);
        tray.setMainWindow(nullptr); // keeps the window already set
        emit tray.activated(QSystemTrayIcon::Context);
        emit tray.activated(QSystemTrayIcon::MiddleClick);
        emit tray.activated(QSystemTrayIcon::Unknown);
        QVERIFY(!window.isVisible());
        emit tray.activated(QSystemTrayIcon::Trigger);
        QVERIFY(window.isVisible());
        window.hide();
        emit tray.activated(QSystemTrayIcon::DoubleClick);
        QVERIFY(window.isVisible());
        window.hide();
        entry(tray, QStringLiteral("Main Window"))->trigger();
        QVERIFY(window.isVisible());

        testsupport::IsolatedEnvironment env;
        Settings settings;
        tray.setSettings(&settings);
        entry(tray, QStringLiteral("Setup"))->trigger();
        QVERIFY(settings.isVisible());
        QVERIFY(!(settings.windowFlags() & Qt::WindowStaysOnTopHint));
    }

    void trayFramesAndNoDeviceTooltip()
    {
        TrayIcon tray;
        QCOMPARE(tray.toolTip(), QStringLiteral("Orvelin Driver\nNo Device Connect!"));
        const QList<QSize> sizes = tray.icon().availableSizes();
        for (int size : { 16, 20, 24, 32, 40, 48 })
            QVERIFY2(sizes.contains(QSize(size, size)), qPrintable(QString::number(size)));
    }

    void soundSettingsOpenOrAnErrorBoxShows()
    {
        testsupport::LogCapture log;
        TrayIcon tray;
        StandInPath path;
        const auto open
            = [&] { return answerBox([&] { entry(tray, QStringLiteral("Win Sound Pannel"))->trigger(); }); };
        QCOMPARE(
            open(), QStringList({ QStringLiteral("错误"), QStringLiteral("无法打开声音设置面板，请检查系统设置。") }));
        QVERIFY(!log.contains(QStringLiteral("声音设置面板已打开。")));

        QVERIFY(path.add(QStringLiteral("pavucontrol"), "#!/bin/sh\nexit 0\n"));
        QVERIFY(open()[0].isEmpty());
        QCOMPARE(log.count(QStringLiteral("声音设置面板已打开。")), 1);
    }

    void shellRestartReportsHowTheCommandEnded()
    {
        testsupport::LogCapture log;
        TrayIcon tray;
        QAction *refresh = entry(tray, QStringLiteral("Refresh Audio Device"));

        // No cmd.exe: the start fails, so the wait fails at once.
        StandInPath path;
        refresh->trigger();
        QCOMPARE(log.lines().value(0), QStringLiteral("重启资源管理器超时"));
        QVERIFY(log.lines().value(1).startsWith(QStringLiteral("错误信息: ")));
        QVERIFY(!log.contains(QStringLiteral("资源管理器已成功重启")));

        // A stand-in cmd.exe shows the arguments and how its exit code is reported.
        QVERIFY(path.add(QStringLiteral("cmd.exe"),
            "#!/bin/sh\n/bin/sleep \"${CMD_SLEEP:-0}\"\necho \"args:$1|$2\"\necho oops 错误 >&2\nexit "
            "\"${CMD_EXIT:-0}\"\n"));
        log.clear();
        qputenv("CMD_EXIT", "3");
        refresh->trigger();
        QCOMPARE(log.lines().value(0), QStringLiteral("命令执行失败，退出代码: 3"));
        QCOMPARE(log.lines().value(1), QStringLiteral("输出: args:/c|start explorer.exe\n"));
        QCOMPARE(log.lines().value(2), QStringLiteral("错误输出: oops 错误\n"));
        QVERIFY(!log.contains(QStringLiteral("资源管理器已成功重启")));

        log.clear();
        qputenv("CMD_EXIT", "0");
        refresh->trigger();
        QCOMPARE(log.lines(), QStringList { QStringLiteral("资源管理器已成功重启") });

        // A command slower than the wait is not killed: the handler returns while the command
        // still runs (before its 3 s sleep is over), and how the command ended is logged once it
        // has run to its end.
        log.clear();
        tray.setShellRestartWait(100);
        qputenv("CMD_SLEEP", "3");
        qputenv("CMD_EXIT", "4");
        refresh->trigger();
        QCOMPARE(log.lines().value(0), QStringLiteral("重启资源管理器超时"));
        QCOMPARE(log.lines().size(), 2);
        QTRY_COMPARE_WITH_TIMEOUT(log.lines().size(), 5, 15000);
        QCOMPARE(log.lines().value(2), QStringLiteral("命令执行失败，退出代码: 4"));
        QCOMPARE(log.lines().value(3), QStringLiteral("输出: args:/c|start explorer.exe\n"));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        qunsetenv("CMD_SLEEP");
        qunsetenv("CMD_EXIT");
    }
};

QTEST_MAIN(tst_TrayIcon)
#include "tst_TrayIcon.moc"
