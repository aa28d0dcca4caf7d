#include "client/Preset.h"
#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "controls/KnobAccessible.h"
#include "panels/ka2se.h"
#include "tests/support/PanelRig.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
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
    void valuesAsMixerToolsWriteThem();
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
    QDeadlineTimer deadline(30000); // only a fault waits this long
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
    QTest::newRow("not on/off") << QByteArray("set speaker.mute maybe") << "bad-value"
                                << ""
                                << "";
    QTest::newRow("mute is for mute switches") << QByteArray("set mic1.phantom mute") << "bad-value"
                                               << ""
                                               << "";
    // The knob's editor reads "dB" as written; a gain it would show as 0 is no gain of 5.
    QTest::newRow("unit in another case") << QByteArray("set headphone.volume -20DB") << "bad-value"
                                          << ""
                                          << "";
    QTest::newRow("a step in another case") << QByteArray("set headphone.volume 2db+") << "bad-value"
                                            << ""
                                            << "";
    QTest::newRow("a gain the knob cannot show") << QByteArray("set mic1.gain 5") << "bad-value"
                                                 << ""
                                                 << "";
    QTest::newRow("a step both ways") << QByteArray("set headphone.volume -2dB+") << "bad-value"
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
    QCOMPARE(ask(*client, "get mic1.gain").value("value"), QJsonValue(29));

    // Every change is announced once, whoever made it; a knob event with no change is not news.
    s.panel.findChild<Knob *>("speakerKnob")->setValue(-10);
    s.panel.findChild<Knob *>("speakerKnob")->setValue(-10);
    QStringList events;
    QDeadlineTimer deadline(30000);
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
            R"({"event":"changed","name":"mic1.gain","value":29})",
            R"({"event":"changed","name":"mic1.pad","value":"on"})",
            R"({"event":"changed","name":"speaker.volume","value":-10})" }));

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

void tst_ControlServer::valuesAsMixerToolsWriteThem()
{
    Served s;
    auto client = s.connect();
    const auto setTo = [&](const QByteArray &pairs) { return ask(*client, "set " + pairs); };
    // Typed as the knob's editor takes it; the reply names what was set, a knob's value a number.
    QCOMPARE(setTo("headphone.volume -20dB"),
        QJsonObject({ { "ok", true },
            { "controls", QJsonArray { QJsonObject { { "name", "headphone.volume" }, { "value", -20 } } } } }));

    // Steps as amixer writes them, each from where the last left the knob; one past the end of
    // the range stops there and says where. The gain's step above 0 is the knob's own: to 10.
    const struct
    {
        const char *pairs;
        int reached;
    } steps[] = { { "headphone.volume 2dB+", -18 }, { "headphone.volume 3-", -21 }, { "headphone.volume 30dB+", 6 },
        { "headphone.volume 1dB+", 6 }, { "speaker.volume 5dB-", -80 }, { "mic1.gain 1dB+", 10 },
        { "mic1.gain 100dB+", 65 }, { "headphone.volume -10 headphone.volume 2dB-", -12 } };
    for (const auto &step : steps) {
        const QJsonArray set = setTo(step.pairs).value("controls").toArray();
        QCOMPARE(set.size(), 1);
        QCOMPARE(set.at(0).toObject().value("value"), QJsonValue(step.reached));
    }
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/HeadphoneValue"), QString("-12"));
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/Mic1Value"), QString("56"));

    // The words of other mixers for switches.
    const struct
    {
        const char *pairs;
        const char *state;
    } words[] = { { "speaker.mute mute", "on" }, { "speaker.mute unmute", "off" }, { "mic1.phantom yes", "on" },
        { "mic1.phantom NO", "off" } };
    for (const auto &word : words)
        QCOMPARE(setTo(word.pairs).value("controls").toArray().at(0).toObject().value("value").toString(),
            QString(word.state));

    // A gain the knob would show as 0 is refused, with the numbers it can show.
    const QJsonObject unshown = setTo("mic1.gain 9");
    QCOMPARE(
        unshown.value("message").toString(), QString("The value 9 is out of range: mic1.gain takes 0 or 10 to 65"));
    QCOMPARE(ask(*client, "get mic1.gain").value("value"), QJsonValue(65));

    // One style for every error: a capitalised sentence without a full stop.
    for (const char *request : { "set mic1.gain 9", "set headphone.volume +3", "set headphone.volume loud",
             "set speaker.mute maybe", "get nothing", "twist", "", "set mic1.gain", "load KA2 Dial/Mic1Value 1",
             "load KA2%20SE Dial/Mic1Value x" }) {
        const QString message = ask(*client, request).value("message").toString();
        QVERIFY2(!message.isEmpty() && message.at(0).isUpper() && !message.endsWith('.'), qPrintable(message));
    }
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
    QDeadlineTimer deadline(60000);
    while (errors < 200 && !deadline.hasExpired()) {
        QTest::qWait(5);
        while (flood->canReadLine())
            errors += QJsonDocument::fromJson(flood->readLine()).object().value("ok").toBool() ? 0 : 1;
    }
    QCOMPARE(errors, 200);
    QCOMPARE(ask(*flood, "get mic1.gain").value("value"), QJsonValue(0));
    flood.reset();

    // A client that reads as it goes is never dropped, however many requests it sends at once.
    auto reader = s.connect();
    QByteArray lists;
    for (int i = 0; i < 2000; ++i)
        lists += "list\n";
    reader->write(lists);
    int listed = 0;
    deadline.setRemainingTime(120000);
    while (listed < 2000 && reader->state() == QLocalSocket::ConnectedState && !deadline.hasExpired()) {
        QTest::qWait(1);
        while (reader->canReadLine())
            listed += QJsonDocument::fromJson(reader->readLine()).object().value("controls").toArray().size() == 18;
    }
    QCOMPARE(listed, 2000);
    QVERIFY(!log.contains("Control client dropped"));
    reader.reset();
    QTRY_COMPARE(s.server.clientCount(), 0);

    // A line over 4 KiB drops its client, even before its end arrives.
    auto longLine = s.connect();
    longLine->write(QByteArray(4097, 'a'));
    QTRY_COMPARE(longLine->state(), QLocalSocket::UnconnectedState);
    QVERIFY(log.contains("Control client dropped: a line over 4 KiB."));
    QCOMPARE(s.server.clientCount(), 0);

    // Sixteen clients are served, the seventeenth refused; those that hang up make room.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 16; ++i)
        clients.push_back(s.connect());
    QTRY_COMPARE(s.server.clientCount(), 16);
    auto extra = s.connect();
    QCOMPARE(ask(*extra, "status").value("error").toString(), QString("busy"));
    QTRY_COMPARE(extra->state(), QLocalSocket::UnconnectedState);
    QCOMPARE(s.server.clientCount(), 16);
    clients.resize(10);
    QTRY_COMPARE(s.server.clientCount(), 10);
    auto late = s.connect();
    QCOMPARE(ask(*late, "get mic2.gain").value("ok").toBool(), true);

    // A watcher that never reads: its requests wait once its replies pile up, so they alone never
    // drop it; the changes that go on coming for it do, at 1 MiB. The others go on meanwhile.
    const int deaf = rawConnect(s.path());
    QVERIFY(deaf >= 0);
    QByteArray requests = "watch\n";
    for (int i = 0; i < 1500; ++i)
        requests += "list\n";
    QCOMPARE(::write(deaf, requests.constData(), requests.size()), ssize_t(requests.size()));
    QTRY_COMPARE(s.server.clientCount(), 12);
    const QString dropped = QStringLiteral("Control client dropped: 1 MiB of replies and changes waits unread.");
    QTest::qWait(500);
    QVERIFY(!log.contains(dropped));
    // Each time the device comes back a watcher hears every control again: about 1 KiB.
    int comebacks = 0;
    for (; comebacks < 4000 && !log.contains(dropped); ++comebacks) {
        s.server.registry().forget();
        s.server.registry().follow(&s.panel.controls(), "KA2 SE", "V1.2");
        QCoreApplication::processEvents();
    }
    QVERIFY(log.contains(dropped));
    QVERIFY2(comebacks > 100, qPrintable(QString::number(comebacks))); // 1 MiB of changes, not the lists
    QTRY_COMPARE(s.server.clientCount(), 11);
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
    QCOMPARE(current.at(5).toObject(), QJsonObject({ { "name", "mic1.gain" }, { "value", 0 } }));
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
    // Then the value every control was restored to, as a watcher that came now would start.
    QJsonArray restored;
    for (QJsonObject event = readReply(*watcher); event.value("event") == QJsonValue("changed");
         event = restored.size() < 18 ? readReply(*watcher) : QJsonObject())
        restored.append(QJsonObject { { "name", event.value("name") }, { "value", event.value("value") } });
    QCOMPARE(restored, current);
}

void tst_ControlServer::pipelinedSetsLeaveTheLoopRunning()
{
    // The settings folder in memory where there is one: each set ends in the handler's INI sync.
    const QByteArray tmp = qgetenv("TMPDIR");
    if (QFileInfo(QStringLiteral("/dev/shm")).isWritable())
        qputenv("TMPDIR", "/dev/shm");
    Served s;
    tmp.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmp);
    s.panel.show();
    auto client = s.connect();
    // A thousand sets in one go, while the panel repaints. The loop's rounds between the first set
    // carried out and the last are counted with a timer that fires on every round: served in turns
    // of a few milliseconds, the loop runs and the panel paints between them (bench_control
    // measures the pauses); served at once, it would not run at all.
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += "set headphone.volume " + QByteArray::number(-(i % 60)) + '\n';
    int changes = 0;
    connect(&s.server.registry(), &ControlRegistry::changed, &s.panel, [&changes] { ++changes; });
    int ticksBetween = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, &s.panel, [&] {
        ticksBetween += changes > 0 && changes < 1000;
        s.panel.update();
    });
    ticker.start(0);
    client->write(lines);
    int ok = 0;
    int replies = 0;
    QDeadlineTimer deadline(120000);
    while (replies < 1000 && !deadline.hasExpired()) {
        QTest::qWait(1);
        while (client->canReadLine()) {
            ++replies;
            ok += QJsonDocument::fromJson(client->readLine()).object().value("ok").toBool();
        }
    }
    QCOMPARE(ok, 1000);
    QCOMPARE(changes, 1000);
    QVERIFY2(ticksBetween >= 2, qPrintable(QString::number(ticksBetween)));
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
        QDeadlineTimer deadline(30000);
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
