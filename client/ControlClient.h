#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class QLocalSocket;

// orvelinctl's side of the control channel: one blocking connection to the running panel.
class ControlClient
{
public:
    ControlClient();
    ~ControlClient();

    // False when no panel is running (or the channel is not ours to open).
    bool connectToPanel(const QString &name = QString());
    // True when the last connectToPanel reached a server that runs as another user.
    bool refusedServer() const { return refused; }
    // One request line, its JSON reply; an empty object when the connection failed.
    QJsonObject request(const QString &line);
    // The next line the panel sends (watch); false when the connection ended.
    bool readLine(QByteArray &line, int timeoutMs = -1);

private:
    QLocalSocket *socket;
    bool refused = false;
};
