#include "control/ControlRegistry.h"
#include "control/OscEndpoint.h"
#include "control/OscMessage.h"
#include "controls/Knob.h"
#include "panels/ka2se.h"
#include "tests/support/PanelRig.h"

#include <QNetworkDatagram>
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

// A control surface on a UDP socket of its own; what it hears reads `/address 1 "text"`.
struct Surface
{
    explicit Surface(const Served &s)
        : to(s.osc.port())
    {
        socket.bind(QHostAddress::LocalHost, 0);
    }
    void send(const QByteArray &packet) { socket.writeDatagram(packet, QHostAddress::LocalHost, to); }
    void send(const OscMessage &message) { send(message.encode()); }
    QString next()
    {
        QDeadlineTimer deadline(3000);
        while (!socket.hasPendingDatagrams() && !deadline.hasExpired())
            QTest::qWait(1);
        std::vector<OscMessage> got;
        const QByteArray data = socket.receiveDatagram().data();
        if (OscMessage::decode(data.constData(), std::size_t(data.size()), got) != OscMessage::Fault::None
            || got.empty())
            return QString();
        QString text = QString::fromLatin1(got[0].address);
        for (const OscMessage::Argument &a : got[0].arguments)
            text += a.type == 'i' ? QStringLiteral(" %1").arg(a.i) : QStringLiteral(" \"%1\"").arg(QString(a.s));
        return text;
    }
    QUdpSocket socket;
    quint16 to;
};

QByteArray inBundles(int depth, QByteArray packet)
{
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
    QCOMPARE(phone.next(), QString("/orvelin/device \"KA2 SE\""));
    QStringList snapshot;
    for (int i = 0; i < 18; ++i)
        snapshot << phone.next();
    QVERIFY(snapshot.contains("/orvelin/headphone/volume -80"));

    // The fader's -20 and the knob's -20: the same block to the device, the same log, the INI.
    log.clear();
    const int from = s.rig.sent().size();
    phone.send(OscMessage("/orvelin/headphone/volume").addInt(-20));
    QCOMPARE(phone.next(), QString("/orvelin/headphone/volume -20"));
    QCOMPARE(s.rig.sent().mid(from), QStringList({ "block" }));
    const std::vector<std::uint8_t> faderBlock = s.rig.blocks().back();
    const QStringList faderLog = log.lines();
    QCOMPARE(s.rig.stored("/ka2se.ini", "Dial/HeadphoneValue"), QString("-20"));
    knob->setValue(-21);
    log.clear();
    knob->setValue(-20);
    QCOMPARE(s.rig.blocks().back(), faderBlock);
    QCOMPARE(log.lines(), faderLog);
    QCOMPARE(phone.next(), QString("/orvelin/headphone/volume -21"));
    QCOMPARE(phone.next(), QString("/orvelin/headphone/volume -20"));

    // A whole float, T/F and a toggle, each heard back as the value painted.
    phone.send(OscMessage("/orvelin/speaker/volume").addFloat(-6.0F));
    QCOMPARE(phone.next(), QString("/orvelin/speaker/volume -6"));
    phone.send(OscMessage("/orvelin/headphone/mute").addBool(true));
    QCOMPARE(phone.next(), QString("/orvelin/headphone/mute 1"));
    phone.send(OscMessage("/orvelin/headphone/mute/toggle"));
    QCOMPARE(phone.next(), QString("/orvelin/headphone/mute 0"));
    phone.send(OscMessage("/orvelin/model"));
    QCOMPARE(phone.next(), QString("/orvelin/model \"KA2 SE\" \"V1.2\""));

    // The device leaving; a subscription not renewed ends, and with it the expiry timer.
    s.registry.forget();
    QCOMPARE(phone.next(), QString("/orvelin/device \"\""));
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
    const auto volume = [] { return OscMessage("/orvelin/headphone/volume"); };
    const auto mute = [] { return OscMessage("/orvelin/headphone/mute"); };
    QTest::newRow("out of range, not clamped") << volume().addInt(-81).encode() << "-81 is out of range";
    QTest::newRow("fraction") << volume().addFloat(-20.5F).encode() << "-20.5 is not a whole number";
    QTest::newRow("no value") << volume().encode() << "takes one number";
    QTest::newRow("a string") << mute().addString("on").encode() << "not type s";
    QTest::newRow("a switch takes 1 or 0") << mute().addInt(2).encode() << "not \"2\"";
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
    phone.send(packet);
    const QString error = phone.next();
    QVERIFY2(error.startsWith("/orvelin/error \"" + packet.left(packet.indexOf('\0')) + "\" \""), qPrintable(error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    QCOMPARE(s.osc.refusedMessages(), 1);
    for (std::size_t i = std::size_t(before); i < s.rig.emulator.requests().size(); ++i)
        QCOMPARE(s.rig.emulator.requests()[i].code, PanelRig::kMeterCode);
}

void tst_OscEndpoint::badPacketsAreDroppedAndCounted()
{
    Served s;
    Surface phone(s);
    testsupport::LogCapture log;
    const QByteArray set = OscMessage("/orvelin/headphone/volume").addInt(-30).encode();
    phone.send(QByteArray("GET / HTTP/1.1\r\n\r\n"));
    phone.send(inBundles(9, set));
    phone.send(OscMessage("/orvelin/" + QByteArray(300, 'a')).addInt(1).encode());
    // A flood: bundles of 50 sets, far more than may wait.
    QByteArray bundle = inBundles(1, QByteArray()).left(16);
    for (int i = 0; i < 50; ++i)
        bundle += inBundles(1, OscMessage("/orvelin/headphone/volume").addInt(-(i % 40)).encode()).mid(16);
    for (int i = 0; i < 100; ++i)
        phone.send(bundle);
    QTRY_VERIFY(s.osc.droppedPackets() >= 3 + 20);
    // Bundles nested 8 deep are still taken; the endpoint goes on serving.
    phone.send(inBundles(8, OscMessage("/orvelin/model").encode()));
    QString reply;
    for (QDeadlineTimer deadline(20000); !reply.startsWith("/orvelin/model") && !deadline.hasExpired();)
        reply = phone.next();
    QCOMPARE(reply, QString("/orvelin/model \"KA2 SE\" \"V1.2\""));
    // One line in full, then counts once a second at most.
    QVERIFY(
        log.contains(QStringLiteral("OSC packet dropped from 127.0.0.1:%1: not OSC.").arg(phone.socket.localPort())));
    QTRY_VERIFY(log.contains("more packets dropped or messages refused"));
    QVERIFY(log.lines().filter("OSC").size() <= 4);
}

void tst_OscEndpoint::offUntilRemoteIniSaysSo()
{
    PanelRig rig { 18, false };
    ControlRegistry registry;
    testsupport::LogCapture log;
    QVERIFY(OscEndpoint::settingsPath().startsWith(rig.env.appDataDir()));
    const auto listens = [&](const QVariantMap &values) {
        QFile::remove(OscEndpoint::settingsPath());
        if (!values.isEmpty())
            rig.store("/remote.ini", values);
        OscEndpoint osc(registry);
        return osc.start() && osc.listening();
    };
    QVERIFY(!listens({}));
    QVERIFY(!listens({ { "Osc/Port", "70000" } }));
    QVERIFY(!listens({ { "Osc/Port", "9000" }, { "Osc/Address", "my.phone" } }));
    QVERIFY(log.contains("Address \"my.phone\""));
    QUdpSocket holder;
    QVERIFY(holder.bind(QHostAddress::LocalHost, 0, QAbstractSocket::DontShareAddress));
    QVERIFY(!listens({ { "Osc/Port", holder.localPort() } }));
    QVERIFY(log.contains("OSC endpoint not started on 127.0.0.1:" + QString::number(holder.localPort())));
    const quint16 free = holder.localPort();
    holder.close();
    QVERIFY(listens({ { "Osc/Port", free } }));
}

QTEST_MAIN(tst_OscEndpoint)
#include "tst_OscEndpoint.moc"
