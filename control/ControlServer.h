#pragma once

#include <QObject>
#include <QString>

#include <memory>

class ControlRegistry;
class QLocalServer;
class QLocalSocket;
class QWidget;

// The running panel's control channel: a local socket (a pipe on Windows) only the current user
// can open. One request per line, one JSON reply per line:
//     status | list | get NAME | set NAME VALUE [NAME VALUE ...] | watch
//     dump | load MODEL KEY VALUE [KEY VALUE ...]
// Everything runs on the GUI thread without waiting: a client is read when data is there and its
// replies are queued. A line over 4 KiB drops the client, a 17th client is refused, and a watcher
// with 1 MiB of unread output is dropped.
class ControlServer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kMaxLine = 4096;
    static constexpr int kMaxClients = 16;
    static constexpr qint64 kMaxQueued = 1024 * 1024;

    explicit ControlServer(QWidget *root, QObject *parent = nullptr);
    ~ControlServer() override;

    // Listens on the user's control endpoint, or on name when given (tests). False, with a log
    // line, when it cannot.
    bool start(const QString &name = QString());
    QString serverName() const;
    int clientCount() const;
    ControlRegistry &registry() { return *controls; }

    // One request line to its reply, without the newline; the socket's own commands aside.
    QByteArray handle(const QByteArray &line);

private:
    void accept();
    void readClient(QLocalSocket *socket);
    void send(QLocalSocket *socket, const QByteArray &reply);
    void broadcast(const QString &name, const QString &value);

    QLocalServer *server;
    ControlRegistry *controls;
};
