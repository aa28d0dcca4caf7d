#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka2se.h"
#include "tests/PanelRig.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QtTest>

#include <memory>
#include <vector>

class tst_ControlServer : public QObject
{
    Q_OBJECT

private slots:
    void requestsAndTheirErrors_data();
    void requestsAndTheirErrors();
    void setGoesThroughTheHandlerAndIsAnnounced();
    void presetRefusalChangesNothing();
    void channelLimits();
    void accessibleKnobsAndSwitches();
};

namespace {

QString serverName(const PanelRig &rig)
{
    return rig.iniPath(QStringLiteral("/ctl.sock"));
}

QJsonObject ask(QLocalSocket &socket, const QByteArray &line)
{
    socket.write(line + '\n');
    // The server lives on this thread, so the wait runs the event loop.
    QDeadlineTimer deadline(5000);
    while (!socket.canReadLine() && !deadline.hasExpired())
        QTest::qWait(2);
    return QJsonDocument::fromJson(socket.readLine()).object();
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
    QTest::newRow("above range, not clamped") << QByteArray("set mic1.gain 57") << "bad-value"
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
}

void tst_ControlServer::requestsAndTheirErrors()
{
    QFETCH(QByteArray, request);
    QFETCH(QString, error);
    QFETCH(QString, field);
    QFETCH(QString, expected);
    PanelRig rig(18);
    ka2se panel;
    ControlServer server(&panel);
    QVERIFY(server.start(serverName(rig)));
    QLocalSocket socket;
    socket.connectToServer(serverName(rig));
    QVERIFY(socket.waitForConnected(2000));
    const int before = rig.sent().size();
    const QJsonObject reply = ask(socket, request);
    QCOMPARE(reply.value("ok").toBool(), error.isEmpty());
    QCOMPARE(reply.value("error").toString(), error);
    if (!field.isEmpty())
        QCOMPARE(reply.value(field).toVariant().toString(), expected);
    if (!error.isEmpty()) {
        QVERIFY(!reply.value("message").toString().isEmpty());
        QCOMPARE(rig.sent().size(), before); // nothing reached the device
        QCOMPARE(panel.findChild<Button *>("speakerMuteButton")->isSelected(), false);
    }
}

void tst_ControlServer::setGoesThroughTheHandlerAndIsAnnounced()
{
    PanelRig rig(18);
    ka2se panel;
    ControlServer server(&panel);
    QVERIFY(server.start(serverName(rig)));
    QLocalSocket watcher;
    watcher.connectToServer(serverName(rig));
    QVERIFY(watcher.waitForConnected(2000));
    QCOMPARE(ask(watcher, "watch").value("ok").toBool(), true);

    QLocalSocket client;
    client.connectToServer(serverName(rig));
    QVERIFY(client.waitForConnected(2000));
    rig.sent(); // the start-up requests
    const int before = rig.sent().size();
    QCOMPARE(ask(client, "set mic1.gain 20 mic1.pad true").value("ok").toBool(), true);
    // The gain goes to the device doubled, as from the knob; the pad through its vendor command.
    const QStringList after = rig.sent().mid(before);
    QVERIFY(after.contains("vendor 01 07 00 02 01 28 00"));
    QCOMPARE(rig.stored("/ka2se.ini", "Dial/Mic1Value"), QString("20"));
    QCOMPARE(rig.stored("/ka2se.ini", "Button/Mic120dBIsChecked"), QString("true"));

    // A mouse change is announced too, once per change.
    panel.findChild<Knob *>("speakerKnob")->setValue(-10);
    QStringList events;
    while (events.size() < 3 && (watcher.canReadLine() || (QTest::qWait(20), watcher.canReadLine())))
        while (watcher.canReadLine())
            events << QString::fromUtf8(watcher.readLine().trimmed());
    QCOMPARE(events,
        QStringList({ R"({"event":"changed","name":"mic1.gain","value":"20"})",
            R"({"event":"changed","name":"mic1.pad","value":"on"})",
            R"({"event":"changed","name":"speaker.volume","value":"-10"})" }));
}

void tst_ControlServer::presetRefusalChangesNothing()
{
    PanelRig rig(18);
    ka2se panel;
    ControlServer server(&panel);
    ControlRegistry &controls = server.registry();
    const QJsonObject saved = controls.dump();
    QCOMPARE(saved.value("model").toString(), QString("KA2 SE"));
    QCOMPARE(saved.value("values").toObject().size(), 18);

    rig.sent();
    const int before = rig.sent().size();
    const ControlRegistry::Pairs bad = { { "Dial/Mic1Value", "30" }, { "Dial/SpeakerValue", "9" } };
    QCOMPARE(controls.load("KA2 SE", bad).value("error").toString(), QString("bad-value"));
    QCOMPARE(controls.load("KA2", { { "Dial/Mic1Value", "30" } }).value("error").toString(), QString("wrong-model"));
    QCOMPARE(rig.sent().size(), before);
    QCOMPARE(panel.findChild<Knob *>("mic1Knob")->value, 0);

    // A good one: unknown keys reported, the rest in restoring order, input types first.
    const QJsonObject reply = controls.load(
        "ka2 se", { { "Dial/Mic1Value", "30" }, { "Other/Thing", "1" }, { "Button/Mic2InstrIsChecked", "true" } });
    QCOMPARE(reply.value("ok").toBool(), true);
    QCOMPARE(reply.value("unknown").toArray().size(), 1);
    const QStringList after = rig.sent().mid(before);
    QCOMPARE(after.size(), 2);
    QCOMPARE(after[1], QString("vendor 01 07 00 02 01 3C 00"));
    QCOMPARE(rig.stored("/ka2se.ini", "Button/Mic2InstrIsChecked"), QString("true"));
}

void tst_ControlServer::channelLimits()
{
    PanelRig rig(18);
    ka2se panel;
    ControlServer server(&panel);
    QVERIFY(server.start(serverName(rig)));

    // A flood of bad lines gets one error each and leaves the channel serving.
    QLocalSocket flood;
    flood.connectToServer(serverName(rig));
    QVERIFY(flood.waitForConnected(2000));
    for (int i = 0; i < 200; ++i)
        flood.write("\x01\xff garbage\n");
    int errors = 0;
    while (errors < 200 && (flood.canReadLine() || (QTest::qWait(20), flood.canReadLine())))
        while (flood.canReadLine())
            errors += QJsonDocument::fromJson(flood.readLine()).object().value("ok").toBool() ? 0 : 1;
    QCOMPARE(errors, 200);
    QCOMPARE(ask(flood, "get mic1.gain").value("ok").toBool(), true);

    // A line over 4 KiB drops its client.
    QLocalSocket longLine;
    longLine.connectToServer(serverName(rig));
    QVERIFY(longLine.waitForConnected(2000));
    longLine.write(QByteArray(5000, 'a'));
    QTRY_COMPARE(longLine.state(), QLocalSocket::UnconnectedState);

    // The 17th client is refused.
    std::vector<std::unique_ptr<QLocalSocket>> clients;
    for (int i = 0; i < 15; ++i) {
        clients.push_back(std::make_unique<QLocalSocket>());
        clients.back()->connectToServer(serverName(rig));
        QVERIFY(clients.back()->waitForConnected(2000));
    }
    QTRY_COMPARE(server.clientCount(), 16);
    QLocalSocket extra;
    extra.connectToServer(serverName(rig));
    QVERIFY(extra.waitForConnected(2000));
    QTRY_VERIFY(extra.canReadLine());
    QCOMPARE(QJsonDocument::fromJson(extra.readLine()).object().value("error").toString(), QString("busy"));
}

void tst_ControlServer::accessibleKnobsAndSwitches()
{
    PanelRig rig(18);
    ka2se panel;
    ControlServer server(&panel);
    auto *knob = panel.findChild<Knob *>("mic1Knob");
    knob->setValue(12);
    QAccessibleInterface *dial = QAccessible::queryAccessibleInterface(knob);
    QVERIFY(dial);
    QCOMPARE(dial->role(), QAccessible::Dial);
    QCOMPARE(dial->text(QAccessible::Name), QString("MIC1 Gain"));
    QVERIFY(dial->valueInterface());
    QCOMPARE(dial->valueInterface()->currentValue().toInt(), 12);
    QCOMPARE(dial->valueInterface()->minimumValue().toInt(), 0);
    QCOMPARE(dial->valueInterface()->maximumValue().toInt(), 56);
    QVERIFY(!dial->state().focusable);
    QCOMPARE(knob->focusPolicy(), Qt::NoFocus);

    auto *mute = panel.findChild<Button *>("headphoneMuteButton");
    QAccessibleInterface *button = QAccessible::queryAccessibleInterface(mute);
    QCOMPARE(button->text(QAccessible::Name), QString("HEADPHONE MUTE"));
    QVERIFY(button->state().checkable);
    QVERIFY(!button->state().checked);
    mute->setSelected(true);
    QVERIFY(button->state().checked);
}

QTEST_MAIN(tst_ControlServer)
#include "tst_ControlServer.moc"
