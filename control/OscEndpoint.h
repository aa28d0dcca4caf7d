#pragma once

#include "control/OscMessage.h"

#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <deque>
#include <vector>

class ControlRegistry;
class QTimer;
class QUdpSocket;

// Control surfaces (TouchOSC and the like) over Open Sound Control on UDP, on the same controls
// as the control channel. Off unless remote.ini beside the panels' INI files names a port:
//     [Osc]
//     Port=9000
//     Address=127.0.0.1        (the default; another address opens every control to that network)
// Addresses follow the control names: headphone.volume is /orvelin/headphone/volume.
//     /orvelin/NAME/PART  N          a knob's painted number (int, or a whole float); a switch's
//                                    1/0 (int or float) or T/F
//     /orvelin/NAME/PART/toggle      flips a switch
//     /orvelin/subscribe [PORT]      every change to the sender (at PORT), after the present value
//                                    of each control; renewed by subscribing again within 60 s
//     /orvelin/model                 answered with /orvelin/model MODEL FIRMWARE
// Subscribers also hear /orvelin/device MODEL, or "" when the device leaves. A message that is
// refused is answered to its sender with /orvelin/error ADDRESS REASON and changes nothing.
// A change takes the same road as one from the control channel, through ControlRegistry::set.
// Everything runs on the GUI thread in turns: a read takes a bounded number of datagrams, a turn
// serves a bounded number of messages for at most a few milliseconds and the next turn follows
// on a zero timer; beyond kMaxQueued waiting messages packets are dropped. Dropped packets and
// refused messages are counted and logged, the details of at most one a second.
class OscEndpoint : public QObject
{
    Q_OBJECT

public:
    static constexpr int kReadBatch = 64; // datagrams taken per read
    static constexpr int kTurnMessages = 32;
    static constexpr int kTurnMs = 8;
    static constexpr int kMaxQueued = 1024; // messages
    static constexpr int kMaxSubscribers = 16;
    static constexpr int kSubscriptionMs = 60000;
    static constexpr int kLogIntervalMs = 1000;

    explicit OscEndpoint(ControlRegistry &registry, QObject *parent = nullptr);
    ~OscEndpoint() override;

    // remote.ini in the folder of the panels' INI files.
    static QString settingsPath();
    // Listens as the file at path says; false when it is off or cannot listen (with a log line).
    bool start(const QString &path = settingsPath());
    bool listen(const QHostAddress &address, quint16 port);
    bool listening() const;
    quint16 port() const;

    int subscriberCount() const { return int(subscribers.size()); }
    qint64 droppedPackets() const { return dropped; }
    qint64 refusedMessages() const { return refused; }
    // How long a subscription lasts without renewal (tests shorten it).
    void setSubscriptionLifetime(int ms) { lifetimeMs = ms; }

private:
    struct Received
    {
        OscMessage message;
        QHostAddress from;
        quint16 port;
    };
    struct Subscriber
    {
        QHostAddress address;
        quint16 port;
        qint64 until; // on the clock
    };

    void pull();
    void serve();
    void handle(const Received &received);
    void setControl(const Received &received, const QString &name, const QString &value);
    void subscribe(const Received &received);
    void sendSnapshot(const Subscriber &subscriber);
    void expire();
    void scheduleExpiry();
    void send(const QHostAddress &address, quint16 port, const OscMessage &message);
    void broadcast(const OscMessage &message);
    void refuse(const Received &received, const QString &reason);
    void drop(const QHostAddress &from, quint16 port, const char *why);
    void note(const QString &line);
    void flushNotes();

    ControlRegistry &controls;
    QUdpSocket *socket;
    QTimer *turn;
    QTimer *expiry;
    QTimer *notes;
    QElapsedTimer clock;
    std::deque<Received> queue;
    std::vector<Subscriber> subscribers;
    int lifetimeMs = kSubscriptionMs;
    qint64 dropped = 0;
    qint64 refused = 0;
    qint64 lastNoted = -kLogIntervalMs;
    int unnoted = 0;
};
