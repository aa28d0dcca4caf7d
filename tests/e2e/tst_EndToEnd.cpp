#include "tests/e2e/E2eSession.h"
#include "tests/support/RequestTable.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

// A copy started while another runs: it leaves at once with status 0, says why, and builds nothing.
bool refusedAsSecondCopy(E2eSession &session)
{
    QProcess *copy = session.startProgram();
    return copy->waitForFinished(20000) && copy->exitStatus() == QProcess::NormalExit && copy->exitCode() == 0
        && session.log(copy).contains(QStringLiteral("Orvelin Mixer 已经在运行中。"))
        && !session.log(copy).contains(QStringLiteral("Settings dialog created."));
}

// The real OrvelinDriver against the real orvelin-emulator: start-up, detection and the first
// restore of the panel as the device receives it, removal and return of the device, the
// single-instance rule, the ASIO driver's request for the settings window, and the teardown on
// SIGTERM.
class tst_EndToEnd : public QObject
{
    Q_OBJECT

private slots:
    void detectsUnplugAndReplug()
    {
        E2eSession session;
        session.environment().insert(QStringLiteral("LC_ALL"), QStringLiteral("zh_CN.UTF-8"));
        QVERIFY(session.startEmulator(2));
        QProcess *program = session.startProgram();

        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: 2"), 10000));
        const QString startLog = session.log(program);
        QVERIFY(startLog.contains(QStringLiteral("系统返回的语言代码： zh_CN")));
        QVERIFY(startLog.contains(QStringLiteral("/OrvelinDriver_zh_CN.qm")));
        QVERIFY(startLog.contains(QStringLiteral("成功加载翻译文件：")));
        QVERIFY(startLog.contains(QStringLiteral("Adding ka2 widget to layout.")));
        // With no stored settings the panel restores every control, in the order of the table.
        const QStringList firstStart = testsupport::readRequestTable(QStringLiteral(ORVELIN_KA2_FIRST_START));
        QVERIFY(!firstStart.isEmpty());
        QCOMPARE(session.settingRequests(), firstStart);
        // The emulator plays the audio service: the connection stopped its monitoring.
        QVERIFY(startLog.contains(QStringLiteral("Pipe Command Sent: STOP_MONITOR")));

        QCOMPARE(session.emulator(QStringLiteral("unplug")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(program, QStringLiteral("Cleared all widgets from base layout."), 20000));
        QVERIFY(session.log(program).contains(QStringLiteral("Error reading device PID from driver, error count: 3")));
        QVERIFY(session.waitForLog(program, QStringLiteral("Failed to connect to driver."), 20000));

        QCOMPARE(session.emulator(QStringLiteral("plug 1")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: 1"), 20000));
        QVERIFY(session.log(program).contains(QStringLiteral("Adding ka1 widget to layout.")));

        // SIGTERM ends the program through the normal teardown.
        QCOMPARE(session.terminate(program), 0);
        const QString endLog = session.log(program);
        QVERIFY(endLog.contains(QStringLiteral("Termination requested, quitting.")));
        QVERIFY(endLog.indexOf(QStringLiteral("Pipe closed."))
            < endLog.indexOf(QStringLiteral("Settings dialog closed and resources cleaned up.")));
        QVERIFY(endLog.contains(QStringLiteral("Settings dialog closed and resources cleaned up.")));

        // The segment was released: the next copy runs.
        QProcess *next = session.startProgram();
        QVERIFY(session.waitForLog(next, QStringLiteral("Device found with PID: 1"), 10000));
        QCOMPARE(session.terminate(next), 0);
    }

    void unknownModelIsReportedUntilAKnownOneComes()
    {
        E2eSession session;
        QVERIFY(session.startEmulator(7));
        QProcess *program = session.startProgram();
        QVERIFY(session.waitForLog(program, QStringLiteral("Unknown device PID: 7"), 10000, 2));
        QVERIFY(!session.log(program).contains(QStringLiteral("Device found")));
        QCOMPARE(session.emulator(QStringLiteral("plug 18")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: 18"), 20000));
        QCOMPARE(session.terminate(program), 0);
    }

    void secondCopyLeavesAndTheFirstGoesOn()
    {
        E2eSession session;
        QVERIFY(session.startEmulator(15));
        QProcess *first = session.startProgram();
        QVERIFY(session.waitForLog(first, QStringLiteral("Device found with PID: 15"), 10000));

        QVERIFY(refusedAsSecondCopy(session));

        // The first copy still runs and still watches its device.
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(session.emulator(QStringLiteral("unplug")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(first, QStringLiteral("Cleared all widgets from base layout."), 20000));
        QCOMPARE(session.terminate(first), 0);
    }

    void killedCopyDoesNotBlockTheNextStart()
    {
        E2eSession session;
        QVERIFY(session.startEmulator(2));
        QProcess *killed = session.startProgram();
        QVERIFY(session.waitForLog(killed, QStringLiteral("Device found with PID: 2"), 10000));
        session.kill(killed);

        QProcess *next = session.startProgram();
        QVERIFY(session.waitForLog(next, QStringLiteral("Device found with PID: 2"), 10000));
        QVERIFY(!session.log(next).contains(QStringLiteral("已经在运行中")));
        QCOMPARE(next->state(), QProcess::Running);

        // And the copy that took over is itself protected again.
        QVERIFY(refusedAsSecondCopy(session));
        QCOMPARE(session.terminate(next), 0);
    }

    void asioOpenWindowRecordShowsTheSettingsDialog()
    {
        E2eSession session;
        QVERIFY(session.startEmulator(2));
        QProcess *program = session.startProgram();
        QVERIFY(session.waitForLog(program, QStringLiteral("Device found with PID: 2"), 10000));
        QVERIFY(
            session.waitForLog(program, QStringLiteral("ThreadSettingsPip is running waiting Asio Info..."), 20000));

        QCOMPARE(session.emulator(QStringLiteral("asio-status 0 256 0 0 1")), QStringLiteral("ok"));
        QVERIFY(session.waitForLog(
            program, QStringLiteral("Received signal from pipe thread to show settings window."), 20000));
        const QString log = session.log(program);
        QVERIFY(log.contains(QStringLiteral("Received data from pipe: 0 256 0 0 1")));
        QVERIFY(log.contains(QStringLiteral("Open Window Signal from ASIO.")));
        QVERIFY(log.contains(QStringLiteral("Pannel ASIO Buffer Size changed to: 256")));
        QCOMPARE(session.terminate(program), 0);
    }
};

QTEST_GUILESS_MAIN(tst_EndToEnd)
#include "tst_EndToEnd.moc"
