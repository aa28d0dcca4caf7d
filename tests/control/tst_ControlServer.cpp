#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "control/Preset.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "controls/KnobAccessible.h"
#include "panels/ka2se.h"
#include "tests/support/PanelRig.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtTest>

#include <atomic>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

class tst_ControlServer : public QObject
{
    Q_OBJECT

private slots:
    // As the program does before it builds any widget, so no stock interface is cached first.
    void initTestCase() { QAccessible::installFactory(&KnobAccessible::factory); }
    void requestsAndTheirErrors_data();
    void requestsAndTheirErrors();
    void channelChangeTakesTheMouseRoad();
    void presetsRoundTripAndRefuseWhole();
    void channelLimits();
    void quietClientsAndTheDeviceComingAndGoing();
    void pipelinedSetsLeaveTheLoopRunning();
    void otherUserIsRefused();
    void accessibleKnobsAndSwitches();
};

namespace {

// A KA2 SE panel on the emulator with its control channel listening in the private runtime folder.
struct Served
{
    Served()
    {
        // As the main window announces the panel it shows.
        server.registry().follow(&panel.controls(), "KA2 SE", "V1.2");
        QVERIFY(server.start(path()));
    }
    QString path() const { return rig.env.runtimeDir() + QStringLiteral("/control"); }
    std::unique_ptr<QLocalSocket> connect() const
    {
        auto socket = std::make_unique<QLocalSocket>();
        socket->connectToServer(path());
        socket->waitForConnected(2000);
        return socket;
    }

    PanelRig rig { 18 };
    ka2se panel;
    ControlServer server;
};

QJsonObject readReply(QLocalSocket &socket)
{
    // The server lives on this thread, so the wait runs the event loop.
    QDeadlineTimer deadline(5000);
    while (!socket.canReadLine() && !deadline.hasExpired())
        QTest::qWait(2);
    return QJsonDocument::fromJson(socket.readLine()).object();
}

QJsonObject ask(QLocalSocket &socket, const QByteArray &line)
{
    socket.write(line + '\n');
    return readReply(socket);
}

// A plain socket of this process, for clients that misbehave below what QLocalSocket allows.
int rawConnect(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), std::min<std::size_t>(bytes.size(), sizeof(address.sun_path) - 1));
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace

void tst_ControlServer::requestsAndTheirErrors_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QString>("error"); // empty: ok
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("expected");
    QTest::newRow("get switch") << QByteArray("get mic2.inst") << ""
                                << "value"
                                << "off";
    QTest::newRow("get knob") << QByteArray("get speaker.volume") << ""
                              << "value"
                              << "-80";
    QTest::newRow("status") << QByteArray("status") << ""
                            << "model"
                            << "KA2 SE";
    QTest::newRow("sample rate") << QByteArray("status") << ""
                                 << "sampleRate"
                                 << "48000";
    QTest::newRow("dump") << QByteArray("dump") << ""
                          << "model"
                          << "KA2 SE";
    QTest::newRow("carriage return") << QByteArray("get mic1.gain\r") << ""
                                     << "value"
                                     << "0";
    QTest::newRow("empty line") << QByteArray("") << "usage"
                                << ""
                                << "";
    QTest::newRow("unknown control") << QByteArray("get mic.gain") << "unknown-control"
                                     << ""
                                     << "";
    QTest::newRow("unknown command") << QByteArray("twist mic1.gain") << "unknown-command"
                                     << ""
                                     << "";
    QTest::newRow("missing value") << QByteArray("set mic1.gain") << "usage"
                                   << ""
                                   << "";
    QTest::newRow("not a number") << QByteArray("set mic1.gain loud") << "bad-value"
                                  << ""
                                  << "";
    QTest::newRow("fraction") << QByteArray("set mic1.gain 2.5") << "bad-value"
                              << ""
                              << "";
    // The gain is set as shown: 0dB, then 10dB to 65dB.
    QTest::newRow("above range, not clamped") << QByteArray("set mic1.gain 66") << "bad-value"
                                              << ""
                                              << "";
    QTest::newRow("a plus is no step") << QByteArray("set headphone.volume +3") << "bad-value"
                                       << ""
                                       << "";
    QTest::newRow("a knob does not toggle") << QByteArray("set headphone.volume toggle") << "bad-value"
                                            << ""
                                            << "";
    QTest::newRow("below range") << QByteArray("set headphone.volume -81") << "bad-value"
                                 << ""
                                 << "";
    QTest::newRow("not on/off") << QByteArray("set speaker.mute yes") << "bad-value"
                                << ""
                                << "";
    QTest::newRow("one bad pair refuses all") << QByteArray("set speaker.mute on mic1.gain 99") << "bad-value"
                                              << ""
                                              << "";
    QTest::newRow("unknown name after a good pair")
        << QByteArray("set speaker.mute 1 speaker.loud 1") << "unknown-control"
        << ""
        << "";
    QTest::newRow("preset of another model") << QByteArray("load KA2 Button/SpeakerMuteIsChecked true") << "wrong-model"
                                             << ""
                                             << "";
    QTest::newRow("preset value out of range")
        << QByteArray("load KA2%20SE Button/SpeakerMuteIsChecked true Dial/Mic1Value 57") << "bad-value"
        << ""
        << "";
}

void tst_ControlServer::requestsAndTheirErrors()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, error);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    Served s;
    auto socket = s.connect();
    const int before = s.rig.sent().size();
    const QJsonObject reply = ask(*socket, request);
    QCOMPARE(reply.value("ok").toBool(), error.isEmpty());
    QCOMPARE(reply.value("error").toString(), error);
    if (!field.isEmpty())
        QCOMPARE(reply.value(field).toVariant().toString(), expected);
    if (!error.isEmpty()) {
        QVERIFY(!reply.value("message").toString().isEmpty());
        QCOMPARE(s.rig.sent().size(), before); // nothing reached the device
        QCOMPARE(s.panel.findChild<Button *>("speakerMuteButton")->isSelected(), false);
        QCOMPARE(s.rig.stored("/ka2se.ini", "Button/SpeakerMuteIsChecked"), QString("false"));
    }
}

void tst_ControlServer::channelChangeTakesTheMouseRoad()
{
    Served s;
    auto watcher = s.connect();
    QCOMPARE(ask(*watcher, "watch").value("ok").toBool(), true);
    auto client = s.connect();
    auto *mute = s.panel.findChild<Button *>("speakerMuteButton");
    testsupport::LogCapture log;

    // A switch set on the channel and the same switch clicked: the same requests, the same log.
    int from = s.rig.sent().size();
    QCOMPARE(ask(*client, "set speaker.mute on").value("ok").toBool(), true);
    const QStringList channelSent = s.rig.sent().mid(from);
    const QStringList channelLog = log.lines();
    QCOMPARE(s.rig.stored("/ka2se.ini", "Button/SpeakerMuteIsChecked"), QString("true"));
    QTest::mouseClick(mute, Qt::LeftButton); // off
    log.clear();
    from = s.rig.sent().size();
    QTest::mouseClick(mute, Qt::LeftButton); // on again
    QVERIFY(!channelLog.isEmpty());
    QCOMPARE(channelLog, log.lines());
    QCOMPARE(channelSent, s.rig.sent().mid(from));
    // Setting a switch to the state it has is no click.
    from = s.rig.sent().size();
    QCOMPARE(ask(*client, "set speaker.mute true").value("ok").toBool(), true);
    QCOMPARE(s.rig.sent().size(), from);

    // A knob: the device receives twice the gain, as from the knob; the pad its vendor command.
    // A gain painted "29dB" is 29 on the channel.
    QCOMPARE(ask(*client, "set mic1.gain 29 mic1.pad 1").value("ok").toBool(), true);
    const QStringList after = s.rig.sent().mid(from);
    QVERIFY(after.contains("vendor 01 07 00 02 01 28 00"));
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/Mic1Value"), QString("20"));
    QCOMPARE(s.rig.stored("/ka2se.ini", "Button/Mic120dBIsChecked"), QString("true"));
    QCOMPARE(ask(*client, "get mic1.gain").value("value").toString(), QString("29"));

    // Every change is announced once, whoever made it; a knob event with no change is not news.
    s.panel.findChild<Knob *>("speakerKnob")->setValue(-10);
    s.panel.findChild<Knob *>("speakerKnob")->setValue(-10);
    QStringList events;
    QDeadlineTimer deadline(5000);
    while (events.size() < 6 && !deadline.hasExpired()) {
        QTest::qWait(5);
        while (watcher->canReadLine())
            events << QString::fromUtf8(watcher->readLine().trimmed());
    }
    QTest::qWait(50);
    while (watcher->canReadLine())
        events << QString::fromUtf8(watcher->readLine().trimmed());
    QCOMPARE(events,
        QStringList({ R"({"event":"changed","name":"speaker.mute","value":"on"})",
            R"({"event":"changed","name":"speaker.mute","value":"off"})",
            R"({"event":"changed","name":"speaker.mute","value":"on"})",
            R"({"event":"changed","name":"mic1.gain","value":"29"})",
            R"({"event":"changed","name":"mic1.pad","value":"on"})",
            R"({"event":"changed","name":"speaker.volume","value":"-10"})" }));

    // A toggle is one request; a "Failed to" line another thread logs meanwhile is not a refusal.
    std::atomic<bool> logging { true };
    std::thread other([&logging] {
        while (logging)
            qDebug() << "Failed to do something elsewhere.";
    });
    const QJsonObject toggled = ask(*client, "set speaker.dim toggle");
    logging = false;
    other.join();
    QCOMPARE(toggled.value("ok").toBool(), true);
    QCOMPARE(s.panel.findChild<Button *>("speakerDimButton")->isSelected(), true);

    // A change the device refuses is reported as refused; the switch keeps it, as after a click.
    s.rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse);
    const QJsonObject refused = ask(*client, "set mic2.phantom on");
    QCOMPARE(refused.value("error").toString(), QString("refused"));
    QCOMPARE(s.panel.findChild<Button *>("mic2PhantomButton")->isSelected(), true);
    // Also where the panel logs no failure; the controls after the refused one are left alone.
    s.rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);
    log.clear();
    const QJsonObject partWay = ask(*client, "set phone.speaker -20 speaker.mute off");
    QCOMPARE(partWay.value("error").toString(), QString("refused"));
    QCOMPARE(partWay.value("control").toString(), QString("phone.speaker"));
    QVERIFY(!log.contains("Failed to"));
    QCOMPARE(mute->isSelected(), true);
}

void tst_ControlServer::presetsRoundTripAndRefuseWhole()
{
    Served s;
    ControlRegistry &controls = s.server.registry();
    const QJsonObject saved = controls.dump();
    QCOMPARE(saved.value("model").toString(), QString("KA2 SE"));
    QCOMPARE(saved.value("values").toObject().size(), 18);

    // The preset file: the panel's own keys and values, plus the model.
    const QString file = s.rig.iniPath("/evening.ini");
    QString why;
    QVERIFY(Preset::write(file, "KA2 SE", saved.value("values").toObject(), why));
    Preset preset;
    QVERIFY(preset.read(file, why));
    QCOMPARE(preset.model, QString("KA2 SE"));
    QCOMPARE(preset.values.size(), 18);
    QVERIFY(preset.values.contains({ "Dial/SpeakerValue", "-80" }));
    QVERIFY(preset.values.contains({ "Button/Mic2InstrIsChecked", "false" }));

    QCOMPARE(
        controls.set({ { "mic1.gain", "39" }, { "speaker.mute", "on" }, { "mic2.inst", "on" } }).value("ok").toBool(),
        true);
    const QJsonObject changed = controls.dump();

    // A preset that does not fit is refused whole: the device hears nothing, nothing is stored.
    const int before = int(s.rig.emulator.requests().size());
    using Pairs = ControlRegistry::Pairs;
    const std::vector<std::pair<QString, Pairs>> refused = {
        { "KA2 SE", { { "Dial/Mic1Value", "10" }, { "Dial/SpeakerValue", "9" } } },
        { "KA2 SE", { { "Button/SpeakerMuteIsChecked", "?" } } },
        { "KA2", { { "Dial/Mic1Value", "10" } } },
    };
    for (const auto &[model, pairs] : refused)
        QVERIFY(!controls.load(model, pairs).value("ok").toBool());
    int meterReads = 0;
    const std::vector<emu::RequestRecord> all = s.rig.emulator.requests();
    for (std::size_t i = before; i < all.size(); ++i)
        meterReads += all[i].code == PanelRig::kMeterCode;
    QCOMPARE(int(all.size()) - before, meterReads);
    QCOMPARE(controls.dump(), changed);
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/Mic1Value"), QString("30"));

    // A good one brings everything back in the restoring order, unknown keys reported.
    Pairs pairs(preset.values.begin(), preset.values.end());
    pairs.push_back({ "Other/Thing", "1" });
    const int from = s.rig.sent().size();
    const QJsonObject reply = controls.load("ka2se", pairs);
    QCOMPARE(reply.value("ok").toBool(), true);
    QCOMPARE(reply.value("unknown").toArray(), QJsonArray({ "Other/Thing" }));
    QCOMPARE(controls.dump(), saved);
    const QStringList loaded = s.rig.sent().mid(from);
    const emu::DeviceState afterLoad = s.rig.emulator.state();

    // Exactly what a restart with those stored values does after its output volumes.
    const int restartFrom = s.rig.sent().size();
    {
        ka2se restarted;
    }
    const QStringList restart = s.rig.sent().mid(restartFrom);
    QCOMPARE(loaded, restart.mid(restart.size() - loaded.size()));
    QCOMPARE(restart.size() - loaded.size(), 4);
    QCOMPARE(afterLoad.mixerBlock, s.rig.emulator.state().mixerBlock);
    QCOMPARE(afterLoad.instrument[1], false);
}

void tst_ControlServer::channelLimits()
{
    Served s;
    testsupport::LogCapture log;

    // A flood of bad lines gets one error each and leaves the channel serving.
    auto flood = s.connect();
    for (int i = 0; i < 200; ++i)
        flood->write(i % 2 ? "\x01\xff garbage\n" : "set mic1.gain 1e9\n");
    int errors = 0;
    QDeadlineTimer deadline(10000);
    while (errors < 200 && !deadline.hasExpired()) {
        QTest::qWait(5);
        while (flood->canReadLine())
            errors += QJsonDocument::fromJson(flood->readLine()).object().value("ok").toBool() ? 0 : 1;
    }
    QCOMPARE(errors, 200);
    QCOMPARE(ask(*flood, "get mic1.gain").value("value").toString(), QString("0"));

    // A line over 4 KiB drops its client, even before its end arrives.
    auto longLine = s.connect();
    longLine->write(QByteArray(4097, 'a'));
    QTRY_COMPARE(longLine->state(), QLocalSocket::UnconnectedState);
    QVERIFY(log.contains("Control client dropped: a line over 4 KiB."));
    QCOMPARE(s.server.clientCount(), 1);

    // Sixteen clients are served, the seventeenth refused; those that hang up make room.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 15; ++i)
        clients.push_back(s.connect());
    QTRY_COMPARE(s.server.clientCount(), 16);
    auto extra = s.connect();
    QCOMPARE(readReply(*extra).value("error").toString(), QString("busy"));
    QTRY_COMPARE(extra->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(s.server.clientCount(), 16);
    clients.resize(10);
    QTRY_COMPARE(s.server.clientCount(), 11);
    auto late = s.connect();
    QCOMPARE(ask(*late, "get mic2.gain").value("ok").toBool(), true);

    // A watcher that never reads is dropped once 1 MiB waits for it; the others go on.
    const int deaf = rawConnect(s.path());
    QVERIFY(deaf >= 0);
    QByteArray requests = "watch\n";
    for (int i = 0; i < 1500; ++i)
        requests += "list\n";
    QCOMPARE(::write(deaf, requests.constData(), requests.size()), ssize_t(requests.size()));
    QTRY_VERIFY_WITH_TIMEOUT(log.contains("Control client dropped: 1 MiB of replies and changes waits unread."), 20000);
    QTRY_COMPARE(s.server.clientCount(), 12);
    ::close(deaf);
    QCOMPARE(ask(*late, "get mic2.gain").value("ok").toBool(), true);

    // Lines sent just before hanging up are still carried out.
    auto brief = s.connect();
    brief->write("set speaker.dim on\n");
    brief->flush();
    brief->disconnectFromServer();
    QTRY_COMPARE(s.panel.findChild<Button *>("speakerDimButton")->isSelected(), true);
}

void tst_ControlServer::quietClientsAndTheDeviceComingAndGoing()
{
    Served s;
    s.server.setIdleLimit(300);
    auto watcher = s.connect();
    // The watcher starts from every control's present value.
    const QJsonArray current = ask(*watcher, "watch").value("controls").toArray();
    QCOMPARE(current.size(), 18);
    QCOMPARE(current.at(5).toObject(), QJsonObject({ { "name", "mic1.gain" }, { "value", "0" } }));
    auto quiet = s.connect();
    QCOMPARE(ask(*quiet, "status").value("ok").toBool(), true);
    // A client that says nothing gives its place up; a quiet watcher keeps listening.
    QTRY_COMPARE(quiet->state(), QLocalSocket::UnconnectedState);
    QTest::qWait(400);
    QCOMPARE(watcher->state(), QLocalSocket::ConnectedState);

    // The main window clears the panel and builds it again: watchers hear both.
    s.server.registry().forget();
    QCOMPARE(readReply(*watcher).value("event").toString(), QString("device-gone"));
    auto asker = s.connect();
    QCOMPARE(ask(*asker, "get mic1.gain").value("error").toString(), QString("no-device"));
    s.server.registry().follow(&s.panel.controls(), "KA2 SE", "V1.2");
    const QJsonObject back = readReply(*watcher);
    QCOMPARE(back.value("event").toString(), QString("device-back"));
    QCOMPARE(back.value("model").toString(), QString("KA2 SE"));
}

void tst_ControlServer::pipelinedSetsLeaveTheLoopRunning()
{
    // The settings folder in memory where there is one: each set ends in the handler's INI sync,
    // whose flush on a busy disk alone can take longer than the pause measured here.
    const QByteArray tmp = qgetenv("TMPDIR");
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    Served s;
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    s.panel.show();
    auto client = s.connect();
    // A thousand sets in one go, while the panel repaints; the loop's longest pause is measured.
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += "set headphone.volume " + QByteArray::number(-(i % 60)) + '\n';
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &s.panel, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
        s.panel.update();
    });
    ticker.start(5);
    clock.start();
    // First the loop's own longest pause, repainting only (a slow build paints slowly).
    QTest::qWait(500);
    const qint64 painting = longest;
    longest = 0;
    client->write(lines);
    int ok = 0;
    int replies = 0;
    QDeadlineTimer deadline(60000);
    while (replies < 1000 && !deadline.hasExpired()) {
        QTest::qWait(1);
        while (client->canReadLine()) {
            ++replies;
            ok += QJsonDocument::fromJson(client->readLine()).object().value("ok").toBool();
        }
    }
    QCOMPARE(ok, 1000);
    qDebug() << "1000 sets in" << clock.elapsed() - 500 << "ms, longest pause of the event loop" << longest
             << "ms, repainting alone" << painting << "ms";
    QVERIFY2(longest < 50 + painting, qPrintable(QString::number(longest)));
}

void tst_ControlServer::otherUserIsRefused()
{
    if (::geteuid() != 0)
        QSKIP("Only root can act as a second user here.");
    Served s;
    testsupport::LogCapture log;
    // Another user's process: the runtime folder alone keeps it off the channel.
    const auto asNobody = [](const QString &path) -> pid_t {
        const QByteArray bytes = QFile::encodeName(path);
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(3);
            const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
            sockaddr_un address {};
            address.sun_family = AF_UNIX;
            std::memcpy(address.sun_path, bytes.constData(), std::min<std::size_t>(bytes.size(), 100));
            if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
                ::_exit(0); // refused at the door
            if (::write(fd, "status\n", 7) != 7)
                ::_exit(0);
            char reply[256];
            ::_exit(::read(fd, reply, sizeof(reply)) > 0 ? 1 : 0); // 1: it was served
        }
        return pid;
    };
    const auto exitOf = [](pid_t pid) {
        int status = -1;
        QDeadlineTimer deadline(10000);
        while (::waitpid(pid, &status, WNOHANG) == 0 && !deadline.hasExpired())
            QTest::qWait(10);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    QCOMPARE(exitOf(asNobody(s.path())), 0);

    // Even with the socket opened to everyone, the server sends the stranger away.
    QTemporaryDir open(QDir::tempPath() + QStringLiteral("/ctl-open-XXXXXX"));
    QVERIFY(::chmod(QFile::encodeName(open.path()).constData(), 0755) == 0);
    ControlServer exposed;
    const QString path = open.path() + QStringLiteral("/control");
    QVERIFY(exposed.start(path));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0777) == 0);
    QCOMPARE(exitOf(asNobody(path)), 0);
    QVERIFY(log.contains("Control client refused: it runs as another user."));
    QCOMPARE(exposed.clientCount(), 0);
}

void tst_ControlServer::accessibleKnobsAndSwitches()
{
    struct Seen
    {
        QAccessible::Event type;
        QObject *object;
        QVariant value;
    };
    static std::vector<Seen> log;
    log.clear();
    QAccessible::installUpdateHandler([](QAccessibleEvent *event) {
        QVariant value;
        if (event->type() == QAccessible::ValueChanged)
            value = static_cast<QAccessibleValueChangeEvent *>(event)->value();
        else if (event->type() == QAccessible::StateChanged)
            value = static_cast<QAccessibleStateChangeEvent *>(event)->changedStates().checked;
        log.push_back({ event->type(), event->object(), value });
    });
    // The shipped catalog, which words each text in the context the panel marks it in.
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral(ORVELIN_QM_DIR "/OrvelinDriver_zh_CN.qm")));
    QCoreApplication::installTranslator(&translator);
    Served s;
    QAccessible::setActive(true);
    ControlRegistry &controls = s.server.registry();
    auto *knob = s.panel.findChild<Knob *>("mic1Knob");

    QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(knob);
    QVERIFY(dial);
    QCOMPARE(dial->role(), QAccessible::Dial);
    QCOMPARE(dial->text(QAccessible::Name), QString::fromUtf8("麦克风 1 增益"));
    QVERIFY(dial->valueInterface());
    QCOMPARE(controls.set({ { "mic1.gain", "21" } }).value("ok").toBool(), true);
    QCOMPARE(knob->value, 12);
    // In the units painted, with the offset; the lowest value is painted "0dB".
    QCOMPARE(dial->text(QAccessible::Value), QString("21dB"));
    QCOMPARE(dial->valueInterface()->currentValue().toInt(), 21);
    QCOMPARE(dial->valueInterface()->minimumValue().toInt(), 0);
    QCOMPARE(dial->valueInterface()->maximumValue().toInt(), 65);
    const QJsonObject gain = controls.list().value("controls").toArray().at(5).toObject();
    QCOMPARE(gain.value("max").toInt(), 65);
    QCOMPARE(gain.value("unit").toString(), QString("dB"));
    // Reachable with Tab, so a screen reader follows the focus onto it.
    QVERIFY(dial->state().focusable);
    // A screen reader's own change takes the typed value's road, handler and INI file included.
    dial->valueInterface()->setCurrentValue(39);
    QCOMPARE(knob->value, 30);
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/Mic1Value"), QString("30"));

    auto *mute = s.panel.findChild<Button *>("headphoneMuteButton");
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(mute);
    QCOMPARE(button->role(), QAccessible::CheckBox);
    QCOMPARE(button->text(QAccessible::Name), QString::fromUtf8("耳机 MUTE"));
    QVERIFY(button->state().checkable);
    QVERIFY(!button->state().checked);
    QVERIFY(button->actionInterface());
    button->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QVERIFY(button->state().checked);
    QCOMPARE(s.rig.stored("/ka2se.ini", "Button/HeadphoneMuteIsChecked"), QString("true"));

    // A switch whose caption is its state keeps its name; the state is the checked state.
    auto *instrument = s.panel.findChild<Button *>("mic2InstrumentButton");
    QCOMPARE(controls.set({ { "mic2.inst", "on" } }).value("ok").toBool(), true);
    QCOMPARE(instrument->text(), QString::fromUtf8("乐器"));
    QCOMPARE(QAccessible::queryAccessibleInterface(instrument)->text(QAccessible::Name),
        QString::fromUtf8("麦克风 2 乐器输入"));
    QVERIFY(QAccessible::queryAccessibleInterface(instrument)->state().checked);
    QCOMPARE(controls.list().value("controls").toArray().at(1).toObject().value("label").toString(),
        QString::fromUtf8("麦克风 2 乐器输入"));

    QCoreApplication::removeTranslator(&translator);

    // Each change was announced once, to the element it belongs to. Qt passes events on only
    // where a platform bridge to screen readers is up, which the offscreen platform has not.
    QAccessible::installUpdateHandler(nullptr);
    const bool bridged = QAccessible::isActive();
    QAccessible::setActive(false);
    if (!bridged)
        QSKIP("No screen reader bridge on this platform: the announcements were not checked.");
    const auto count = [](QAccessible::Event type, QObject *object, const QVariant &value) {
        return std::count_if(log.begin(), log.end(), [&](const Seen &e) {
            return e.type == type && e.object == object && (!value.isValid() || e.value == value);
        });
    };
    QCOMPARE(count(QAccessible::ValueChanged, knob, 21), 1);
    QCOMPARE(count(QAccessible::ValueChanged, knob, 39), 1);
    QCOMPARE(count(QAccessible::StateChanged, mute, true), 1);
    QCOMPARE(count(QAccessible::NameChanged, instrument, QVariant()), 0);
}

QTEST_MAIN(tst_ControlServer)
#include "tst_ControlServer.moc"
