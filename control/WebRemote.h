#pragma once

#include "control/AllowList.h"
#include "control/RemoteAccess.h"

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <QString>

#include <deque>
#include <memory>
#include <vector>

class ControlRegistry;
class QTcpServer;
class QTcpSocket;
class QTimer;
class QWebSocket;
class ServingTurn;

// The remote for any phone: the panel serves its own page over HTTP and talks to it over one
// WebSocket, in JSON, on the controls ControlRegistry offers. Off until turned on; remote.ini
// beside the panels' INI files keeps the choice:
//     [Web]
//     Enabled=true
//     Address=192.168.1.20     the address served on, picked in the Remote Control window
//     Port=8765
//     Code=sha256:...          the pairing code's hash, never the code
//     Allow=192.168.1.0/24     who may connect; without it the loopback and the network of Address
// Every request needs the code, as ?code= or as the cookie the page sets when it was opened with
// it: without, 403 and a line on what is missing. The page's messages:
//     {"id":N,"set":NAME,"value":TEXT}  answered {"type":"reply","id":N,"ok":...} after the set,
//                                       taken as ControlRegistry::set takes it (the mouse's road)
//     {"type":"ping"}                   answered {"type":"pong"}
// and the panel's: {"type":"state",...} (the model, the controls and the page's texts; again after
// the device came or went), {"type":"changed","name":..,"value":..}.
// Limits as on the other control roads: at most kMaxPages pages, messages of kMaxMessage bytes,
// sets waiting per page coalesced per control and served in turns of a few milliseconds, a page
// that does not read its kMaxUnsent bytes or does not answer for kSilentMs is closed.
class WebRemote : public QAbstractHttpServer
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 8765;
    static constexpr int kMaxPages = 8;
    static constexpr int kMaxConnections = 32; // HTTP connections, pages among them
    static constexpr int kMaxMessage = 4096;
    static constexpr int kMaxWaiting = 64; // messages waiting per page
    static constexpr qint64 kMaxUnsent = 512 * 1024;
    static constexpr int kPingMs = 15000;
    static constexpr int kSilentMs = 45000;

    explicit WebRemote(ControlRegistry &registry, QObject *parent = nullptr);
    ~WebRemote() override;

    // Reads remote.ini and serves when it says so; false when off or when it cannot listen.
    bool start(const QString &path);
    // Turns the remote on at address (the stored one, else the first LAN address, when null) and
    // stores that; a new code is made when none is stored.
    bool turnOn(const QHostAddress &address = QHostAddress());
    void turnOff();
    // A new code; every page paired with the old one is closed. The code is returned and held
    // (not stored) so the window and orvelinctl can show it.
    QString newCode();

    bool isOn() const;
    QHostAddress address() const { return boundAddress; }
    quint16 port() const;
    // http://ADDRESS:PORT/ and, while the code is known, ?code=CODE: what the QR code holds.
    QString pageAddress() const;
    bool codeKnown() const { return !code.isEmpty(); }
    int pageCount() const;
    QString problem() const { return trouble; }
    // What orvelinctl remote prints: {"ok":true,"on":..,"address":..,"pages":..,"codeShown":..}.
    QJsonObject describe() const;
    // "" / "on" / "off" / "new-code", as the control channel takes them.
    QJsonObject command(const QStringList &words);

    // Addresses the window offers: this computer's IPv4 addresses on its networks, then the
    // loopback.
    static QList<QHostAddress> candidateAddresses();
    AllowList allowed() const { return allow; }

signals:
    // On, off, a new code, the address, or a page came or went.
    void stateChanged();

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Waiting
    {
        QString name;
        QString value;
        QJsonValue id;
    };
    struct Page
    {
        QWebSocket *socket;
        QPointer<QTcpSocket> connection;
        std::deque<Waiting> waiting;
        QElapsedTimer heard;
    };
    enum class Refusal { None, Drop, NoCode, WrongCode, TooMany, BadHost, BadOrigin, Full };

    bool listenOn(const QHostAddress &where, quint16 port);
    void stopListening();
    void store() const;
    Refusal check(const QHttpServerRequest &request, QTcpSocket *socket, bool upgrade);
    void refuse(const QHttpServerRequest &request, QTcpSocket *socket, Refusal why);
    void acceptPages();
    void receive(Page &page, const QString &text);
    void serve();
    void send(Page &page, const QJsonObject &message);
    void sendText(Page &page, const QString &text);
    void broadcast(const QJsonObject &message);
    QJsonObject state() const;
    void closePage(Page &page, const char *why);
    void sweep();
    void pingPages();

    ControlRegistry &controls;
    QString settingsFile;
    QTcpServer *listener = nullptr;
    QHostAddress boundAddress;
    quint16 wantedPort = kDefaultPort;
    AllowList allow;
    RemoteAccess access;
    QString code; // the code in clear, only while this run made it
    QString trouble;
    Refusal lastRefusal = Refusal::None;
    std::vector<std::unique_ptr<Page>> pages;
    ServingTurn *turn;
    QTimer *pinger;
    QElapsedTimer clock;
};
