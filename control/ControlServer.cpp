#include "control/ControlServer.h"

#include "control/ControlRegistry.h"
#include "control/ServingTurn.h"
#include "platform/ControlEndpoint.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>

namespace {

// A value as JSON: a knob's number as a number, a switch's "on" or "off" as text.
QJsonValue valueJson(const QJsonValue &text)
{
    bool number = false;
    const int value = text.toString().toInt(&number, 10);
    return number ? QJsonValue(value) : text;
}

// A reply or event as one line, its values ("value", and each of "controls") as JSON gives them.
QByteArray line(QJsonObject object)
{
    if (object.contains(QLatin1String("value")))
        object.insert("value", valueJson(object.value("value")));
    if (object.contains(QLatin1String("controls"))) {
        QJsonArray controls = object.value("controls").toArray();
        for (qsizetype i = 0; i < controls.size(); ++i) {
            QJsonObject control = controls.at(i).toObject();
            control.insert("value", valueJson(control.value("value")));
            controls.replace(i, control);
        }
        object.insert("controls", controls);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray changedEvent(const QJsonValue &name, const QJsonValue &value)
{
    return line(QJsonObject { { "event", "changed" }, { "name", name }, { "value", value } });
}

ControlRegistry::Pairs pairsOf(const QStringList &words, int from)
{
    ControlRegistry::Pairs pairs;
    for (int i = from; i + 1 < words.size(); i += 2)
        pairs.push_back({ words[i], words[i + 1] });
    return pairs;
}

} // namespace

ControlServer::ControlServer(QObject *parent)
    : QObject(parent)
    , server(new QLocalServer(this))
    , controls(new ControlRegistry(this))
    , turn(new ServingTurn(
          ServingTurn::kNoItemLimit, [this] { serve(); }, this))
    , idleCheck(new QTimer(this))
{
    connect(server, &QLocalServer::newConnection, this, &ControlServer::accept);
    connect(controls, &ControlRegistry::changed, this,
        [this](const QString &name, const QString &value) { broadcast(changedEvent(name, value)); });
    connect(controls, &ControlRegistry::deviceChanged, this, [this](bool connected, const QString &model) {
        if (!connected) {
            broadcast(line(QJsonObject { { "event", "device-gone" } }));
            return;
        }
        broadcast(line(QJsonObject { { "event", "device-back" }, { "model", model } }));
        // The panel built anew restored every control before it was followed: its values are news.
        for (const QJsonValue &control : controls->list().value("controls").toArray())
            broadcast(changedEvent(control.toObject().value("name"), control.toObject().value("value")));
    });
    idleCheck->setInterval(1000);
    connect(idleCheck, &QTimer::timeout, this, &ControlServer::dropIdle);
}

ControlServer::~ControlServer()
{
    for (const auto &client : clients)
        if (!client->gone)
            client->socket->disconnect(this);
    server->close();
}

bool ControlServer::start(const QString &name)
{
    const QString endpoint = name.isEmpty() ? QString::fromStdString(platform::controlServerName()) : name;
    if (endpoint.isEmpty()) {
        qDebug() << "Control channel not started: no private place for it.";
        return false;
    }
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // The single-instance marker keeps a second panel away, so a socket left here is stale.
    QLocalServer::removeServer(endpoint);
    if (!server->listen(endpoint)) {
        qDebug().noquote() << "Control channel not started:" << server->errorString();
        return false;
    }
    return true;
}

QString ControlServer::serverName() const
{
    return server->fullServerName();
}

int ControlServer::clientCount() const
{
    return static_cast<int>(std::count_if(
        clients.begin(), clients.end(), [](const std::unique_ptr<Client> &c) { return !c->gone && !c->closing; }));
}

void ControlServer::accept()
{
    sweep();
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        const auto peer = static_cast<std::intptr_t>(socket->socketDescriptor());
        const char *refusal = !platform::peerIsCurrentUser(peer) ? "Control client refused: it runs as another user."
            : !platform::peerIsInThisSession(peer)               ? "Control client refused: it runs in another session."
                                                                 : nullptr;
        if (refusal) {
            qDebug() << refusal;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        if (clientCount() >= kMaxClients) {
            qDebug() << "Control client refused: 16 clients are connected.";
            // Told at once, and the connection stays open until its first request (at most 2 s): a
            // client that writes before it reads would otherwise lose the answer with its write.
            socket->write(line(ControlRegistry::error("busy", "The panel is busy: 16 clients are connected")) + '\n');
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, socket, [socket] {
                socket->readAll();
                socket->disconnectFromServer();
            });
            QTimer::singleShot(kTurnAwayMs, socket, [socket] { socket->disconnectFromServer(); });
            continue;
        }
        // Qt stops reading from the connection while this much waits, so a client that sends
        // faster than its requests are served is held back by the system, not by our memory.
        socket->setReadBufferSize(kInputBuffer);
        clients.push_back(std::make_unique<Client>());
        Client *client = clients.back().get();
        client->socket = socket;
        client->heard.start();
        // Runs only while a client is connected, so an idle panel is not woken for it.
        if (!idleCheck->isActive())
            idleCheck->start();
        connect(socket, &QLocalSocket::readyRead, this, [this, client] {
            client->heard.start();
            pull(*client);
            turn->request();
        });
        // A script may send its lines and hang up at once; what arrived is still served.
        connect(socket, &QLocalSocket::disconnected, this, [this, client] {
            client->closing = true;
            turn->request();
        });
        // A client held back for its unread replies is served again once it reads.
        connect(socket, &QLocalSocket::bytesWritten, this, [this, client] {
            if (client->held && waiting(*client) <= kHoldAt) {
                client->held = false;
                turn->request();
            }
        });
        if (socket->bytesAvailable() > 0) {
            pull(*client);
            turn->request();
        }
    }
}

void ControlServer::forget(Client &client)
{
    if (client.gone)
        return;
    client.gone = true;
    client.socket->disconnect(this);
    client.socket->deleteLater();
    turn->request(); // the next turn removes it
}

void ControlServer::sweep()
{
    clients.erase(
        std::remove_if(clients.begin(), clients.end(), [](const std::unique_ptr<Client> &c) { return c->gone; }),
        clients.end());
}

void ControlServer::drop(Client &client, const char *why)
{
    qDebug().noquote() << "Control client dropped:" << why;
    QLocalSocket *socket = client.socket;
    forget(client);
    socket->abort();
}

void ControlServer::serve()
{
    sweep();
    turn->begin();
    // Each client in turn gets one line, until the turn's time is used up.
    turn->rounds(clients, [this](Client &client) { return !client.gone && serveOne(client); });
    // The time may run out before the clients that still wait were reached. A client held back
    // for its unread replies waits for it to read (bytesWritten), not for the next turn.
    const bool more = std::any_of(clients.begin(), clients.end(), [](const std::unique_ptr<Client> &client) {
        return !client->gone && !client->held
            && (client->closing || client->input.contains('\n') || client->socket->bytesAvailable() > 0);
    });
    if (more)
        turn->request();
}

bool ControlServer::serveOne(Client &client)
{
    // Its next reply waits until it has read most of the last ones, so a client that reads as it
    // goes is never dropped for the replies one turn writes.
    if (client.held || waiting(client) > kHoldAt) {
        if (client.closing)
            forget(client); // it hung up with replies unread: nobody reads the rest
        else
            client.held = true;
        return false;
    }
    int end = client.input.indexOf('\n');
    if (end < 0) {
        pull(client);
        end = client.input.indexOf('\n');
    }
    if ((end < 0 ? client.input.size() : end) > kMaxLine) {
        send(client, line(ControlRegistry::error("line-too-long", "A request line is longer than 4 KiB")));
        client.socket->flush();
        drop(client, "a line over 4 KiB.");
        return false;
    }
    if (end < 0) {
        if (client.closing)
            forget(client);
        return false;
    }
    QByteArray request = client.input.left(end);
    client.input.remove(0, end + 1);
    if (request.endsWith('\r'))
        request.chop(1);
    if (request.trimmed() == "watch") {
        client.watching = true;
        // The reply holds every control's present value, so a watcher starts from the whole state.
        QJsonObject reply { { "ok", true }, { "watching", true } };
        QJsonArray current;
        for (const QJsonValue &control : controls->list().value("controls").toArray())
            current.append(QJsonObject {
                { "name", control.toObject().value("name") }, { "value", control.toObject().value("value") } });
        reply.insert("controls", current);
        send(client, line(reply));
    } else {
        const QByteArray reply = handle(request);
        if (!client.gone)
            send(client, reply);
    }
    return !client.gone && (client.input.contains('\n') || client.socket->bytesAvailable() > 0);
}

void ControlServer::pull(Client &client)
{
    // Taken at once, so lines sent just before hanging up are not lost with the connection.
    const qint64 room = kInputBuffer - client.input.size();
    if (room > 0 && client.socket->bytesAvailable() > 0)
        client.input += client.socket->read(room);
}

qint64 ControlServer::waiting(Client &client)
{
    // What Qt holds may be no more than what this turn wrote; the system takes what it can hold,
    // and what is then left the client has not read.
    if (client.socket->bytesToWrite() > kHoldAt)
        client.socket->flush();
    return client.socket->bytesToWrite();
}

bool ControlServer::send(Client &client, const QByteArray &reply)
{
    if (client.gone)
        return false;
    if (client.socket->bytesToWrite() + reply.size() + 1 > kMaxQueued
        && waiting(client) + reply.size() + 1 > kMaxQueued) {
        drop(client, "1 MiB of replies and changes waits unread.");
        return false;
    }
    client.socket->write(reply + '\n');
    return true;
}

void ControlServer::setIdleLimit(int ms)
{
    idleLimitMs = ms;
    idleCheck->setInterval(std::clamp(ms / 2, 1, 1000));
}

void ControlServer::dropIdle()
{
    // A silent client holds one of the places; hotkeys must not be locked out by forgotten ones.
    bool anyLeft = false;
    for (const auto &client : clients) {
        if (client->gone || client->closing)
            continue;
        anyLeft = true;
        if (!client->watching && client->heard.elapsed() >= idleLimitMs)
            drop(*client, "nothing sent for 60 s.");
    }
    if (!anyLeft)
        idleCheck->stop();
}

void ControlServer::broadcast(const QByteArray &event)
{
    // A drop only marks its client, so the list stays as it is while it is walked.
    for (const auto &client : clients)
        if (client->watching && !client->gone)
            send(*client, event);
}

QByteArray ControlServer::handle(const QByteArray &request)
{
    const QStringList words = QString::fromUtf8(request).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return line(ControlRegistry::error("usage", "The request is empty"));
    const QString command = words.first();
    if (command == QLatin1String("status") && words.size() == 1)
        return line(controls->status());
    if (command == QLatin1String("list") && words.size() == 1)
        return line(controls->list());
    if (command == QLatin1String("dump") && words.size() == 1)
        return line(controls->dump());
    if (command == QLatin1String("get") && words.size() == 2)
        return line(controls->get(words[1]));
    if (command == QLatin1String("set") && words.size() >= 3 && words.size() % 2 == 1)
        return line(controls->set(pairsOf(words, 1)));
    if (command == QLatin1String("load") && words.size() >= 2 && words.size() % 2 == 0) {
        // The model name may hold a space ("KA2 SE"); it travels with %20.
        QString model = words[1];
        model.replace(QLatin1String("%20"), QLatin1String(" "));
        return line(controls->load(model, pairsOf(words, 2)));
    }
    if (command == QLatin1String("remote"))
        return line(remote ? remote(words.mid(1))
                           : ControlRegistry::error("no-remote", "This panel was built without the web remote."));
    const bool known = QStringList { "status", "list", "dump", "get", "set", "load", "watch" }.contains(command);
    if (known)
        return line(ControlRegistry::error("usage", QStringLiteral("Wrong arguments for %1").arg(command)));
    return line(
        ControlRegistry::error("unknown-command", QStringLiteral("Unknown command \"%1\"").arg(command.left(64))));
}
