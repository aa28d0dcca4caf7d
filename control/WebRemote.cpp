#include "control/WebRemote.h"

#include "control/ControlRegistry.h"
#include "control/ServingTurn.h"

#include <QDebug>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLocale>
#include <QNetworkInterface>
#include <QSettings>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>
#include <QWebSocket>

#include <algorithm>
#include <functional>

namespace {

const QByteArray kCookie = QByteArrayLiteral("orvelin_code");
// A page closed with this has an old code: it should not come back by itself.
constexpr QWebSocketProtocol::CloseCode kOldCode = QWebSocketProtocol::CloseCode(4001);

// Accepts only the connections Allow= lets in, and no more than a few at once, before Qt's HTTP
// server reads a byte of them.
class Listener : public QTcpServer
{
public:
    Listener(std::function<bool(const QHostAddress &)> allowed, QObject *parent)
        : QTcpServer(parent)
        , allowed(std::move(allowed))
    { }

protected:
    void incomingConnection(qintptr descriptor) override
    {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(descriptor)) {
            delete socket;
            return;
        }
        const QHostAddress peer = socket->peerAddress();
        // Every connection is deleted when it ends (a page's when the page closes), so the
        // children alive are the connections open, this one among them.
        const bool full = findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly).size() > WebRemote::kMaxConnections;
        if (full || !allowed(peer)) {
            if (!noted.isValid() || noted.elapsed() >= 1000) {
                qDebug().noquote() << "Web remote refused" << AllowList::plain(peer).toString() + ':'
                                   << (full ? "32 connections are open." : "not an address Allow= names.");
                noted.start();
            }
            socket->abort();
            socket->deleteLater();
            return;
        }
        // A change on one page shows on the others at once, not after Nagle's wait.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        // Qt's HTTP server does not delete a connection that ended. (It cuts every connection of
        // a socket it upgrades: a page's connection is deleted when the page closes.)
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        addPendingConnection(socket);
    }

private:
    std::function<bool(const QHostAddress &)> allowed;
    QElapsedTimer noted;
};

QString hostText(const QHostAddress &address)
{
    const QHostAddress a = AllowList::plain(address);
    return a.protocol() == QAbstractSocket::IPv6Protocol ? QLatin1Char('[') + a.toString() + QLatin1Char(']')
                                                         : a.toString();
}

// The code a request presents: ?code= first, else the cookie the page set.
QString presentedCode(const QUrl &url, const QByteArray &cookies)
{
    const QString inQuery = QUrlQuery(url).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (!inQuery.isEmpty())
        return inQuery;
    for (const QByteArray &part : cookies.split(';')) {
        const QByteArray item = part.trimmed();
        if (item.startsWith(kCookie + '='))
            return QString::fromLatin1(item.mid(kCookie.size() + 1));
    }
    return QString();
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The network of an address of this computer, as Allow= would name it; empty when it is none.
QString networkOf(const QHostAddress &address)
{
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry &entry : i.addressEntries())
            if (entry.ip() == address && entry.prefixLength() >= 0)
                return QStringLiteral("%1/%2").arg(entry.ip().toString()).arg(entry.prefixLength());
    return QString();
}

struct PageFile
{
    const char *path;
    const char *resource;
    const char *type;
};
const PageFile kFiles[] = {
    { "/", ":/remote/index.html", "text/html; charset=utf-8" },
    { "/remote.js", ":/remote/remote.js", "text/javascript; charset=utf-8" },
    { "/remote.css", ":/remote/remote.css", "text/css; charset=utf-8" },
    { "/favicon.ico", ":/icon/icon.png", "image/png" }, // the program's own icon
};

} // namespace

WebRemote::WebRemote(ControlRegistry &registry, QObject *parent)
    : QAbstractHttpServer(parent)
    , controls(registry)
    , turn(new ServingTurn(
          ServingTurn::kTurnItems, [this] { serve(); }, this))
    , pinger(new QTimer(this))
{
    // The page's files live in this static library's resources.
    Q_INIT_RESOURCE(remote);
    clock.start();
    pinger->setInterval(kPingMs);
    connect(pinger, &QTimer::timeout, this, &WebRemote::pingPages);
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this, &WebRemote::acceptPages);
    connect(&controls, &ControlRegistry::changed, this, [this](const QString &name, const QString &value) {
        broadcast(QJsonObject { { "type", "changed" }, { "name", name }, { "value", value } });
    });
    connect(&controls, &ControlRegistry::deviceChanged, this, [this] { broadcast(state()); });
}

WebRemote::~WebRemote()
{
    for (const auto &page : pages)
        if (page->socket) {
            page->socket->disconnect(this);
            delete page->socket;
        }
}

bool WebRemote::start(const QString &path)
{
    settingsFile = path;
    QSettings settings(path, QSettings::IniFormat);
    access.setHash(settings.value(QStringLiteral("Web/Code")).toString());
    bool portOk = false;
    const uint port = settings.value(QStringLiteral("Web/Port"), kDefaultPort).toUInt(&portOk);
    wantedPort = portOk && port <= 65535 ? quint16(port) : kDefaultPort;
    if (!settings.value(QStringLiteral("Web/Enabled"), false).toBool()) {
        qDebug() << "Web remote off.";
        return false;
    }
    if (!access.hasCode()) {
        // No hash, no page anyone could open: the window makes a code when it is turned on.
        trouble = tr("No pairing code is stored: make a new code.");
        qDebug().noquote() << "Web remote not started: no code in" << path;
        return false;
    }
    QHostAddress where;
    if (!where.setAddress(settings.value(QStringLiteral("Web/Address")).toString().trimmed())) {
        qDebug().noquote() << "Web remote not started: no address to serve on in" << path;
        return false;
    }
    return listenOn(where, wantedPort);
}

bool WebRemote::turnOn(const QHostAddress &wanted)
{
    QHostAddress where = wanted;
    if (where.isNull())
        where.setAddress(QSettings(settingsFile, QSettings::IniFormat).value(QStringLiteral("Web/Address")).toString());
    if (where.isNull()) {
        const QList<QHostAddress> candidates = candidateAddresses();
        where = candidates.isEmpty() ? QHostAddress(QHostAddress::LocalHost) : candidates.first();
    }
    if (!access.hasCode())
        newCode();
    const bool ok = listenOn(where, wantedPort);
    store();
    emit stateChanged();
    return ok;
}

void WebRemote::turnOff()
{
    stopListening();
    trouble.clear();
    qDebug() << "Web remote off.";
    store();
    emit stateChanged();
}

QString WebRemote::newCode()
{
    code = RemoteAccess::makeCode();
    access.setHash(RemoteAccess::hashOf(code));
    access.forgetFailures();
    int closed = 0;
    for (const auto &page : pages)
        if (page->socket) {
            page->socket->close(kOldCode, QStringLiteral("new code"));
            closePage(*page, nullptr);
            ++closed;
        }
    if (trouble == tr("No pairing code is stored: make a new code."))
        trouble.clear();
    qDebug() << "Web remote: a new code; pages closed:" << closed;
    store();
    sweep();
    emit stateChanged();
    return code;
}

bool WebRemote::isOn() const
{
    return listener && listener->isListening();
}

quint16 WebRemote::port() const
{
    return listener ? listener->serverPort() : wantedPort;
}

QString WebRemote::pageAddress() const
{
    if (boundAddress.isNull())
        return QString();
    const QString base = QStringLiteral("http://%1:%2/").arg(hostText(boundAddress)).arg(port());
    return code.isEmpty() ? base : base + QStringLiteral("?code=") + code;
}

int WebRemote::pageCount() const
{
    return int(std::count_if(pages.begin(), pages.end(), [](const auto &p) { return p->socket != nullptr; }));
}

QJsonObject WebRemote::describe() const
{
    QJsonObject reply { { "ok", true }, { "on", isOn() }, { "pages", pageCount() }, { "codeShown", codeKnown() } };
    if (isOn())
        reply.insert("address", pageAddress());
    if (!trouble.isEmpty())
        reply.insert("problem", trouble);
    return reply;
}

QJsonObject WebRemote::command(const QStringList &words)
{
    const QString what = words.value(0);
    if (words.size() > 1)
        return ControlRegistry::error("usage", "remote takes on, off or new-code.");
    if (what == QLatin1String("on")) {
        if (!turnOn())
            return ControlRegistry::error("refused", trouble);
    } else if (what == QLatin1String("off")) {
        turnOff();
    } else if (what == QLatin1String("new-code")) {
        newCode();
    } else if (!what.isEmpty()) {
        return ControlRegistry::error("usage", "remote takes on, off or new-code.");
    }
    return describe();
}

QList<QHostAddress> WebRemote::candidateAddresses()
{
    QList<QHostAddress> found;
    for (const QNetworkInterface &i : QNetworkInterface::allInterfaces()) {
        const auto flags = i.flags();
        if (!(flags & QNetworkInterface::IsUp) || !(flags & QNetworkInterface::IsRunning)
            || (flags & QNetworkInterface::IsLoopBack))
            continue;
        for (const QNetworkAddressEntry &entry : i.addressEntries())
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol && !entry.ip().isLinkLocal())
                found << entry.ip();
    }
    found << QHostAddress(QHostAddress::LocalHost);
    return found;
}

bool WebRemote::listenOn(const QHostAddress &where, quint16 wantedPortNumber)
{
    stopListening();
    boundAddress = where;
    QStringList rejected;
    QSettings settings(settingsFile, QSettings::IniFormat);
    allow = AllowList::read(settings, QStringLiteral("Web/Allow"), &rejected);
    for (const QString &entry : rejected)
        qDebug().noquote()
            << QStringLiteral("Web remote: Allow entry \"%1\" is no address or network; left out.").arg(entry);
    if (!allow.named()) {
        // The page is for phones on the network it is served on, and for this computer.
        const QString network = networkOf(where);
        allow = AllowList::parse(
            network.isEmpty() ? QStringLiteral("localhost") : QStringLiteral("localhost, ") + network);
    }
    if (AllowList::everyInterface(where) && !settings.contains(QStringLiteral("Web/Allow"))) {
        trouble = tr("Serving on every interface needs Allow= in remote.ini.");
        qDebug() << "Web remote not started: every interface needs Allow= in remote.ini.";
        return false;
    }
    auto *server = new Listener([this](const QHostAddress &peer) { return allow.allows(peer); }, this);
    if (!server->listen(where, wantedPortNumber)) {
        trouble = tr("Cannot serve on %1:%2: %3").arg(hostText(where)).arg(wantedPortNumber).arg(server->errorString());
        qDebug().noquote() << "Web remote not started on"
                           << QStringLiteral("%1:%2:").arg(hostText(where)).arg(wantedPortNumber)
                           << server->errorString();
        delete server;
        return false;
    }
    bind(server);
    listener = server;
    trouble.clear();
    qDebug().noquote() << "Web remote serving on" << QStringLiteral("http://%1:%2/").arg(hostText(where)).arg(port())
                       << "to" << allow.text();
    return true;
}

void WebRemote::stopListening()
{
    // A page knows the server by its address: pages of another address or of none are closed.
    for (const auto &page : pages)
        closePage(*page, nullptr);
    sweep();
    // The listener owns the connections it accepted, the pages' among them.
    delete listener;
    listener = nullptr;
}

void WebRemote::store() const
{
    if (settingsFile.isEmpty())
        return;
    QSettings settings(settingsFile, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Web/Enabled"), isOn());
    if (!boundAddress.isNull())
        settings.setValue(QStringLiteral("Web/Address"), AllowList::plain(boundAddress).toString());
    settings.setValue(QStringLiteral("Web/Port"), wantedPort);
    settings.setValue(QStringLiteral("Web/Code"), access.storedHash());
    settings.sync();
}

WebRemote::Refusal WebRemote::check(const QHttpServerRequest &request, QTcpSocket *socket, bool upgrade)
{
    const QHostAddress peer = socket->peerAddress();
    if (!allow.allows(peer))
        return Refusal::Drop;
    // A name that resolves to this address in someone's page (DNS rebinding) is not this server.
    const QByteArray host = request.value("host");
    const QByteArray own = QStringLiteral("%1:%2").arg(hostText(boundAddress)).arg(port()).toLatin1();
    const bool loopbackName = boundAddress.isLoopback() && host == "localhost:" + QByteArray::number(port());
    if (host != own && !loopbackName)
        return Refusal::BadHost;
    if (access.blocked(peer, clock.elapsed()))
        return Refusal::TooMany;
    const QString given = presentedCode(request.url(), request.value("cookie"));
    if (given.isEmpty())
        return Refusal::NoCode;
    if (!access.matches(given)) {
        access.failed(peer, clock.elapsed());
        qDebug().noquote() << "Web remote: a wrong code from" << AllowList::plain(peer).toString();
        return Refusal::WrongCode;
    }
    if (upgrade) {
        // Only the page this server gave may open the socket, not a page of another site.
        if (request.value("origin") != "http://" + host)
            return Refusal::BadOrigin;
        if (pageCount() >= kMaxPages)
            return Refusal::Full;
    }
    return Refusal::None;
}

void WebRemote::refuse(const QHttpServerRequest &request, QTcpSocket *socket, Refusal why)
{
    using Status = QHttpServerResponder::StatusCode;
    Status status = Status::Forbidden;
    QString text;
    switch (why) {
    case Refusal::None:
        status = Status::NotFound;
        text = tr("There is no such page.");
        break;
    case Refusal::Drop:
        text = tr("This address may not use the remote.");
        break;
    case Refusal::NoCode:
        text = tr("This page needs the pairing code: scan the QR code in the Remote Control window of Orvelin "
                  "Driver.");
        break;
    case Refusal::WrongCode:
        text = tr("The pairing code is wrong or old: scan the QR code in the Remote Control window of Orvelin "
                  "Driver again.");
        break;
    case Refusal::TooMany:
        status = Status::TooManyRequests;
        text = tr("Too many wrong codes from this address: try again in a minute.");
        break;
    case Refusal::BadHost:
        text = tr("Open the page by the address the Remote Control window shows.");
        break;
    case Refusal::BadOrigin:
        text = tr("Only the remote's own page may connect.");
        break;
    case Refusal::Full:
        status = Status::ServiceUnavailable;
        text = tr("Eight pages are open already: close one first.");
        break;
    }
    QHttpServerResponder responder = makeResponder(request, socket);
    const QByteArray body = text.toUtf8() + '\n';
    responder.writeStatusLine(status);
    responder.writeHeader("Content-Type", "text/plain; charset=utf-8");
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeBody(body);
}

bool WebRemote::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    const bool upgrade = request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
    const Refusal why = check(request, socket, upgrade);
    if (upgrade) {
        // Qt's server upgrades the connection when this returns true, and calls missingHandler
        // when it returns false.
        lastRefusal = why;
        return why == Refusal::None && request.url().path() == QLatin1String("/socket");
    }
    if (why != Refusal::None) {
        refuse(request, socket, why);
        return true;
    }
    const QString path = request.url().path();
    const auto file = std::find_if(
        std::begin(kFiles), std::end(kFiles), [&path](const PageFile &f) { return path == QLatin1String(f.path); });
    if (request.method() != QHttpServerRequest::Method::Get || file == std::end(kFiles)) {
        refuse(request, socket, Refusal::None);
        return true;
    }
    QFile resource(QString::fromLatin1(file->resource));
    resource.open(QIODevice::ReadOnly);
    const QByteArray body = resource.readAll();
    const QByteArray host = request.value("host");
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(QHttpServerResponder::StatusCode::Ok);
    responder.writeHeader("Content-Type", file->type);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    // The page's address holds the code: no copy of it in any cache, no referrer, no frame.
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("Referrer-Policy", "no-referrer");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Content-Security-Policy",
        "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src ws://" + host
            + "; base-uri 'none'; form-action 'none'; frame-ancestors 'none'");
    const QString inQuery = QUrlQuery(request.url()).queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    if (!inQuery.isEmpty())
        responder.writeHeader(
            "Set-Cookie", kCookie + '=' + inQuery.toLatin1() + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=31536000");
    responder.writeBody(body);
    return true;
}

void WebRemote::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    refuse(request, socket, lastRefusal);
    lastRefusal = Refusal::None;
    socket->disconnectFromHost();
}

void WebRemote::acceptPages()
{
    sweep();
    while (hasPendingWebSocketConnections()) {
        QWebSocket *socket = nextPendingWebSocketConnection().release();
        // Checked again: a new code may have come between the handshake and now.
        if (pageCount() >= kMaxPages
            || !access.matches(presentedCode(socket->requestUrl(), socket->request().rawHeader("Cookie")))) {
            socket->close(kOldCode, QStringLiteral("refused"));
            socket->deleteLater();
            continue;
        }
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(kMaxMessage);
        socket->setMaxAllowedIncomingMessageSize(kMaxMessage);
        pages.push_back(std::make_unique<Page>());
        Page *page = pages.back().get();
        page->socket = socket;
        page->heard.start();
        // The page's connection, a child of the listener, which no one else deletes.
        if (listener)
            for (QTcpSocket *connection : listener->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly))
                if (connection->peerPort() == socket->peerPort() && connection->peerAddress() == socket->peerAddress())
                    page->connection = connection;
        connect(socket, &QWebSocket::textMessageReceived, this,
            [this, page](const QString &text) { receive(*page, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this, [this, page] { closePage(*page, "binary message"); });
        connect(socket, &QWebSocket::pong, this, [page] { page->heard.start(); });
        connect(socket, &QWebSocket::disconnected, this, [this, page] {
            closePage(*page, nullptr);
            QTimer::singleShot(0, this, &WebRemote::sweep);
        });
        qDebug().noquote() << "Web remote: a page opened from" << AllowList::plain(socket->peerAddress()).toString();
        if (!pinger->isActive())
            pinger->start();
        send(*page, state());
        emit stateChanged();
    }
}

void WebRemote::receive(Page &page, const QString &text)
{
    page.heard.start();
    const QJsonObject message = QJsonDocument::fromJson(text.toUtf8()).object();
    if (message.value("type").toString() == QLatin1String("ping")) {
        send(page, QJsonObject { { "type", "pong" } });
        return;
    }
    const QJsonValue id = message.value("id");
    const QJsonValue value = message.value("value");
    const QString name = message.value("set").toString();
    if (name.isEmpty() || !(value.isString() || value.isDouble())) {
        send(page,
            QJsonObject { { "type", "reply" }, { "id", id }, { "ok", false }, { "error", "usage" },
                { "message", "A message is {\"id\":N,\"set\":NAME,\"value\":VALUE}." } });
        return;
    }
    const QString valueText = value.isString() ? value.toString() : QString::number(value.toDouble());
    // A set waiting for the same control gives way to the newer one: a handle dragged fast sends
    // the device only where it is now.
    for (Waiting &w : page.waiting)
        if (w.name == name) {
            send(page, QJsonObject { { "type", "reply" }, { "id", w.id }, { "ok", true }, { "superseded", true } });
            w.value = valueText;
            w.id = id;
            return;
        }
    if (int(page.waiting.size()) >= kMaxWaiting) {
        closePage(page, "too many messages waiting");
        return;
    }
    page.waiting.push_back({ name, valueText, id });
    // Served at once unless others wait their turn: a page's one set needs no trip round the loop.
    // The turn is started all the same, so what arrives behind it in the same read waits and
    // coalesces.
    if (turn->requested())
        return;
    turn->request();
    serve();
}

void WebRemote::serve()
{
    sweep();
    turn->begin();
    // In rounds over the pages, so one busy page does not keep the others waiting.
    turn->rounds(pages, [this](Page &page) {
        if (!page.socket || page.waiting.empty())
            return false;
        const Waiting w = page.waiting.front();
        page.waiting.pop_front();
        QJsonObject reply = controls.set({ { w.name, w.value } });
        reply.insert("type", "reply");
        reply.insert("id", w.id);
        send(page, reply);
        return true;
    });
    if (std::any_of(pages.begin(), pages.end(), [](const auto &p) { return p->socket && !p->waiting.empty(); }))
        turn->request();
}

void WebRemote::send(Page &page, const QJsonObject &message)
{
    sendText(page, QString::fromUtf8(json(message)));
}

void WebRemote::sendText(Page &page, const QString &text)
{
    if (!page.socket)
        return;
    if (page.socket->bytesToWrite() > kMaxUnsent) {
        closePage(page, "it does not read what it is sent");
        return;
    }
    page.socket->sendTextMessage(text);
}

void WebRemote::broadcast(const QJsonObject &message)
{
    const QString text = QString::fromUtf8(json(message));
    for (const auto &page : pages)
        sendText(*page, text);
}

QJsonObject WebRemote::state() const
{
    QJsonObject state { { "type", "state" }, { "connected", controls.connected() } };
    if (controls.connected()) {
        state.insert("model", controls.modelName());
        state.insert("firmware", controls.firmwareText());
        state.insert("controls", controls.list().value("controls"));
    }
    // The language the panel speaks, for the page's screen readers and hyphenation.
    state.insert("language", QLocale().bcp47Name());
    state.insert("texts",
        QJsonObject {
            { "title", tr("Orvelin Remote") },
            { "noDevice", tr("No device is connected.") },
            { "firmware", tr("Firmware") },
            { "lost", tr("The connection to the panel is lost. Trying again…") },
            { "back", tr("Connected to the panel.") },
            { "oldCode",
                tr("This page was paired with an old code: scan the new QR code in the Remote Control "
                   "window.") },
            { "lower", tr("Lower") },
            { "raise", tr("Raise") },
            { "dragToRaise", tr("To raise it, drag the handle or press +.") },
            { "on", tr("On") },
            { "off", tr("Off") },
        });
    return state;
}

void WebRemote::closePage(Page &page, const char *why)
{
    if (!page.socket)
        return;
    QWebSocket *socket = page.socket;
    page.socket = nullptr;
    page.waiting.clear();
    socket->disconnect(this);
    if (why)
        qDebug().noquote() << "Web remote: a page closed:" << why;
    if (socket->state() != QAbstractSocket::UnconnectedState)
        socket->close(why ? QWebSocketProtocol::CloseCodePolicyViolated : QWebSocketProtocol::CloseCodeGoingAway);
    socket->deleteLater();
    if (page.connection)
        page.connection->deleteLater();
    QTimer::singleShot(0, this, [this] { emit stateChanged(); });
}

void WebRemote::sweep()
{
    pages.erase(std::remove_if(pages.begin(), pages.end(), [](const auto &p) { return !p->socket; }), pages.end());
    if (pages.empty())
        pinger->stop();
}

void WebRemote::pingPages()
{
    for (const auto &page : pages) {
        if (!page->socket)
            continue;
        if (page->heard.elapsed() > kSilentMs)
            closePage(*page, "it did not answer for 45 s");
        else
            page->socket->ping();
    }
    sweep();
}
