#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ControlRegistry;
class QLocalServer;
class QLocalSocket;
class QTimer;
class ServingTurn;

// The running panel's control channel: a local socket (a pipe on Windows) only the current user
// can open. One request per line, one JSON reply per line:
//     status | list | get NAME | set NAME VALUE [NAME VALUE ...] | watch
//     dump | load MODEL KEY VALUE [KEY VALUE ...] | remote [on|off|new-code]
// Everything runs on the GUI thread without waiting on a client: requests are taken from the
// clients in turns of a few milliseconds, so a client that sends a thousand lines at once does not
// hold up painting, and replies are queued. A client's next request waits while 256 KiB of its
// replies wait unread, so one that reads as it goes is never dropped; a client that leaves 1 MiB
// unread (changes pile up for a watcher that does not read) is dropped. A line over 4 KiB drops
// the client, a 17th client is refused, and a client that sends nothing for 60 s is dropped (a
// watcher is never dropped for being quiet). Values travel as JSON gives them: a knob's number as
// a number, a switch's "on" or "off" as text. Watchers also hear the device leave and come back,
// with every control's restored value after it.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxLine = 4096;
    static constexpr int kMaxClients = 16;
    static constexpr qint64 kMaxQueued = 1024 * 1024;
    // Unread replies above which a client's next request waits.
    static constexpr qint64 kHoldAt = 256 * 1024;
    // Unserved input held per client, in Qt's buffer and in ours each.
    static constexpr qint64 kInputBuffer = 64 * 1024;

    static constexpr int kIdleMs = 60000;
    // How long a client turned away for a 17th place may take to send its request.
    static constexpr int kTurnAwayMs = 2000;

    explicit ControlServer(QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens on the user's control endpoint, or on name when given (tests). False, with a log
    // line, when it cannot.
    bool start(const QString &name = QString());
    QString serverName() const;
    // Clients connected and not yet dropped.
    int clientCount() const;
    ControlRegistry &registry() { return *controls; }
    // How long a client may stay silent (tests shorten it).
    void setIdleLimit(int ms);

    // One request line to its reply, without the newline; "watch" is the socket's own.
    QByteArray handle(const QByteArray &line);
    // "remote [on|off|new-code]": the web remote's, when the program has one.
    void setRemote(std::function<QJsonObject(const QStringList &)> handler) { remote = std::move(handler); }

private:
    struct Client
    {
        QLocalSocket *socket;
        QByteArray input; // bytes read but not yet taken as lines
        bool watching = false;
        bool closing = false; // the client hung up; its lines already here are still served
        bool gone = false; // dropped or disconnected; removed at the start of the next turn
        bool held = false; // its replies wait unread; its requests wait for it to read
        QElapsedTimer heard; // since the client last sent something
    };

    void accept();
    void serve();
    // Takes one line of the client; false when it has none (or was dropped).
    bool serveOne(Client &client);
    void pull(Client &client);
    // The client's replies the system has not taken, after handing it what it can take now.
    qint64 waiting(Client &client);
    bool send(Client &client, const QByteArray &reply);
    void drop(Client &client, const char *why);
    void forget(Client &client);
    void sweep();
    void broadcast(const QByteArray &event);
    void dropIdle();

    QLocalServer *server;
    ControlRegistry *controls;
    ServingTurn *turn;
    QTimer *idleCheck;
    int idleLimitMs = kIdleMs;
    std::function<QJsonObject(const QStringList &)> remote;
    std::vector<std::unique_ptr<Client>> clients;
};
