#include "tests/e2e/E2eSession.h"
#include "tests/e2e/XDisplayProbe.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QThread>
#include <QtTest>

#include <algorithm>
#include <cstdint>
#include <functional>

// The program in a real system tray (trayer on Xvfb): at start only the icon is there, a click on
// it shows the main window, a right click only opens the menu, closing the window hides it
// while the program goes on, and the shown panel works from the keyboard.
class tst_Tray : public QObject
{
    Q_OBJECT

private:
    static bool waitFor(const std::function<bool()> &condition, int timeoutMs)
    {
        QDeadlineTimer deadline(timeoutMs);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QThread::msleep(50);
        }
        return true;
    }

    static const XDisplayProbe::Window *find(const std::vector<XDisplayProbe::Window> &windows,
        const std::function<bool(const XDisplayProbe::Window &)> &match)
    {
        for (const XDisplayProbe::Window &w : windows)
            if (match(w))
                return &w;
        return nullptr;
    }

    static bool xdotool(const QStringList &arguments)
    {
        return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
    }

    static bool viewable(XDisplayProbe &x, qint64 pid, const QString &title)
    {
        return find(x.windowsOf(pid), [&](const XDisplayProbe::Window &w) { return w.title == title && w.viewable; });
    }

    static bool click(XDisplayProbe::WindowId window, int button)
    {
        return xdotool({ QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(window),
            QStringLiteral("8"), QStringLiteral("8"), QStringLiteral("click"), QString::number(button) });
    }

    static void startTray(XDisplayProbe &x, E2eSession &session)
    {
        session.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        session.startHelper(QStringLiteral("trayer"),
            { QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
                QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"),
                QStringLiteral("160"), QStringLiteral("--height"), QStringLiteral("32"),
                QStringLiteral("--SetDockType"), QStringLiteral("false") });
        QVERIFY(waitFor([&] { return x.trayPresent(); }, 20000));
    }

    // The one window of the program on screen at start: its tray icon.
    static XDisplayProbe::WindowId trayIcon(XDisplayProbe &x, qint64 pid)
    {
        XDisplayProbe::WindowId icon = 0;
        waitFor(
            [&] {
                const auto windows = x.windowsOf(pid);
                const auto *shown = find(windows, [](const XDisplayProbe::Window &w) { return w.viewable; });
                icon = shown ? shown->id : 0;
                return shown != nullptr;
            },
            20000);
        return icon;
    }

    static int shownCount(XDisplayProbe &x, qint64 pid)
    {
        int shown = 0;
        for (const XDisplayProbe::Window &w : x.windowsOf(pid))
            shown += w.viewable ? 1 : 0;
        return shown;
    }

    // A left click on the icon shows the window titled `title`; a click lost while the tray settles
    // is repeated. On a busy machine the tray may embed the icon anew, in a window of its own: a
    // click that finds its window gone looks the icon up again.
    static bool showByClick(XDisplayProbe &x, qint64 pid, XDisplayProbe::WindowId icon, const QString &title)
    {
        return waitFor(
            [&] {
                if (!click(icon, 1))
                    icon = trayIcon(x, pid);
                return waitFor([&] { return viewable(x, pid, title); }, 2500);
            },
            20000);
    }

    // Opens the tray menu with a right click and picks the entry `downs` steps from the top.
    static bool pickFromMenu(XDisplayProbe &x, qint64 pid, XDisplayProbe::WindowId icon, int downs)
    {
        // Right after a menu closed, a click can be lost: click again until the menu is there.
        const int before = shownCount(x, pid);
        if (!waitFor(
                [&] {
                    if (!click(icon, 3))
                        icon = trayIcon(x, pid);
                    return waitFor([&] { return shownCount(x, pid) == before + 1; }, 2500);
                },
                20000))
            return false;
        for (int i = 0; i < downs; ++i)
            xdotool({ QStringLiteral("key"), QStringLiteral("Down") });
        return xdotool({ QStringLiteral("key"), QStringLiteral("Return") });
    }

    // trayer, the emulator with this model and the program, up to the device being found.
    static void startInTray(
        XDisplayProbe &x, E2eSession &session, std::uint32_t model, const QString &firmware, QProcess *&program)
    {
        QVERIFY2(x.isOpen(), "needs an X display: run under xvfb-run");
        startTray(x, session);
        if (QTest::currentTestFailed())
            return;
        QVERIFY(session.startEmulator(model, firmware));
        program = session.startProgram();
        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: %1").arg(model), 20000));
    }

private slots:
    void iconAtStartClickShowsCloseHides()
    {
        XDisplayProbe x;
        E2eSession session;
        QProcess *program = nullptr;
        startInTray(x, session, 2, QStringLiteral("V2.1.0.777"), program);
        if (QTest::currentTestFailed())
            return;
        const qint64 pid = program->processId();
        const QString title = QStringLiteral("Orvelin KA2 - FW: V2.1.0.777");

        // Only the tray icon is on screen; the main window exists but is not shown.
        const XDisplayProbe::WindowId icon = trayIcon(x, pid);
        QVERIFY(icon != 0);
        QCOMPARE(shownCount(x, pid), 1);
        QVERIFY(!viewable(x, pid, title));
        QVERIFY(!session.log(program).contains(QStringLiteral("systemTrayWindowChanged")));

        // A right click opens only the menu.
        QVERIFY(click(icon, 3));
        QVERIFY(waitFor([&] { return shownCount(x, pid) == 2; }, 20000));
        QVERIFY(!viewable(x, pid, title));
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("Escape") }));

        // A left click shows the main window with the model and firmware in its title.
        QVERIFY(showByClick(x, pid, icon, title));
        const XDisplayProbe::Window main
            = *find(x.windowsOf(pid), [&](const XDisplayProbe::Window &w) { return w.title == title; });
        QVERIFY(main.width > 300 && main.height > 150);
        const QString shots = qEnvironmentVariable("ORVELIN_SCREENSHOT_DIR");
        if (!shots.isEmpty()) {
            QDir().mkpath(shots);
            QProcess::execute(QStringLiteral("import"),
                { QStringLiteral("-window"), QString::number(main.id),
                    shots + QStringLiteral("/Tray_MainWindow_ka2.png") });
        }

        // From the keyboard: Tab reaches the first gain knob and Up raises it one step; Tab and
        // Space switch the pad on. The device sees what a wheel step and a click send.
        const int before = session.settingRequests().size();
        QVERIFY(xdotool({ QStringLiteral("key"), QStringLiteral("Tab"), QStringLiteral("Up"), QStringLiteral("Tab"),
            QStringLiteral("space") }));
        QVERIFY(session.waitForLog(program, QStringLiteral("Mic 20dB Button Clicked 1"), 3000, 2));
        QCOMPARE(session.settingRequests().mid(before),
            QStringList(
                { "vendor 01 07 00 02 01 02 00", "vendor 01 5A 00 01 01 00 00", "vendor 01 5A 00 01 01 00 00" }));

        // Closing the window hides it; the program and the device handling go on.
        x.requestClose(main.id);
        QVERIFY(waitFor(
            [&] {
                return find(x.windowsOf(pid), [&](const XDisplayProbe::Window &w) {
                    return w.title == title && !w.viewable;
                }) != nullptr;
            },
            20000));
        QCOMPARE(program->state(), QProcess::Running);
        QCOMPARE(session.emulator(QStringLiteral("unplug")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(program, QStringLiteral("Cleared all widgets from base layout."), 20000));

        QCOMPARE(session.terminate(program), 0);
    }

    // "Quit" and a termination request end the program at once, whatever window is shown, with
    // the whole teardown.
    void quitEndsTheProgramWithAnyWindowShown_data()
    {
        QTest::addColumn<bool>("withSettings");
        QTest::addColumn<bool>("byQuit");
        QTest::newRow("main window, Quit") << false << true;
        QTest::newRow("main window and settings dialog, Quit") << true << true;
        QTest::newRow("main window and settings dialog, SIGTERM") << true << false;
    }

    void quitEndsTheProgramWithAnyWindowShown()
    {
        QFETCH(bool, withSettings);
        QFETCH(bool, byQuit);
        XDisplayProbe x;
        E2eSession session;
        QProcess *program = nullptr;
        startInTray(x, session, 18, QStringLiteral("V5.0.0.500"), program);
        if (QTest::currentTestFailed())
            return;
        const qint64 pid = program->processId();
        const QString title = QStringLiteral("Orvelin KA2 SE - FW: V5.0.0.500");
        const XDisplayProbe::WindowId icon = trayIcon(x, pid);
        QVERIFY(icon != 0);
        QVERIFY(showByClick(x, pid, icon, title));
        if (withSettings) {
            // Quit, Set Samplerate, Setup.
            QVERIFY(pickFromMenu(x, pid, icon, 3));
            QVERIFY(waitFor(
                [&] {
                    return find(x.windowsOf(pid), [&](const XDisplayProbe::Window &w) {
                        return w.viewable && w.title == QLatin1String("Settings");
                    });
                },
                20000));
        }

        // A refused quit would leave the program running for good, so a generous wait tells it.
        if (byQuit) {
            QVERIFY(pickFromMenu(x, pid, icon, 1));
            QVERIFY(program->waitForFinished(20000));
        } else {
            QCOMPARE(session.terminate(program, 20000), 0);
        }
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        // The sanitizer build may add its leak report (framed by dashes) after the program's own lines.
        QStringList lines = session.log(program).trimmed().split(QLatin1Char('\n'));
        const auto report = std::find_if(
            lines.begin(), lines.end(), [](const QString &line) { return line.startsWith(QLatin1String("-----")); });
        lines.erase(report, lines.end());
        QVERIFY(!lines.isEmpty());
        QCOMPARE(lines.last().trimmed(), QStringLiteral("Settings dialog closed and resources cleaned up."));
    }

    void withoutTrayTheWindowShowsAndClosingQuits()
    {
        XDisplayProbe x;
        QVERIFY2(x.isOpen(), "needs an X display: run under xvfb-run");
        QVERIFY(waitFor([&] { return !x.trayPresent(); }, 20000));
        E2eSession session;
        session.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QVERIFY(session.startEmulator(15, QStringLiteral("V3.3.3.333")));
        QProcess *program = session.startProgram();
        const qint64 pid = program->processId();
        const QString title = QStringLiteral("Orvelin KV - FW: V3.3.3.333");
        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: 15"), 20000));
        XDisplayProbe::WindowId main = 0;
        QVERIFY(waitFor(
            [&] {
                const auto windows = x.windowsOf(pid);
                const auto *w
                    = find(windows, [&](const XDisplayProbe::Window &w) { return w.title == title && w.viewable; });
                main = w ? w->id : 0;
                return w != nullptr;
            },
            20000));

        // Nothing could bring a hidden window back, so closing it ends the program normally.
        x.requestClose(main);
        QVERIFY(program->waitForFinished(20000));
        QCOMPARE(program->exitStatus(), QProcess::NormalExit);
        QCOMPARE(program->exitCode(), 0);
        QVERIFY(session.log(program).contains(QStringLiteral("Settings dialog closed and resources cleaned up.")));
    }
};

QTEST_GUILESS_MAIN(tst_Tray)
#include "tst_Tray.moc"
