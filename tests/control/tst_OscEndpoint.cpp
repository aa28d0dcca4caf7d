#include "control/AllowList.h"
#include "control/OscEndpoint.h"
#include "control/OscMessage.h"
#include "controls/Knob.h"
#include "panels/ka2se.h"
#include "tests/support/RemoteRig.h"

#include <QNetworkDatagram>
#include <QThread>
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
    void cannotBeTurnedAgainstItselfOrOthers();
    void floodsEndWhenTheyStop();
    void offUntilRemoteIniSaysSo();
    void onlyAllowedSendersReachTheControls();
};

namespace {

// A KA2 SE panel on the emulator, its registry followed, the endpoint on a free loopback port.
struct Served : RemoteRig<ka2se>
{
    Served()
        : RemoteRig(18, "KA2 SE")
    {
        QVERIFY(osc.listen(QHostAddress::LocalHost, 0));
    }
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
    // Whatever arrived before the answer to /orvelin/model: every packet sent earlier was served.
    QStringList heardUntilModel()
    {
        send(OscMessage("/orvelin/model"));
        QStringList heard;
        for (QString line = next(); !line.startsWith("/orvelin/model") && !line.isEmpty(); line = next())
            heard << line;
        return heard;
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

// One bundle of the given messages.
QByteArray bundleOf(const QList<QByteArray> &messages)
{
    QByteArray packet = inBundles(1, QByteArray()).left(16);
    for (const QByteArray &message : messages)
        packet += inBundles(1, message).mid(16);
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
    const int before = s.rig.sent().size();
    // The fat message: one packet of 65,400 T tags, which once held 2.6 MB in the queue.
    QByteArray fat = OscMessage("/orvelin/mic1/phantom").encode().left(24) + ',' + QByteArray(65400, 'T');
    fat += QByteArray(int(4 - fat.size() % 4), '\0');
    phone.send(fat);
    const QByteArray set = OscMessage("/orvelin/headphone/volume").addInt(-30).encode();
    phone.send(QByteArray("GET / HTTP/1.1\r\n\r\n"));
    phone.send(inBundles(9, set));
    phone.send(OscMessage("/orvelin/" + QByteArray(300, 'a')).addInt(1).encode());
    QTRY_COMPARE(s.osc.droppedPackets(), 4);
    QCOMPARE(s.osc.refusedMessages(), 0);
    // Bundles nested 8 deep are still taken; the endpoint goes on serving.
    phone.send(inBundles(8, OscMessage("/orvelin/model").encode()));
    QString reply;
    for (QDeadlineTimer deadline(20000); !reply.startsWith("/orvelin/model") && !deadline.hasExpired();)
        reply = phone.next();
    QCOMPARE(reply, QString("/orvelin/model \"KA2 SE\" \"V1.2\""));
    // One line in full, then counts once a second at most.
    QVERIFY(log.contains(QStringLiteral("OSC packet dropped from 127.0.0.1:%1: a message of more than 16 arguments.")
                             .arg(phone.socket.localPort())));
    QTRY_VERIFY(log.contains("more packets dropped or messages refused"));
    QVERIFY(log.lines().filter("OSC").size() <= 4);
    QCOMPARE(s.rig.sent().size(), before);

    // Two waves of 400 messages of 200-byte strings, each to an address of its own, the second
    // while the first waits: under 1024 messages, so only their bytes can be too many.
    int address = 0;
    const auto wave = [&] {
        for (int p = 0; p < 8; ++p) {
            QList<QByteArray> heavy;
            while (heavy.size() < 50)
                heavy << OscMessage("/orvelin/x/" + QByteArray::number(++address))
                             .addString(QByteArray(200, 'x'))
                             .encode();
            phone.send(bundleOf(heavy));
        }
    };
    connect(&s.registry, &ControlRegistry::changed, &s.registry, wave, Qt::SingleShotConnection);
    phone.send(set);
    wave();
    QTRY_VERIFY(s.osc.droppedPackets() > 4);
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
    // Every interface only where Allow= names who may send.
    QVERIFY(!listens({ { "Osc/Port", free }, { "Osc/Address", "0.0.0.0" } }));
    QVERIFY(log.contains("Address \"0.0.0.0\""));
    QVERIFY(!listens({ { "Osc/Port", free }, { "Osc/Address", "::" }, { "Osc/Allow", "bogus" } }));
    QVERIFY(log.contains("Allow entry \"bogus\""));
    QVERIFY(listens({ { "Osc/Port", free }, { "Osc/Address", "0.0.0.0" },
        { "Osc/Allow", QStringList { "127.0.0.1", "192.168.1.0/24" } } }));
}

void tst_OscEndpoint::cannotBeTurnedAgainstItselfOrOthers()
{
    Served s;
    Surface phone(s);
    // Its own port subscribed once had it answer its own snapshot with errors to itself for ever;
    // its own output taken as input answers an error with an error.
    phone.send(OscMessage("/orvelin/subscribe").addInt(s.osc.port()));
    phone.send(OscMessage("/orvelin/error").addString("/orvelin/x").addString("unknown address"));
    phone.send(OscMessage("/orvelin/device").addString("KA2 SE"));
    phone.send(OscMessage("/orvelin/model").addString("KA2 SE").addString("V1.2"));
    QCOMPARE(phone.heardUntilModel(),
        QStringList(
            "/orvelin/error \"/orvelin/subscribe\" \"" + QString::number(s.osc.port()) + " is the panel's own port\""));
    // A packet from the loopback with the panel's own port gets nothing at all.
    QUdpSocket spoof;
    QVERIFY(spoof.bind(QHostAddress("127.0.0.2"), s.osc.port()));
    spoof.writeDatagram(OscMessage("/orvelin/subscribe").encode(), QHostAddress::LocalHost, s.osc.port());
    QVERIFY(phone.heardUntilModel().isEmpty());
    QCOMPARE(s.osc.subscriberCount(), 0);
    QCOMPARE(s.osc.refusedMessages(), 1);
    QCOMPARE(s.osc.droppedPackets(), 4);

    // Nor can it be turned against another: a subscription's snapshot goes once, and a packet,
    // whatever it holds, gets one answer.
    const QByteArray subscribe = OscMessage("/orvelin/subscribe").encode();
    phone.send(subscribe);
    phone.heardUntilModel();
    const qint64 snapshot = s.osc.sentBytes();
    // 6.7 KB of renewals and bundles of 64 requests.
    for (int i = 0; i < 20; ++i)
        phone.send(subscribe);
    phone.send(bundleOf(QList<QByteArray>(64, subscribe)));
    phone.send(bundleOf(QList<QByteArray>(64, OscMessage("/orvelin/model").encode())));
    phone.send(bundleOf(QList<QByteArray>(64, OscMessage("/orvelin/nothing").encode())));
    phone.heardUntilModel();
    QVERIFY2(s.osc.sentBytes() - snapshot < 256, qPrintable(QString::number(s.osc.sentBytes() - snapshot)));
}

void tst_OscEndpoint::floodsEndWhenTheyStop()
{
    Served s;
    Surface phone(s);
    const int before = s.rig.sent().size();
    // 1,001 fader values and 1,001 toggles: the last value and one flip, in far fewer requests.
    for (int i = 0; i < 20; ++i) {
        phone.send(bundleOf(QList<QByteArray>(50, OscMessage("/orvelin/headphone/volume").addInt(-i).encode())));
        phone.send(bundleOf(QList<QByteArray>(50, OscMessage("/orvelin/headphone/mute/toggle").encode())));
        QTest::qWait(i % 5 == 4 ? 20 : 0);
    }
    phone.send(OscMessage("/orvelin/headphone/volume").addInt(-33));
    phone.send(OscMessage("/orvelin/headphone/mute/toggle"));
    phone.heardUntilModel();
    QCOMPARE(s.registry.get("headphone.volume").value("value").toString(), QString("-33"));
    QCOMPARE(s.registry.get("headphone.mute").value("value").toString(), QString("on"));
    const int requests = s.rig.sent().size();
    QVERIFY2(requests - before < 100, qPrintable(QString::number(requests - before)));
    QTest::qWait(1200);
    QCOMPARE(s.rig.sent().size(), requests);

    // What waited over a second behind a slow change is dropped, not carried out late.
    connect(
        &s.registry, &ControlRegistry::changed, &s.registry, [] { QThread::msleep(1100); }, Qt::SingleShotConnection);
    phone.send(bundleOf({ OscMessage("/orvelin/headphone/volume").addInt(-10).encode(),
        OscMessage("/orvelin/speaker/volume").addInt(-10).encode(),
        OscMessage("/orvelin/mic1/phantom").addInt(1).encode() }));
    QTRY_COMPARE(s.osc.staleMessages(), 2);
    QCOMPARE(s.registry.get("speaker.volume").value("value").toString(), QString("-80"));
}

void tst_OscEndpoint::onlyAllowedSendersReachTheControls()
{
    QStringList rejected;
    const AllowList list
        = AllowList::parse("192.168.1.0/24, 10.0.0.7 fd00::/8 localhost, my.phone, 10.1, 10.0.0.0/33", &rejected);
    // "10.1" would read as 10.0.0.1.
    QCOMPARE(rejected, QStringList({ "my.phone", "10.1", "10.0.0.0/33" }));
    for (const char *address : { "192.168.1.20", "::ffff:192.168.1.20", "10.0.0.7", "fd00::5", "127.0.0.1", "::1" })
        QVERIFY2(list.allows(QHostAddress(address)), address);
    for (const char *address : { "192.168.2.1", "10.0.0.8", "10.0.0.1", "fe80::1" })
        QVERIFY2(!list.allows(QHostAddress(address)), address);
    QVERIFY(AllowList().allows(QHostAddress("127.9.9.9")) && !AllowList().allows(QHostAddress("192.168.1.20")));

    // Another account's program on the loopback where only a network may send: no 48 V, no answer.
    Served s;
    OscEndpoint lan(s.registry);
    QVERIFY(lan.listen(QHostAddress::LocalHost, 0, AllowList::parse("192.168.1.0/24")));
    const QByteArray phantom = OscMessage("/orvelin/mic1/phantom").addBool(true).encode();
    Surface other(s);
    other.socket.writeDatagram(phantom, QHostAddress::LocalHost, lan.port());
    QTRY_COMPARE(lan.droppedPackets(), 1);
    QCOMPARE(s.registry.get("mic1.phantom").value("value").toString(), QString("off"));
    other.send(phantom); // the loopback may, by default
    QTRY_COMPARE(s.registry.get("mic1.phantom").value("value").toString(), QString("on"));
}

QTEST_MAIN(tst_OscEndpoint)
#include "tst_OscEndpoint.moc"
