#include "control/ControlServer.h"

#include "control/ControlRegistry.h"
#include "platform/ControlEndpoint.h"

#include <QDebug>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>

namespace {

const char *const kWatching = "orvelinWatching";
const char *const kPending = "orvelinPending";

QByteArray line(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

ControlRegistry::Pairs pairsOf(const QStringList &words, int from)
{
    ControlRegistry::Pairs pairs;
    for (int i = from; i + 1 < words.size(); i += 2)
        pairs.push_back({ words[i], words[i + 1] });
    return pairs;
}

} // namespace

ControlServer::ControlServer(QWidget *root, QObject *parent)
    : QObject(parent)
    , server(new QLocalServer(this))
    , controls(new ControlRegistry(root, this))
{
    connect(server, &QLocalServer::newConnection, this, &ControlServer::accept);
    connect(controls, &ControlRegistry::changed, this, &ControlServer::broadcast);
}

ControlServer::~ControlServer()
{
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
    return server->findChildren<QLocalSocket *>().size();
}

void ControlServer::accept()
{
    while (QLocalSocket *socket = server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (clientCount() > kMaxClients) {
            send(socket, line(ControlRegistry::error("busy", "Too many clients are connected.")));
            socket->disconnectFromServer();
            continue;
        }
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readClient(socket); });
    }
}

void ControlServer::readClient(QLocalSocket *socket)
{
    QByteArray pending = socket->property(kPending).toByteArray() + socket->readAll();
    int start = 0;
    for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
        QByteArray request = pending.mid(start, end - start);
        start = end + 1;
        if (request.size() > kMaxLine) {
            pending = request; // dropped below
            start = 0;
            break;
        }
        if (request.endsWith('\r'))
            request.chop(1);
        if (request.trimmed() == "watch") {
            socket->setProperty(kWatching, true);
            send(socket, line(QJsonObject { { "ok", true }, { "watching", true } }));
        } else {
            send(socket, handle(request));
        }
        if (socket->state() != QLocalSocket::ConnectedState)
            return;
    }
    pending.remove(0, start);
    if (pending.size() > kMaxLine || pending.contains('\n')) {
        qDebug() << "Control client dropped: a line over 4 KiB.";
        send(socket, line(ControlRegistry::error("line-too-long", "A request line is longer than 4 KiB.")));
        socket->disconnectFromServer();
        return;
    }
    socket->setProperty(kPending, pending);
}

void ControlServer::send(QLocalSocket *socket, const QByteArray &reply)
{
    socket->write(reply + '\n');
}

void ControlServer::broadcast(const QString &name, const QString &value)
{
    const QByteArray event = line(QJsonObject { { "event", "changed" }, { "name", name }, { "value", value } });
    for (QLocalSocket *socket : server->findChildren<QLocalSocket *>()) {
        if (!socket->property(kWatching).toBool() || socket->state() != QLocalSocket::ConnectedState)
            continue;
        if (socket->bytesToWrite() + event.size() > kMaxQueued) {
            qDebug() << "Control client dropped: it stopped reading its changes.";
            socket->abort();
            continue;
        }
        send(socket, event);
    }
}

QByteArray ControlServer::handle(const QByteArray &request)
{
    const QStringList words = QString::fromUtf8(request).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.isEmpty())
        return line(ControlRegistry::error("usage", "An empty request."));
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
    const bool known = QStringList { "status", "list", "dump", "get", "set", "load", "watch" }.contains(command);
    if (known)
        return line(ControlRegistry::error("usage", QStringLiteral("Wrong arguments for %1.").arg(command)));
    return line(
        ControlRegistry::error("unknown-command", QStringLiteral("Unknown command \"%1\".").arg(command.left(64))));
}
