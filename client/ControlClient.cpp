#include "client/ControlClient.h"

#include "platform/ControlEndpoint.h"

#include <QJsonDocument>
#include <QLocalSocket>

ControlClient::ControlClient()
    : socket(new QLocalSocket)
{ }

ControlClient::~ControlClient()
{
    delete socket;
}

bool ControlClient::connectToPanel(const QString &name)
{
    const QString endpoint = name.isEmpty() ? QString::fromStdString(platform::controlClientName()) : name;
    if (endpoint.isEmpty())
        return false;
    socket->connectToServer(endpoint);
    if (!socket->waitForConnected(2000))
        return false;
    // Nothing is sent to a program of another user that took the channel's name first.
    if (!platform::serverIsCurrentUser(static_cast<std::intptr_t>(socket->socketDescriptor()))) {
        refused = true;
        socket->abort();
        return false;
    }
    return true;
}

bool ControlClient::readLine(QByteArray &line, int timeoutMs)
{
    while (!socket->canReadLine()) {
        if (socket->state() != QLocalSocket::ConnectedState && socket->bytesAvailable() == 0)
            return false;
        if (!socket->waitForReadyRead(timeoutMs) && !socket->canReadLine())
            return false;
    }
    line = socket->readLine().trimmed();
    return true;
}

QJsonObject ControlClient::request(const QString &line)
{
    socket->write(line.toUtf8() + '\n');
    // A panel that turned this client away (busy) has said why already: its line is the reply.
    socket->waitForBytesWritten(5000);
    QByteArray reply;
    if (!readLine(reply, 10000))
        return {};
    return QJsonDocument::fromJson(reply).object();
}
