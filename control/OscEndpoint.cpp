#include "control/OscEndpoint.h"

#include "control/ControlRegistry.h"
#include "control/ServingTurn.h"

#include <QDebug>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <cmath>

namespace {

const QByteArray kPrefix = QByteArrayLiteral("/orvelin/");

QByteArray addressOf(const QString &control)
{
    return kPrefix + control.toLatin1().replace('.', '/');
}

// A value as the registry speaks it ("on", "off", "-20"), as a control surface takes it: a number.
OscMessage changeMessage(const QString &control, const QString &value)
{
    OscMessage message(addressOf(control));
    if (value == QLatin1String("on") || value == QLatin1String("off"))
        message.addInt(value == QLatin1String("on") ? 1 : 0);
    else
        message.addInt(value.toInt());
    return message;
}

OscMessage deviceMessage(const QString &model)
{
    return OscMessage("/orvelin/device").addString(model.toUtf8());
}

// The memory a waiting message holds, its entry in the queue included.
qint64 heldBytes(const OscMessage &message, std::size_t entry)
{
    qint64 bytes
        = qint64(entry) + message.address.size() + qint64(message.arguments.size() * sizeof(OscMessage::Argument));
    for (const OscMessage::Argument &argument : message.arguments)
        bytes += argument.s.size();
    return bytes;
}

// What the panel itself sends: taken as input, a subscribed panel would talk to itself for ever.
bool ownOutput(const OscMessage &message)
{
    return message.address == "/orvelin/error" || message.address == "/orvelin/device"
        || (message.address == "/orvelin/model" && !message.arguments.empty());
}

QString where(const QHostAddress &address, quint16 port)
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

} // namespace

OscEndpoint::OscEndpoint(ControlRegistry &registry, QObject *parent)
    : QObject(parent)
    , controls(registry)
    , socket(new QUdpSocket(this))
    , turn(new ServingTurn(
          ServingTurn::kTurnItems, [this] { serve(); }, this))
    , expiry(new QTimer(this))
    , notes(new QTimer(this))
{
    clock.start();
    expiry->setSingleShot(true);
    notes->setSingleShot(true);
    connect(expiry, &QTimer::timeout, this, &OscEndpoint::expire);
    connect(notes, &QTimer::timeout, this, &OscEndpoint::flushNotes);
    connect(socket, &QUdpSocket::readyRead, this, &OscEndpoint::pull);
    connect(&controls, &ControlRegistry::changed, this,
        [this](const QString &name, const QString &value) { broadcast(changeMessage(name, value)); });
    connect(&controls, &ControlRegistry::deviceChanged, this, [this](bool connected, const QString &model) {
        broadcast(deviceMessage(connected ? model : QString()));
        // A panel built anew restored its controls before it was followed: its values are news.
        if (connected)
            for (Subscriber &subscriber : subscribers)
                sendSnapshot(subscriber);
    });
}

OscEndpoint::~OscEndpoint()
{
    flushNotes();
}

QString OscEndpoint::settingsPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/remote.ini");
}

bool OscEndpoint::start(const QString &path)
{
    if (!QFileInfo::exists(path)) {
        qDebug().noquote() << "OSC endpoint off: no" << path;
        return false;
    }
    QSettings settings(path, QSettings::IniFormat);
    const QString portText = settings.value(QStringLiteral("Osc/Port")).toString().trimmed();
    if (portText.isEmpty()) {
        qDebug().noquote() << "OSC endpoint off: no [Osc] Port in" << path;
        return false;
    }
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port == 0 || port > 65535) {
        qDebug().noquote()
            << QStringLiteral("OSC endpoint not started: Port \"%1\" in %2 is no port number.").arg(portText, path);
        return false;
    }
    const QString addressText
        = settings.value(QStringLiteral("Osc/Address"), QStringLiteral("127.0.0.1")).toString().trimmed();
    QHostAddress address;
    if (addressText.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress::LocalHost;
    else if (!address.setAddress(addressText)) {
        qDebug().noquote() << QStringLiteral("OSC endpoint not started: Address \"%1\" in %2 is no IP address.")
                                  .arg(addressText, path);
        return false;
    }
    QStringList rejected;
    const AllowList allow = AllowList::read(settings, QStringLiteral("Osc/Allow"), &rejected);
    for (const QString &entry : rejected)
        qDebug().noquote() << QStringLiteral(
            "OSC endpoint: Allow entry \"%1\" in %2 is no address or network; left out.")
                                  .arg(entry, path);
    // Every interface takes packets from every network the machine is on: only for named senders.
    if (AllowList::everyInterface(address) && !allow.named()) {
        qDebug().noquote() << QStringLiteral("OSC endpoint not started: Address \"%1\" in %2 listens on every "
                                             "interface; Allow= must name who may send.")
                                  .arg(addressText, path);
        return false;
    }
    return listen(address, quint16(port), allow);
}

bool OscEndpoint::listen(const QHostAddress &address, quint16 port, const AllowList &allow)
{
    // Not shared: a port another program holds is a failure to report, not a port to split.
    if (!socket->bind(address, port, QAbstractSocket::DontShareAddress)) {
        qDebug().noquote() << "OSC endpoint not started on" << where(address, port) + ':' << socket->errorString();
        return false;
    }
    allowed = allow;
    ownAddresses.clear();
    for (const QHostAddress &own : QNetworkInterface::allAddresses())
        ownAddresses << AllowList::plain(own);
    qDebug().noquote() << "OSC endpoint listening on" << where(address, socket->localPort());
    qDebug().noquote() << "OSC endpoint: every control is open to" << allowed.text();
    if (!allowed.named() && !address.isLoopback())
        qDebug() << "OSC endpoint: only the loopback may send until Allow= in remote.ini names the surfaces.";
    return true;
}

bool OscEndpoint::listening() const
{
    return socket->state() == QAbstractSocket::BoundState;
}

quint16 OscEndpoint::port() const
{
    return socket->localPort();
}

void OscEndpoint::pull()
{
    // A bounded read: the rest waits in the system and wakes the loop again.
    for (int n = 0; n < kReadBatch && socket->hasPendingDatagrams(); ++n) {
        const QNetworkDatagram datagram = socket->receiveDatagram(65536);
        const QHostAddress from = datagram.senderAddress();
        const quint16 port = quint16(datagram.senderPort());
        // Unanswered: an answer would go to whoever the sender claims to be.
        if (!allowed.allows(from)) {
            drop(from, port, "not a sender Allow= names");
            continue;
        }
        if (isSelf(from, port)) {
            drop(from, port, "it claims to come from the panel's own address and port");
            continue;
        }
        const QByteArray data = datagram.data();
        std::vector<OscMessage> messages;
        const OscMessage::Fault fault = OscMessage::decode(data.constData(), std::size_t(data.size()), messages);
        if (fault != OscMessage::Fault::None) {
            drop(from, port, OscMessage::faultText(fault));
            continue;
        }
        qint64 bytes = 0;
        for (const OscMessage &message : messages)
            bytes += heldBytes(message, sizeof(Waiting));
        if (queue.size() + messages.size() > std::size_t(kMaxQueued)) {
            drop(from, port, "1024 messages wait already");
            continue;
        }
        if (queuedBytes + bytes > kMaxQueuedBytes) {
            drop(from, port, "256 KiB of messages wait already");
            continue;
        }
        ++packets;
        for (OscMessage &message : messages)
            enqueue({ std::move(message), from, port, packets });
    }
    if (!queue.empty() || socket->hasPendingDatagrams())
        turn->request();
}

void OscEndpoint::enqueue(Received &&received)
{
    const OscMessage &message = received.message;
    if (ownOutput(message)) {
        ++dropped;
        note(QStringLiteral("OSC message dropped from %1: %2 is the panel's own output.")
                 .arg(where(received.from, received.port), QString::fromLatin1(message.address)));
        return;
    }
    // A control's waiting entry takes its later sets and toggles: a fader sends dozens of values a
    // second, the device needs the last.
    QByteArray control;
    bool toggle = false;
    if (message.address.startsWith(kPrefix) && message.address != "/orvelin/subscribe"
        && message.address != "/orvelin/model") {
        toggle = message.address.endsWith("/toggle");
        if (!toggle)
            control = message.address;
        else if (message.arguments.empty())
            control = message.address.chopped(7);
    }
    const qint64 now = clock.elapsed();
    const auto found = control.isEmpty() ? waitingControls.constEnd() : waitingControls.constFind(control);
    if (found != waitingControls.constEnd()) {
        Waiting &waiting = queue[std::size_t(found.value() - firstWaiting)];
        if (toggle) {
            waiting.toggled = !waiting.toggled;
        } else {
            queuedBytes -= waiting.bytes;
            waiting.bytes = heldBytes(message, sizeof(Waiting));
            queuedBytes += waiting.bytes;
            waiting.received.message = std::move(received.message);
            waiting.toggled = false;
        }
        waiting.received.from = received.from;
        waiting.received.port = received.port;
        waiting.received.packet = received.packet;
        waiting.arrived = now;
        return;
    }
    if (!control.isEmpty())
        waitingControls.insert(control, firstWaiting + queue.size());
    const qint64 bytes = heldBytes(message, sizeof(Waiting));
    queuedBytes += bytes;
    if (toggle && !control.isEmpty())
        received.message = OscMessage(); // no set, only the toggle
    queue.push_back({ std::move(received), now, bytes, control, toggle && !control.isEmpty() });
}

void OscEndpoint::serve()
{
    turn->begin();
    while (!queue.empty() && turn->open()) {
        Waiting waiting = std::move(queue.front());
        queue.pop_front();
        ++firstWaiting;
        queuedBytes -= waiting.bytes;
        if (!waiting.control.isEmpty())
            waitingControls.remove(waiting.control);
        Received &received = waiting.received;
        if (clock.elapsed() - waiting.arrived > kMaxWaitMs) {
            ++stale;
            ++dropped;
            note(QStringLiteral("OSC message dropped from %1: %2 waited over a second.")
                     .arg(where(received.from, received.port),
                         QString::fromLatin1(waiting.control.isEmpty() ? received.message.address : waiting.control)));
            continue;
        }
        turn->served();
        if (!received.message.address.isEmpty())
            handle(received);
        if (waiting.toggled) {
            received.message = OscMessage(waiting.control + "/toggle");
            handle(received);
        }
    }
    pull();
}

bool OscEndpoint::isSelf(const QHostAddress &address, quint16 port) const
{
    if (port != socket->localPort())
        return false;
    const QHostAddress sender = AllowList::plain(address);
    return sender.isLoopback() || ownAddresses.contains(sender);
}

void OscEndpoint::handle(const Received &received)
{
    const QByteArray &address = received.message.address;
    const std::vector<OscMessage::Argument> &arguments = received.message.arguments;
    if (address == "/orvelin/subscribe") {
        subscribe(received);
        return;
    }
    if (address == "/orvelin/model") {
        if (!arguments.empty())
            refuse(received, QStringLiteral("takes no arguments"));
        else if (!controls.connected())
            refuse(received, QStringLiteral("No device is connected."));
        else
            answer(received,
                OscMessage(address)
                    .addString(controls.modelName().toUtf8())
                    .addString(controls.firmwareText().toUtf8()));
        return;
    }
    if (!address.startsWith(kPrefix) || address.size() == kPrefix.size()) {
        refuse(received, QStringLiteral("unknown address"));
        return;
    }
    QString name = QString::fromLatin1(address.mid(kPrefix.size())).replace(QLatin1Char('/'), QLatin1Char('.'));
    if (name.endsWith(QLatin1String(".toggle"))) {
        if (!arguments.empty())
            refuse(received, QStringLiteral("takes no arguments"));
        else
            setControl(received, name.chopped(7), QStringLiteral("toggle"));
        return;
    }
    if (arguments.size() != 1) {
        refuse(received, QStringLiteral("takes one number, or T or F"));
        return;
    }
    const OscMessage::Argument &argument = arguments.front();
    switch (argument.type) {
    case 'i':
        setControl(received, name, QString::number(argument.i));
        return;
    case 'f':
        // A control steps in whole numbers. Rounding would move the control to a value that was
        // not asked for, so 2.5 is refused here as "2.5" is on the control channel.
        if (!std::isfinite(argument.f) || std::floor(argument.f) != argument.f || std::fabs(argument.f) > 1e9F)
            refuse(received, QStringLiteral("%1 is not a whole number").arg(double(argument.f)));
        else
            setControl(received, name, QString::number(qint64(argument.f)));
        return;
    case 'T':
    case 'F':
        setControl(received, name, argument.type == 'T' ? QStringLiteral("on") : QStringLiteral("off"));
        return;
    default:
        refuse(received, QStringLiteral("takes one number, or T or F, not type %1").arg(QLatin1Char(argument.type)));
    }
}

void OscEndpoint::setControl(const Received &received, const QString &name, const QString &value)
{
    const QJsonObject reply = controls.set({ { name, value } });
    if (!reply.value(QLatin1String("ok")).toBool())
        refuse(received, reply.value(QLatin1String("message")).toString());
}

void OscEndpoint::subscribe(const Received &received)
{
    const std::vector<OscMessage::Argument> &arguments = received.message.arguments;
    quint16 port = received.port;
    if (arguments.size() == 1 && arguments.front().type == 'i' && arguments.front().i > 0
        && arguments.front().i <= 65535)
        port = quint16(arguments.front().i);
    else if (!arguments.empty()) {
        refuse(received, QStringLiteral("takes no argument or a port number"));
        return;
    }
    // The reply goes to the sender's own host only; on it, not to the panel itself.
    if (isSelf(received.from, port)) {
        refuse(received, QStringLiteral("%1 is the panel's own port").arg(port));
        return;
    }
    const qint64 now = clock.elapsed();
    const auto same = [&](const Subscriber &s) { return s.address.isEqual(received.from) && s.port == port; };
    auto found = std::find_if(subscribers.begin(), subscribers.end(), same);
    if (found == subscribers.end()) {
        if (subscribers.size() >= std::size_t(kMaxSubscribers)) {
            refuse(received, QStringLiteral("16 subscribers are listening"));
            return;
        }
        subscribers.push_back({ received.from, port, 0, now - kSnapshotMs });
        found = subscribers.end() - 1;
        qDebug().noquote() << "OSC subscriber:" << where(received.from, port);
    }
    found->until = now + lifetimeMs;
    // A renewal soon after the snapshot only renews: the snapshot is many datagrams for one.
    if (now - found->snapshot >= kSnapshotMs)
        sendSnapshot(*found);
    scheduleExpiry();
}

void OscEndpoint::sendSnapshot(Subscriber &subscriber)
{
    subscriber.snapshot = clock.elapsed();
    send(subscriber.address, subscriber.port, deviceMessage(controls.modelName()).encode());
    for (const QJsonValue &control : controls.list().value(QLatin1String("controls")).toArray()) {
        const QJsonObject item = control.toObject();
        send(subscriber.address, subscriber.port,
            changeMessage(item.value(QLatin1String("name")).toString(), item.value(QLatin1String("value")).toString())
                .encode());
    }
}

void OscEndpoint::expire()
{
    const qint64 now = clock.elapsed();
    for (const Subscriber &s : subscribers)
        if (s.until <= now)
            qDebug().noquote() << "OSC subscriber expired:" << where(s.address, s.port);
    subscribers.erase(
        std::remove_if(subscribers.begin(), subscribers.end(), [now](const Subscriber &s) { return s.until <= now; }),
        subscribers.end());
    scheduleExpiry();
}

void OscEndpoint::scheduleExpiry()
{
    // Runs only while someone listens, and then wakes the loop only when a subscription ends.
    if (subscribers.empty()) {
        expiry->stop();
        return;
    }
    qint64 soonest = subscribers.front().until;
    for (const Subscriber &s : subscribers)
        soonest = std::min(soonest, s.until);
    expiry->start(int(std::max<qint64>(0, soonest - clock.elapsed())));
}

void OscEndpoint::send(const QHostAddress &address, quint16 port, const QByteArray &packet)
{
    // Whatever asked for it, the panel never talks to itself.
    if (isSelf(address, port))
        return;
    // A full system buffer loses the datagram, as UDP may; the panel does not wait for it.
    if (socket->writeDatagram(packet, address, port) > 0)
        sent += packet.size();
}

void OscEndpoint::answer(const Received &received, const OscMessage &message)
{
    // One answer to a packet: a bundle of requests must not become as many datagrams to whoever
    // its sender claims to be.
    if (received.packet == answered)
        return;
    answered = received.packet;
    send(received.from, received.port, message.encode());
}

void OscEndpoint::broadcast(const OscMessage &message)
{
    if (subscribers.empty())
        return;
    const QByteArray packet = message.encode();
    for (const Subscriber &s : subscribers)
        send(s.address, s.port, packet);
}

void OscEndpoint::refuse(const Received &received, const QString &reason)
{
    ++refused;
    note(QStringLiteral("OSC message refused from %1: %2: %3")
             .arg(where(received.from, received.port), QString::fromLatin1(received.message.address), reason));
    answer(received, OscMessage("/orvelin/error").addString(received.message.address).addString(reason.toUtf8()));
}

void OscEndpoint::drop(const QHostAddress &from, quint16 port, const char *why)
{
    ++dropped;
    note(QStringLiteral("OSC packet dropped from %1: %2.").arg(where(from, port), QLatin1String(why)));
}

void OscEndpoint::note(const QString &line)
{
    // A flood must not become a flood of log lines: one in full a second, the rest counted.
    const qint64 now = clock.elapsed();
    if (now - lastNoted >= kLogIntervalMs) {
        flushNotes();
        qDebug().noquote() << line;
        lastNoted = now;
        return;
    }
    ++unnoted;
    if (!notes->isActive())
        notes->start(int(kLogIntervalMs - (now - lastNoted)));
}

void OscEndpoint::flushNotes()
{
    notes->stop();
    if (unnoted == 0)
        return;
    qDebug().noquote() << QStringLiteral("OSC endpoint: %1 more packets dropped or messages refused (%2 dropped, %3 "
                                         "refused since start).")
                              .arg(unnoted)
                              .arg(dropped)
                              .arg(refused);
    unnoted = 0;
    lastNoted = clock.elapsed();
}
