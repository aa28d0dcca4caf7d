#pragma once

#include "control/AllowList.h"
#include "control/OscMessage.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <deque>
#include <vector>

class ControlRegistry;
class QTimer;
class QUdpSocket;
class ServingTurn;

// Control surfaces (TouchOSC and the like) over Open Sound Control on UDP, on the same controls
// as the control channel. Off unless remote.ini beside the panels' INI files names a port:
//     [Osc]
//     Port=9000
//     Address=127.0.0.1        (the default; 0.0.0.0 or :: only with Allow=)
//     Allow=192.168.1.0/24     (who may send at all; the default is the loopback)
// Addresses follow the control names: headphone.volume is /orvelin/headphone/volume.
//     /orvelin/NAME/PART  N          a knob's painted number (int, or a whole float); a switch's
//                                    1/0 (int or float) or T/F
//     /orvelin/NAME/PART/toggle      flips a switch
//     /orvelin/subscribe [PORT]      every change to the sender's host (at PORT), after the present
//                                    value of each control; renewed by subscribing again within 60 s
//     /orvelin/model                 answered with /orvelin/model MODEL FIRMWARE
// Subscribers also hear /orvelin/device MODEL, or "" when the device leaves. A message that is
// refused is answered to its sender with /orvelin/error ADDRESS REASON and changes nothing.
// A change takes the same road as one from the control channel, through ControlRegistry::set.
//
// UDP senders are whoever they claim to be, so nothing here may be turned against the panel or
// through it against others: packets from outside Allow=, from the panel's own address and port
// or carrying its own output addresses are dropped unanswered; a packet gets one answer at most;
// a subscriber hears the snapshot at most once per kSnapshotMs.
// Everything runs on the GUI thread in turns: a read takes a bounded number of datagrams, a turn
// serves a bounded number of waiting messages for at most a few milliseconds and the next turn
// follows on a zero timer. Waiting sets of one control coalesce (its latest value, and toggles by
// their parity), a message that waited over kMaxWaitMs is dropped, and beyond kMaxQueued waiting
// messages or kMaxQueuedBytes packets are dropped: a flood ends a second after it stops. Dropped
// packets and refused messages are counted and logged, the details of at most one a second.
class OscEndpoint : public QObject
{
    Q_OBJECT

public:
    static constexpr int kReadBatch = 64; // datagrams taken per read
    static constexpr int kMaxQueued = 1024; // messages
    static constexpr int kMaxQueuedBytes = 256 * 1024; // as they are held in memory
    static constexpr int kMaxWaitMs = 1000;
    static constexpr int kMaxSubscribers = 16;
    static constexpr int kSubscriptionMs = 60000;
    static constexpr int kSnapshotMs = 5000;
    static constexpr int kLogIntervalMs = 1000;

    explicit OscEndpoint(ControlRegistry &registry, QObject *parent = nullptr);
    ~OscEndpoint() override;

    // remote.ini in the folder of the panels' INI files.
    static QString settingsPath();
    // Listens as the file at path says; false when it is off or cannot listen (with a log line).
    bool start(const QString &path = settingsPath());
    // Only the senders allowed may send (the loopback unless told otherwise).
    bool listen(const QHostAddress &address, quint16 port, const AllowList &allowed = AllowList());
    bool listening() const;
    quint16 port() const;

    int subscriberCount() const { return int(subscribers.size()); }
    // Packets dropped, and messages dropped unserved (the panel's own output, the stale).
    qint64 droppedPackets() const { return dropped; }
    qint64 refusedMessages() const { return refused; }
    qint64 staleMessages() const { return stale; } // waited over kMaxWaitMs
    qint64 sentBytes() const { return sent; }
    // How long a subscription lasts without renewal (tests shorten it).
    void setSubscriptionLifetime(int ms) { lifetimeMs = ms; }

private:
    struct Received
    {
        OscMessage message;
        QHostAddress from;
        quint16 port;
        quint64 packet; // answers go one to a packet
    };
    // A waiting message; for a control, its latest set (if any) and the toggles after it.
    struct Waiting
    {
        Received received;
        qint64 arrived; // on the clock
        qint64 bytes;
        QByteArray control; // the control's address, empty for anything else
        bool toggled = false; // an odd number of toggles after the set
    };
    struct Subscriber
    {
        QHostAddress address;
        quint16 port;
        qint64 until; // on the clock
        qint64 snapshot; // when it was last sent the snapshot
    };

    void pull();
    void enqueue(Received &&received);
    void serve();
    bool isSelf(const QHostAddress &address, quint16 port) const;
    void handle(const Received &received);
    void setControl(const Received &received, const QString &name, const QString &value);
    void subscribe(const Received &received);
    void sendSnapshot(Subscriber &subscriber);
    void expire();
    void scheduleExpiry();
    void send(const QHostAddress &address, quint16 port, const QByteArray &packet);
    void answer(const Received &received, const OscMessage &message);
    void broadcast(const OscMessage &message);
    void refuse(const Received &received, const QString &reason);
    void drop(const QHostAddress &from, quint16 port, const char *why);
    void note(const QString &line);
    void flushNotes();

    ControlRegistry &controls;
    QUdpSocket *socket;
    ServingTurn *turn;
    QTimer *expiry;
    QTimer *notes;
    QElapsedTimer clock;
    AllowList allowed;
    QList<QHostAddress> ownAddresses;
    std::deque<Waiting> queue;
    qint64 queuedBytes = 0;
    quint64 firstWaiting = 0; // the number of queue.front() among every message queued
    QHash<QByteArray, quint64> waitingControls; // a control's address to the number of its entry
    quint64 packets = 0;
    quint64 answered = 0; // the last packet answered
    std::vector<Subscriber> subscribers;
    int lifetimeMs = kSubscriptionMs;
    qint64 dropped = 0;
    qint64 refused = 0;
    qint64 stale = 0;
    qint64 sent = 0;
    qint64 lastNoted = -kLogIntervalMs;
    int unnoted = 0;
};
