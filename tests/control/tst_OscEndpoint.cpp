#include "control/ControlRegistry.h"
#include "control/OscEndpoint.h"
#include "control/OscMessage.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka2se.h"
#include "tests/PanelRig.h"

#include <QNetworkDatagram>
#include <QProcess>
#include <QUdpSocket>
#include <QtTest>

class tst_OscEndpoint : public QObject
{
    Q_OBJECT

private slots:
    void faderTakesTheMouseRoadAndHearsTheKnob();
    void refusalsAreAnsweredAndChangeNothing_data();
    void refusalsAreAnsweredAndChangeNothing();
    void badPacketsAreDroppedAndCounted();
    void offUntilRemoteIniSaysSo();
    void libloPeerSetsAndHears();
};

namespace {

// A KA2 SE panel on the emulator, its registry followed, the endpoint on a free loopback port.
struct Served
{
    Served()
    {
        registry.follow(&panel.controls(), "KA2 SE", "V1.2");
        QVERIFY(osc.listen(QHostAddress::LocalHost, 0));
    }
    PanelRig rig { 18 };
    ka2se panel;
    ControlRegistry registry;
    OscEndpoint osc { registry };
};

// A control surface: a UDP socket of its own on the loopback.
struct Surface
{
    explicit Surface(const Served &s)
        : to(s.osc.port())
    {
        socket.bind(QHostAddress::LocalHost, 0);
    }
    void send(const QByteArray &packet) { socket.writeDatagram(packet, QHostAddress::LocalHost, to); }
    void send(const OscMessage &message) { send(message.encode()); }
    // The next message that arrives, within a deadline; an empty address when none does.
    OscMessage next(int ms = 3000)
    {
        QDeadlineTimer deadline(ms);
        while (!socket.hasPendingDatagrams() && !deadline.hasExpired())
            QTest::qWait(1);
        std::vector<OscMessage> got;
        const QByteArray data = socket.receiveDatagram().data();
        if (OscMessage::decode(data.constData(), std::size_t(data.size()), got) != OscMessage::Fault::None)
            return OscMessage();
        return got.empty() ? OscMessage() : got.front();
    }
    QUdpSocket socket;
    quint16 to;
};

QString render(const OscMessage &m)
{
    QString text = QString::fromLatin1(m.address);
    for (const OscMessage::Argument &a : m.arguments)
        text += a.type == 'i' ? QStringLiteral(" %1").arg(a.i) : QStringLiteral(" \"%1\"").arg(QString(a.s));
    return text;
}

QByteArray nested(int depth, const QByteArray &inner)
{
    QByteArray packet = inner;
    for (int i = 0; i < depth; ++i) {
        const char n[4] = { 0, char(packet.size() >> 16), char(packet.size() >> 8), char(packet.size()) };
        packet = QByteArray("#bundle\0", 8) + QByteArray(8, '\0') + QByteArray(n, 4) + packet;
    }
    return packet;
}

} // namespace

void tst_OscEndpoint::faderTakesTheMouseRoadAndHearsTheKnob()
{
    Served s;
    Surface phone(s);
    auto *knob = s.panel.findChild<Knob *>("headphoneKnob");
    testsupport::LogCapture log;

    // Subscribing brings the device and every control's present value at once.
    phone.send(OscMessage("/orvelin/subscribe"));
    QCOMPARE(render(phone.next()), QString("/orvelin/device \"KA2 SE\""));
    QStringList snapshot;
    for (int i = 0; i < 18; ++i)
        snapshot << render(phone.next());
    QVERIFY(snapshot.contains("/orvelin/headphone/volume -80"));
    QVERIFY(snapshot.contains("/orvelin/mic2/inst 0"));

    // The fader's -20 and the knob's -20: the same block to the device, the same log, the INI.
    log.clear();
    const int from = s.rig.sent().size();
    phone.send(OscMessage("/orvelin/headphone/volume").addInt(-20));
    QCOMPARE(render(phone.next()), QString("/orvelin/headphone/volume -20"));
    QCOMPARE(s.rig.sent().mid(from), QStringList({ "block" }));
    const std::vector<std::uint8_t> faderBlock = s.rig.blocks().back();
    const QStringList faderLog = log.lines();
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/HeadphoneValue"), QString("-20"));
    knob->setValue(-21);
    log.clear();
    knob->setValue(-20);
    QCOMPARE(s.rig.blocks().back(), faderBlock);
    QCOMPARE(log.lines(), faderLog);
    QCOMPARE(render(phone.next()), QString("/orvelin/headphone/volume -21"));
    QCOMPARE(render(phone.next()), QString("/orvelin/headphone/volume -20"));

    // A whole float, T/F and a toggle, each heard back as the value painted.
    phone.send(OscMessage("/orvelin/speaker/volume").addFloat(-6.0F));
    QCOMPARE(render(phone.next()), QString("/orvelin/speaker/volume -6"));
    phone.send(OscMessage("/orvelin/headphone/mute").addBool(true));
    QCOMPARE(render(phone.next()), QString("/orvelin/headphone/mute 1"));
    phone.send(OscMessage("/orvelin/headphone/mute/toggle"));
    QCOMPARE(render(phone.next()), QString("/orvelin/headphone/mute 0"));
    QCOMPARE(s.rig.stored("/ka2se.ini", "Button/HeadphoneMuteIsChecked"), QString("false"));
    phone.send(OscMessage("/orvelin/model"));
    QCOMPARE(render(phone.next()), QString("/orvelin/model \"KA2 SE\" \"V1.2\""));

    // The device leaving and coming back; a subscription not renewed ends, and with it the timer.
    s.registry.forget();
    QCOMPARE(render(phone.next()), QString("/orvelin/device \"\""));
    s.osc.setSubscriptionLifetime(100);
    phone.send(OscMessage("/orvelin/subscribe").addInt(phone.socket.localPort()));
    QTRY_COMPARE(s.osc.subscriberCount(), 1);
    QTRY_COMPARE(s.osc.subscriberCount(), 0);
    for (QTimer *timer : s.osc.findChildren<QTimer *>())
        QVERIFY(!timer->isActive() || timer->interval() == 0);
}

void tst_OscEndpoint::refusalsAreAnsweredAndChangeNothing_data()
{
    QTest::addColumn<QByteArray>("packet");
    QTest::addColumn<QString>("reason");
    QTest::newRow("out of range, not clamped")
        << OscMessage("/orvelin/headphone/volume").addInt(-81).encode() << "-81 is out of range";
    QTest::newRow("fraction") << OscMessage("/orvelin/headphone/volume").addFloat(-20.5F).encode()
                              << "-20.5 is not a whole number";
    QTest::newRow("no value") << OscMessage("/orvelin/headphone/volume").encode() << "takes one number";
    QTest::newRow("two values") << OscMessage("/orvelin/headphone/mute").addInt(1).addInt(1).encode()
                                << "takes one number";
    QTest::newRow("a string") << OscMessage("/orvelin/headphone/mute").addString("on").encode() << "not type s";
    QTest::newRow("a switch takes 1 or 0") << OscMessage("/orvelin/headphone/mute").addInt(2).encode() << "not \"2\"";
    QTest::newRow("a knob does not toggle") << OscMessage("/orvelin/headphone/volume/toggle").encode() << "toggle";
    QTest::newRow("unknown control") << OscMessage("/orvelin/headphone/loud").addInt(1).encode() << "no control";
    QTest::newRow("not ours") << OscMessage("/1/fader1").addFloat(0.5F).encode() << "unknown address";
    QTest::newRow("no device") << QByteArray() << "No device";
}

void tst_OscEndpoint::refusalsAreAnsweredAndChangeNothing()
{
    QFETCH(QByteArray, packet);
    QFETCH(QString, reason);
    Served s;
    Surface phone(s);
    if (packet.isEmpty()) {
        s.registry.forget();
        packet = OscMessage("/orvelin/headphone/volume").addInt(-20).encode();
    }
    const int before = int(s.rig.emulator.requests().size());
    const QString address = QString::fromLatin1(packet.left(packet.indexOf('\0')));
    phone.send(packet);
    const OscMessage error = phone.next();
    QCOMPARE(QString(error.address), QString("/orvelin/error"));
    QCOMPARE(error.arguments.size(), std::size_t(2));
    QCOMPARE(QString(error.arguments[0].s), address);
    QVERIFY2(QString(error.arguments[1].s).contains(reason), error.arguments[1].s.constData());
    QCOMPARE(s.osc.refusedMessages(), 1);
    for (std::size_t i = std::size_t(before); i < s.rig.emulator.requests().size(); ++i)
        QCOMPARE(s.rig.emulator.requests()[i].code, PanelRig::kMeterCode);
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/HeadphoneValue"), QString("-80"));
    QCOMPARE(s.panel.findChild<Button *>("headphoneMuteButton")->isSelected(), false);
}

void tst_OscEndpoint::badPacketsAreDroppedAndCounted()
{
    Served s;
    Surface phone(s);
    testsupport::LogCapture log;
    const QByteArray set = OscMessage("/orvelin/headphone/volume").addInt(-30).encode();
    phone.send(QByteArray("GET / HTTP/1.1\r\n\r\n"));
    phone.send(nested(9, set));
    phone.send(OscMessage("/orvelin/" + QByteArray(300, 'a')).addInt(1).encode());
    phone.send(set.left(set.size() - 4)); // the argument cut off
    // A flood: bundles of 50 sets, far more than may wait.
    QByteArray fifty;
    for (int i = 0; i < 50; ++i)
        fifty += nested(1, OscMessage("/orvelin/headphone/volume").addInt(-(i % 40)).encode()).mid(16);
    const QByteArray bundle = QByteArray("#bundle\0", 8) + QByteArray(8, '\0') + fifty;
    for (int i = 0; i < 100; ++i)
        phone.send(bundle);
    QTRY_VERIFY(s.osc.droppedPackets() >= 4 + 20);
    // Bundles nested 8 deep are still taken; the endpoint goes on serving.
    phone.send(nested(8, OscMessage("/orvelin/model").encode()));
    QDeadlineTimer deadline(20000);
    OscMessage reply;
    while (QString(reply.address) != "/orvelin/model" && !deadline.hasExpired())
        reply = phone.next();
    QCOMPARE(render(reply), QString("/orvelin/model \"KA2 SE\" \"V1.2\""));
    QCOMPARE(s.osc.refusedMessages(), 0);
    // One line in full, then counts once a second at most.
    QVERIFY(
        log.contains("OSC packet dropped from 127.0.0.1:" + QString::number(phone.socket.localPort()) + ": not OSC."));
    QTRY_VERIFY(log.contains("more packets dropped or messages refused"));
    QVERIFY(log.lines().filter("OSC").size() <= 4);
}

void tst_OscEndpoint::offUntilRemoteIniSaysSo()
{
    PanelRig rig { 18, false };
    ControlRegistry registry;
    testsupport::LogCapture log;
    const QString path = OscEndpoint::settingsPath();
    QVERIFY(path.startsWith(rig.env.appDataDir()));
    const auto tried = [&](const QVariantMap &values) {
        QFile::remove(path);
        if (!values.isEmpty())
            rig.store("/remote.ini", values);
        OscEndpoint osc(registry);
        return osc.start() && osc.listening();
    };
    QVERIFY(!tried({}));
    QVERIFY(!tried({ { "Osc/Address", "127.0.0.1" } }));
    QVERIFY(!tried({ { "Osc/Port", "70000" } }));
    QVERIFY(!tried({ { "Osc/Port", "9000" }, { "Osc/Address", "my.phone" } }));
    QVERIFY(log.contains("Address \"my.phone\""));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    QVERIFY(!tried({ { "Osc/Port", holder.localPort() } }));
    QVERIFY(log.contains("OSC endpoint not started on 127.0.0.1:" + QString::number(holder.localPort())));
    const quint16 free = holder.localPort();
    holder.close();
    QVERIFY(tried({ { "Osc/Port", free } }));
}

void tst_OscEndpoint::libloPeerSetsAndHears()
{
    QString python;
    for (const QString &candidate : { QStringLiteral("python3"), QStringLiteral("/usr/bin/python3") }) {
        QProcess probe;
        probe.start(candidate, { "-c", "import liblo" });
        if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) {
            python = candidate;
            break;
        }
    }
    if (python.isEmpty())
        QSKIP("No python3 with liblo (python3-liblo).");
    Served s;
    // liblo subscribes from its server's port, sets the volume and prints what it hears.
    const QString script = QStringLiteral(R"(
import liblo, sys
server = liblo.Server()
heard = []
server.add_method(None, None, lambda path, args: heard.append("%s %s" % (path, args)))
server.send(("127.0.0.1", %1), "/orvelin/subscribe")
server.send(("127.0.0.1", %1), "/orvelin/headphone/volume", -20)
for _ in range(200):
    server.recv(20)
    if "/orvelin/headphone/volume [-20]" in heard:
        break
print("\n".join(heard))
)")
                               .arg(s.osc.port());
    QProcess peer;
    peer.start(python, { "-c", script });
    QTRY_COMPARE_WITH_TIMEOUT(peer.state(), QProcess::NotRunning, 10000);
    const QStringList heard = QString::fromUtf8(peer.readAllStandardOutput()).split('\n');
    QVERIFY2(heard.contains("/orvelin/device ['KA2 SE']"), qPrintable(heard.join('|')));
    QVERIFY(heard.contains("/orvelin/headphone/volume [-80]"));
    QVERIFY(heard.contains("/orvelin/headphone/volume [-20]"));
    QCOMPARE(s.panel.findChild<Knob *>("headphoneKnob")->value, -20);
}

QTEST_MAIN(tst_OscEndpoint)
#include "tst_OscEndpoint.moc"
