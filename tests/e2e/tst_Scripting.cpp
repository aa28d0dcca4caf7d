#include "tests/e2e/E2eSession.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocalSocket>
#include <QProcess>
#include <QSettings>
#include <QtTest>

#include <memory>
#include <vector>

// orvelinctl against the real OrvelinDriver and orvelin-emulator: each command, its exit codes,
// its output as text and as JSON, a preset saved and loaded, and refused presets that leave the
// device untouched. The waits are bounds only a fault crosses, not a measure of speed.
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
    if (!process.waitForFinished(60000)) {
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

QJsonObject jsonOf(const QString &line)
{
    return QJsonDocument::fromJson(line.toUtf8()).object();
}

} // namespace

void tst_Scripting::orvelinctlDrivesTheRunningPanel()
{
    E2eSession session;
    QVERIFY(session.startEmulator(1));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).code, 2); // no panel yet
    QProcess *program = session.startProgram();
    QVERIFY(session.waitForLog(program, QStringLiteral("已从配置文件加载控件状态"), 60000));

    Run status = ctl(session, { "status" });
    QCOMPARE(status.code, 0);
    QCOMPARE(status.out, QStringLiteral("model: KA1\nfirmware: V4.0.6.123\nsample rate: 48000\nconnected: yes"));
    const Run list = ctl(session, { "list", "--json" });
    QCOMPARE(list.code, 0);
    const QJsonArray controls = jsonOf(list.out).value("controls").toArray();
    QCOMPARE(controls.size(), 9);
    QCOMPARE(controls.at(5).toObject().value("name").toString(), QString("headphone.volume"));
    QCOMPARE(controls.at(5).toObject().value("label").toString(), QString("HEADPHONE Volume"));
    QCOMPARE(controls.at(5).toObject().value("min"), QJsonValue(-80));
    QCOMPARE(controls.at(5).toObject().value("value"), QJsonValue(-80));
    QVERIFY(
        ctl(session, { "list" }).out.contains(QStringLiteral("headphone.mute\tHEADPHONE MUTE\tswitch\ton/off\toff")));

    // A watcher sees what a script changes; the change takes the mouse's road to the device.
    QProcess watch;
    watch.setProcessEnvironment(session.environment());
    watch.start(QStringLiteral(ORVELINCTL_EXE), { "watch" });
    QVERIFY(watch.waitForStarted(30000));
    // It is watching once it has printed the present state, a line for each of the 9 controls.
    QTRY_VERIFY_WITH_TIMEOUT(watch.peek(4096).count('\n') >= 9, 30000);
    int writes = deviceWrites(session).size();
    // set prints what it set, as it now stands.
    const Run set = ctl(session, { "set", "headphone.volume", "-10", "headphone.mute", "on" });
    QCOMPARE(set.code, 0);
    QCOMPARE(set.out, QString("headphone.volume -10\nheadphone.mute on"));
    QVERIFY(deviceWrites(session).size() > writes);
    QVERIFY(session.waitForLog(program, QStringLiteral("Headphone Mute Button Clicked: Mute ON"), 30000, 2));
    QCOMPARE(ctl(session, { "get", "headphone.mute" }).out, QString("on"));
    QTRY_VERIFY_WITH_TIMEOUT(QString::fromUtf8(watch.peek(4096)).contains("headphone.mute on"), 30000);
    // The watcher began with the state before the change, then saw the change.
    const QString watched = QString::fromUtf8(watch.readAll());
    QVERIFY(watched.indexOf("headphone.mute off\n") >= 0);
    QVERIFY(watched.indexOf("headphone.mute off\n") < watched.indexOf("\nheadphone.volume -10\n"));
    watch.kill();
    watch.waitForFinished(30000);

    // Values as a user of other mixers writes them; a negative value is no option. Every --json
    // output is one object, numbers as numbers.
    QCOMPARE(ctl(session, { "set", "headphone.volume", "-20dB" }).out, QString("headphone.volume -20"));
    QCOMPARE(ctl(session, { "set", "headphone.volume", "30dB+" }).out, QString("headphone.volume 6"));
    QCOMPARE(ctl(session, { "--json", "set", "headphone.volume", "16dB-" }).out,
        QString(R"({"controls":[{"name":"headphone.volume","value":-10}],"ok":true})"));
    QCOMPARE(jsonOf(ctl(session, { "get", "headphone.volume", "--json" }).out).value("value"), QJsonValue(-10));
    QCOMPARE(jsonOf(ctl(session, { "status", "--json" }).out).value("model").toString(), QString("KA1"));

    const QString preset = session.rootPath() + QStringLiteral("/evening.ini");
    QCOMPARE(
        jsonOf(ctl(session, { "--json", "preset", "save", preset }).out).value("model").toString(), QString("KA1"));
    QCOMPARE(QSettings(preset, QSettings::IniFormat).value("Preset/Model").toString(), QString("KA1"));
    QCOMPARE(QSettings(preset, QSettings::IniFormat).value("Dial/HeadphoneValue").toString(), QString("-10"));
    QCOMPARE(ctl(session, { "set", "headphone.volume", "-30", "headphone.mute", "off" }).code, 0);

    // Each error its exit code, and none reaches the device.
    const QString tooLoud = session.rootPath() + QStringLiteral("/too-loud.ini");
    const QString otherModel = session.rootPath() + QStringLiteral("/ka2.ini");
    const QString longValue = session.rootPath() + QStringLiteral("/long.ini");
    const QString noFolder = session.rootPath() + QStringLiteral("/no-such-folder/evening.ini");
    QFile::copy(preset, tooLoud);
    QSettings(tooLoud, QSettings::IniFormat).setValue("Dial/OtgToHpValue", 99);
    QFile::copy(preset, otherModel);
    QSettings(otherModel, QSettings::IniFormat).setValue("Preset/Model", "KA2");
    QFile::copy(preset, longValue);
    QSettings(longValue, QSettings::IniFormat).setValue("Dial/OtgToHpValue", QString(5000, '1'));
    const struct
    {
        QStringList arguments;
        int code;
    } errors[] = {
        { { "get", "mic1.gain" }, 4 },
        { { "set", "headphone.volume", "7" }, 5 },
        { { "set", "headphone.volume", "+3" }, 5 },
        { { "set", "headphone.mute", "maybe" }, 5 },
        { { "set", "headphone.mute", "on\nset headphone.volume 6" }, 5 },
        { { "set", "headphone.volume" }, 1 },
        { { "twist" }, 1 },
        { { "preset", "load", tooLoud }, 7 },
        { { "preset", "load", otherModel }, 7 },
        { { "preset", "load", session.rootPath() + QStringLiteral("/missing.ini") }, 7 },
        { { "preset", "load", longValue }, 7 },
        { { "preset", "save", noFolder }, 7 },
        { { "--json", "preset", "load", otherModel }, 7 },
    };
    writes = deviceWrites(session).size();
    for (const auto &error : errors) {
        const Run run = ctl(session, error.arguments);
        QVERIFY2(run.code == error.code, qPrintable(error.arguments.join(' ') + " gave " + QString::number(run.code)));
        // One style for every error: a capitalised sentence without a full stop.
        const QString message = error.arguments.first() == QLatin1String("--json")
            ? jsonOf(run.err).value("message").toString()
            : run.err.section('\n', 0, 0).section(QStringLiteral("orvelinctl: "), 1);
        QVERIFY2(!message.isEmpty() && message.at(0).isUpper() && !message.endsWith('.'), qPrintable(run.err));
    }
    QCOMPARE(deviceWrites(session).size(), writes);
    QVERIFY(!QFileInfo::exists(QFileInfo(noFolder).path()));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).out, QString("-30"));

    // The saved preset brings it all back; a foreign key is named and skipped.
    QSettings(preset, QSettings::IniFormat).setValue("Other/Key", 1);
    const Run load = ctl(session, { "preset", "load", preset });
    QCOMPARE(load.code, 0);
    QVERIFY(load.err.contains(QStringLiteral("Other/Key")));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).out, QString("-10"));
    QCOMPARE(ctl(session, { "get", "headphone.mute" }).out, QString("on"));

    // A panel with 16 clients is busy, which is not the same as no panel.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 16; ++i) {
        clients.push_back(std::make_unique<QLocalSocket>());
        clients.back()->connectToServer(session.environment().value("ORVELIN_RUNTIME_DIR") + "/control");
        QVERIFY(clients.back()->waitForConnected(30000));
        clients.back()->write("status\n");
        QVERIFY(clients.back()->waitForReadyRead(30000)); // served, so counted
    }
    const Run busy = ctl(session, { "status" });
    QCOMPARE(busy.code, 8);
    QVERIFY2(busy.err.contains("busy"), qPrintable(busy.err));
    clients.clear();

    QCOMPARE(session.emulator(QStringLiteral("unplug"), 30000), QStringLiteral("ok"));
    QVERIFY(session.waitForLog(program, QStringLiteral("Cleared all widgets from base layout."), 30000));
    QCOMPARE(ctl(session, { "get", "headphone.volume" }).code, 3);
    QCOMPARE(ctl(session, { "status" }).code, 3);
    // Without a device status --json still prints an object, and says so.
    const Run none = ctl(session, { "--json", "status" });
    QCOMPARE(none.code, 3);
    QCOMPARE(jsonOf(none.out), QJsonObject({ { "ok", true }, { "connected", false } }));
    QCOMPARE(session.terminate(program, 30000), 0);
    QCOMPARE(ctl(session, { "status" }).code, 2);
}

QTEST_GUILESS_MAIN(tst_Scripting)
#include "tst_Scripting.moc"
