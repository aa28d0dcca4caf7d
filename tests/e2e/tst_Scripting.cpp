#include "tests/e2e/E2eSession.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSettings>
#include <QtTest>

// orvelinctl against the real OrvelinDriver and orvelin-emulator: each command, its exit codes,
// a preset saved and loaded, and refused presets that leave the device untouched.
class tst_Scripting : public QObject
{
    Q_OBJECT

private slots:
    void orvelinctlDrivesTheRunningPanel();
};

namespace {

struct Run
{
    int code = -1;
    QString out;
    QString err;
};

Run ctl(E2eSession &session, const QStringList &arguments)
{
    QProcess process;
    process.setProcessEnvironment(session.environment());
    process.start(QStringLiteral(ORVELINCTL_EXE), arguments);
    Run run;
    if (!process.waitForFinished(10000)) {
        process.kill();
        process.waitForFinished(2000);
        return run;
    }
    run.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = QString::fromUtf8(process.readAllStandardOutput()).trimmed();
    run.err = QString::fromUtf8(process.readAllStandardError()).trimmed();
    return run;
}

// The mixer blocks and vendor commands in the emulator's request log (not the timed reads).
QStringList deviceWrites(E2eSession &session)
{
    QFile log(session.rootPath() + QStringLiteral("/emulator-requests.log"));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    QStringList writes;
    for (const QByteArray &line : log.readAll().split('\n'))
        if (line.contains("\"code\":\"0xFFDC2040\"") || line.contains("\"code\":\"0xFFDC209C\""))
            writes << QString::fromUtf8(line);
    return writes;
}

} // namespace

void tst_Scripting::orvelinctlDrivesTheRunningPanel()
{
    E2eSession session;
    QVERIFY(session.startEmulator(1));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).code, 2); // no panel yet
    QProcess *program = session.startProgram();
    QVERIFY(session.waitForLog(program, QStringLiteral("已从配置文件加载控件状态"), 10000));

    Run status = ctl(session, { "status" });
    QCOMPARE(status.code, 0);
    QCOMPARE(status.out, QStringLiteral("model: KA1\nfirmware: V4.0.6.123\nsample rate: 48000\nconnected: yes"));
    const Run list = ctl(session, { "list", "--json" });
    QCOMPARE(list.code, 0);
    const QJsonArray controls = QJsonDocument::fromJson(list.out.toUtf8()).array();
    QCOMPARE(controls.size(), 9);
    QCOMPARE(controls.at(5).toObject().value("name").toString(), QString("headphone.volume"));
    QCOMPARE(controls.at(5).toObject().value("label").toString(), QString("HEADPHONE Volume"));
    QCOMPARE(controls.at(5).toObject().value("min").toInt(), -80);
    QVERIFY(
        ctl(session, { "list" }).out.contains(QStringLiteral("headphone.mute\tHEADPHONE MUTE\tswitch\ton/off\toff")));

    // A watcher sees what a script changes; the change takes the mouse's road to the device.
    QProcess watch;
    watch.setProcessEnvironment(session.environment());
    watch.start(QStringLiteral(ORVELINCTL_EXE), { "watch" });
    QVERIFY(watch.waitForStarted(5000));
    QTest::qWait(300);
    int writes = deviceWrites(session).size();
    QCOMPARE(ctl(session, { "set", "headphone.volume", "-10", "headphone.mute", "on" }).code, 0);
    QVERIFY(deviceWrites(session).size() > writes);
    QVERIFY(session.waitForLog(program, QStringLiteral("Headphone Mute Button Clicked: Mute ON"), 3000, 2));
    QCOMPARE(ctl(session, { "get", "headphone.mute" }).out, QString("on"));
    QTRY_VERIFY(watch.bytesAvailable() > 0 && QString::fromUtf8(watch.peek(4096)).contains("headphone.mute on"));
    // The watcher began with the state before the change, then saw the change.
    const QString watched = QString::fromUtf8(watch.readAll());
    QVERIFY(watched.indexOf("headphone.mute off\n") >= 0);
    QVERIFY(watched.indexOf("headphone.mute off\n") < watched.indexOf("\nheadphone.volume -10\n"));
    watch.kill();
    watch.waitForFinished(2000);

    const QString preset = session.rootPath() + QStringLiteral("/evening.ini");
    QCOMPARE(ctl(session, { "preset", "save", preset }).code, 0);
    QCOMPARE(QSettings(preset, QSettings::IniFormat).value("Preset/Model").toString(), QString("KA1"));
    QCOMPARE(QSettings(preset, QSettings::IniFormat).value("Dial/HeadphoneValue").toString(), QString("-10"));
    QCOMPARE(ctl(session, { "set", "headphone.volume", "-30", "headphone.mute", "off" }).code, 0);

    // Each error its exit code, and none reaches the device.
    const QString tooLoud = session.rootPath() + QStringLiteral("/too-loud.ini");
    const QString otherModel = session.rootPath() + QStringLiteral("/ka2.ini");
    QFile::copy(preset, tooLoud);
    QSettings(tooLoud, QSettings::IniFormat).setValue("Dial/OtgToHpValue", 99);
    QFile::copy(preset, otherModel);
    QSettings(otherModel, QSettings::IniFormat).setValue("Preset/Model", "KA2");
    const struct
    {
        QStringList arguments;
        int code;
    } errors[] = {
        { { "get", "mic1.gain" }, 4 },
        { { "set", "headphone.volume", "7" }, 5 },
        { { "set", "headphone.mute", "maybe" }, 5 },
        { { "set", "headphone.mute", "on\nset headphone.volume 6" }, 5 },
        { { "set", "headphone.volume" }, 1 },
        { { "twist" }, 1 },
        { { "preset", "load", tooLoud }, 7 },
        { { "preset", "load", otherModel }, 7 },
        { { "preset", "load", session.rootPath() + QStringLiteral("/missing.ini") }, 7 },
    };
    writes = deviceWrites(session).size();
    for (const auto &error : errors) {
        const Run run = ctl(session, error.arguments);
        QVERIFY2(run.code == error.code, qPrintable(error.arguments.join(' ') + " gave " + QString::number(run.code)));
        QVERIFY(!run.err.isEmpty());
    }
    QCOMPARE(deviceWrites(session).size(), writes);
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).out, QString("-30"));

    // The saved preset brings it all back; a foreign key is named and skipped.
    QSettings(preset, QSettings::IniFormat).setValue("Other/Key", 1);
    const Run load = ctl(session, { "preset", "load", preset });
    QCOMPARE(load.code, 0);
    QVERIFY(load.err.contains(QStringLiteral("Other/Key")));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).out, QString("-10"));
    QCOMPARE(ctl(session, { "get", "headphone.mute" }).out, QString("on"));

    QCOMPARE(session.emulator(QStringLiteral("unplug")), QStringLiteral("ok"));
    QVERIFY(session.waitForLog(program, QStringLiteral("Cleared all widgets from base layout."), 5000));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).code, 3);
    QCOMPARE(ctl(session, { "status" }).code, 3);
    QCOMPARE(session.terminate(program), 0);
    QCOMPARE(ctl(session, { "status" }).code, 2);
}

QTEST_GUILESS_MAIN(tst_Scripting)
#include "tst_Scripting.moc"
