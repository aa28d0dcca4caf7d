#include "app/RemoteWindow.h"
#include "control/OscEndpoint.h"
#include "control/WebRemote.h"
#include "controls/Knob.h"
#include "panels/ka2.h"
#include "tests/support/RemoteRig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QWebSocket>
#include <QtTest>

class tst_WebRemote : public QObject
{
    Q_OBJECT

private slots:
    void everyRequestNeedsTheCode();
    void pagesTakeTheMouseRoadAndHearEveryChange();
    void limits();
    void newCodeClosesOldPagesAndTheHashOutlivesARestart();
    void windowsQrCodeReadsAsTheAddress();
};

namespace {

// A KA2 panel on the emulator, its registry followed, the remote on a free loopback port.
struct Served : RemoteRig<ka2>
{
    explicit Served(const QVariantMap &extra = {})
        : RemoteRig(2, "KA2")
    {
        QVariantMap values { { "Web/Address", "127.0.0.1" }, { "Web/Port", 0 } };
        values.insert(extra);
        rig.store("/remote.ini", values);
        remote.start(OscEndpoint::settingsPath());
        QVERIFY(remote.turnOn(QHostAddress::LocalHost));
        code = remote.newCode();
    }
    QByteArray host() const { return "127.0.0.1:" + QByteArray::number(remote.port()); }

    WebRemote remote { registry };
    QString code;
};

// One HTTP request on a connection of its own; the whole answer, or "" when the server hung up.
QByteArray get(const WebRemote &r, const QByteArray &path, const QByteArray &headers = {}, const QByteArray &host = {})
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, r.port());
    if (!socket.waitForConnected(3000))
        return QByteArray();
    socket.write("GET " + path
        + " HTTP/1.1\r\nHost: " + (host.isEmpty() ? "127.0.0.1:" + QByteArray::number(r.port()) : host) + "\r\n"
        + headers + "Connection: close\r\n\r\n");
    QByteArray answer;
    for (QDeadlineTimer deadline(3000); !deadline.hasExpired() && socket.state() == QAbstractSocket::ConnectedState;) {
        QTest::qWait(5);
        answer += socket.readAll();
        const int end = answer.indexOf("\r\n\r\n");
        const int length = answer.indexOf("Content-Length: ");
        if (end > 0 && length > 0 && answer.size() >= end + 4 + answer.mid(length + 16, 8).split('\r')[0].toInt())
            break;
    }
    return answer + socket.readAll();
}

// A page's socket; what it hears, one JSON object a message.
struct Page
{
    Page(const Served &s, const QString &code, const QString &origin = QString())
        : socket(origin.isNull() ? "http://" + QString::fromLatin1(s.host()) : origin)
    {
        QObject::connect(&socket, &QWebSocket::textMessageReceived,
            [this](const QString &text) { heard << QJsonDocument::fromJson(text.toUtf8()).object(); });
        QObject::connect(&socket, &QWebSocket::disconnected, [this] { closeCode = socket.closeCode(); });
        socket.open(QUrl(QStringLiteral("ws://%1/socket?code=%2").arg(QString::fromLatin1(s.host()), code)));
    }
    bool open()
    {
        // A refused handshake ends in an unconnected socket; the socket may also still be
        // connected when it is closed right after the handshake.
        for (QDeadlineTimer deadline(3000);
             !deadline.hasExpired() && socket.state() != QAbstractSocket::UnconnectedState && heard.isEmpty();)
            QTest::qWait(2);
        return socket.state() == QAbstractSocket::ConnectedState && !heard.isEmpty();
    }
    // The first message of type not taken yet; an empty object after 3 s.
    QJsonObject next(const QString &type)
    {
        for (QDeadlineTimer deadline(3000); !deadline.hasExpired(); QTest::qWait(2))
            for (int i = 0; i < heard.size(); ++i)
                if (heard[i].value("type").toString() == type)
                    return heard.takeAt(i);
        return QJsonObject();
    }
    QWebSocket socket;
    QList<QJsonObject> heard;
    int closeCode = -1;
};

} // namespace

void tst_WebRemote::everyRequestNeedsTheCode()
{
    Served s;
    testsupport::LogCapture log;
    const QByteArray code = s.code.toLatin1();
    const QByteArray cookie = "Cookie: orvelin_code=" + code + "\r\n";
    QVERIFY(get(s.remote, "/").contains("needs the pairing code"));
    // In this order: the cut code is the first of the wrong ones counted below.
    for (const QByteArray &path : { QByteArray("/"), QByteArray("/remote.js"), "/?code=" + code.left(20) + "AA" })
        QVERIFY(get(s.remote, path).startsWith("HTTP/1.1 403"));

    // The code opens the page and leaves a cookie only the page's own requests send.
    const QByteArray page = get(s.remote, "/?code=" + code);
    QVERIFY2(page.startsWith("HTTP/1.1 200"), page.left(200).constData());
    QVERIFY(page.contains("Cache-Control: no-store"));
    QVERIFY(page.contains("Content-Security-Policy: default-src 'none'; script-src 'self'"));
    QVERIFY(page.contains("connect-src ws://" + s.host() + ";"));
    QVERIFY(page.contains("Set-Cookie: orvelin_code=" + code + "; Path=/; HttpOnly; SameSite=Strict"));
    QVERIFY(get(s.remote, "/remote.js", cookie).startsWith("HTTP/1.1 200"));
    QVERIFY(get(s.remote, "/nothing", cookie).startsWith("HTTP/1.1 404"));
    // Another name for this address (a rebinding site's) and another site's page are refused.
    QVERIFY(get(s.remote, "/", cookie, "rebound.example:" + QByteArray::number(s.remote.port()))
                .startsWith("HTTP/1.1 403"));
    Page foreign(s, s.code, "http://rebound.example"), noCode(s, QString());
    QVERIFY(!foreign.open() && !noCode.open());
    QCOMPARE(s.remote.pageCount(), 0);

    // remote.ini holds the hash, never the code.
    const QByteArray stored = testsupport::onDisk(OscEndpoint::settingsPath());
    QVERIFY(!stored.contains(code));
    QVERIFY(stored.contains("Code=sha256:"));

    // Ten wrong codes within a minute (the cut one above among them) shut the address out, even
    // with the right one.
    for (int i = 0; i < 8; ++i)
        QVERIFY(get(s.remote, "/?code=wrong").startsWith("HTTP/1.1 403"));
    QVERIFY(get(s.remote, "/?code=" + code).startsWith("HTTP/1.1 200"));
    QVERIFY(get(s.remote, "/?code=wrong").startsWith("HTTP/1.1 403"));
    QVERIFY(get(s.remote, "/?code=" + code).startsWith("HTTP/1.1 429"));
    QVERIFY(log.contains("Web remote: a wrong code from 127.0.0.1"));
}

void tst_WebRemote::pagesTakeTheMouseRoadAndHearEveryChange()
{
    Served s;
    Page phone(s, s.code), tablet(s, s.code);
    QVERIFY(phone.open() && tablet.open());
    const QJsonObject state = phone.next("state");
    QCOMPARE(state.value("model").toString(), QString("KA2"));
    QCOMPARE(state.value("firmware").toString(), QString("V1.2"));
    QVERIFY(state.value("texts").toObject().contains("noDevice"));
    QJsonObject headphone;
    for (const QJsonValue &c : state.value("controls").toArray())
        if (c.toObject().value("name").toString() == QLatin1String("headphone.volume"))
            headphone = c.toObject();
    QCOMPARE(headphone.value("min").toInt(), -80);
    QCOMPARE(headphone.value("max").toInt(), 6);
    QCOMPARE(headphone.value("unit").toString(), QString("dB"));
    QCOMPARE(s.remote.pageCount(), 2);
    tablet.next("state");

    // The page's -20 and the knob's -20: the same block, the same log, the INI file.
    testsupport::LogCapture log;
    const int from = s.rig.sent().size();
    phone.socket.sendTextMessage(R"({"id":7,"set":"headphone.volume","value":"-20"})");
    const QJsonObject reply = phone.next("reply");
    QCOMPARE(reply.value("id").toInt(), 7);
    QVERIFY(reply.value("ok").toBool());
    QCOMPARE(s.rig.sent().mid(from), QStringList({ "block" }));
    const std::vector<std::uint8_t> pageBlock = s.rig.blocks().back();
    const QStringList pageLog = log.lines();
    QCOMPARE(s.rig.stored("/ka2.ini", "Dial/HeadphoneValue"), QString("-20"));
    auto *knob = s.panel.findChild<Knob *>("headphoneKnob");
    knob->setValue(-21);
    log.clear();
    knob->setValue(-20);
    QCOMPARE(s.rig.blocks().back(), pageBlock);
    QCOMPARE(log.lines(), pageLog);
    // Both pages hear the page's set and then the knob's turns.
    for (Page *p : { &phone, &tablet }) {
        const QJsonObject changed = p->next("changed");
        QCOMPARE(changed.value("name").toString(), QString("headphone.volume"));
        QCOMPARE(changed.value("value").toString(), QString("-20"));
        QCOMPARE(p->next("changed").value("value").toString(), QString("-21"));
        QCOMPARE(p->next("changed").value("value").toString(), QString("-20"));
    }

    // Refusals as orvelinctl hears them, and nothing sent.
    const int before = s.rig.sent().size();
    const std::pair<QString, QString> refusals[] = { { R"({"id":8,"set":"headphone.volume","value":7})", "bad-value" },
        { R"({"id":9,"set":"no.such","value":"1"})", "unknown-control" }, { "not json", "usage" } };
    for (const auto &[message, error] : refusals) {
        phone.socket.sendTextMessage(message);
        QCOMPARE(phone.next("reply").value("error").toString(), error);
    }
    QCOMPARE(s.rig.sent().size(), before);

    // The device leaves and comes back: every page hears the state.
    s.registry.forget();
    QCOMPARE(tablet.next("state").value("connected").toBool(), false);
    s.registry.follow(&s.panel.controls(), "KA2", "V1.2");
    QCOMPARE(tablet.next("state").value("model").toString(), QString("KA2"));
}

void tst_WebRemote::limits()
{
    Served s;
    std::vector<std::unique_ptr<Page>> pages;
    for (int i = 0; i < WebRemote::kMaxPages; ++i) {
        pages.push_back(std::make_unique<Page>(s, s.code));
        QVERIFY(pages.back()->open());
    }
    Page ninth(s, s.code);
    QVERIFY(!ninth.open());
    QVERIFY(get(s.remote, "/?code=" + s.code.toLatin1()).startsWith("HTTP/1.1 200"));

    // Sets to one control waiting together: only the newest reaches the device.
    Page &phone = *pages[0];
    const int from = int(s.rig.blocks().size());
    for (int i = 0; i < 30; ++i)
        phone.socket.sendTextMessage(QString(R"({"id":%1,"set":"headphone.volume","value":"%2"})").arg(i).arg(-30 - i));
    int superseded = 0;
    for (QJsonObject reply = phone.next("reply"); !reply.isEmpty() && reply.value("id").toInt() != 29;
         reply = phone.next("reply"))
        superseded += reply.value("superseded").toBool();
    QCOMPARE(s.rig.stored("/ka2.ini", "Dial/HeadphoneValue"), QString("-59"));
    QCOMPARE(int(s.rig.blocks().size()) - from + superseded, 30);
    QVERIFY(superseded > 0);

    // A message over 4 KiB closes its page, and the slot is free again.
    phone.socket.sendTextMessage(QString(WebRemote::kMaxMessage + 1, QLatin1Char('x')));
    QTRY_COMPARE(s.remote.pageCount(), WebRemote::kMaxPages - 1);
    Page again(s, s.code);
    QVERIFY(again.open());

    // Pages and requests that ended are not counted against the 32 connections that may be open.
    pages.clear();
    again.socket.close();
    QTRY_COMPARE(s.remote.pageCount(), 0);
    for (int i = 0; i < WebRemote::kMaxConnections + 8; ++i) {
        Page visit(s, s.code);
        QVERIFY2(visit.open(), qPrintable(QString::number(i)));
        visit.socket.close();
        QVERIFY(get(s.remote, "/?code=" + s.code.toLatin1()).startsWith("HTTP/1.1 200"));
    }

    // Allow= without the loopback: the loopback is not even answered.
    Served narrow({ { "Web/Allow", "10.0.0.0/8" } });
    QVERIFY(narrow.remote.isOn());
    QCOMPARE(get(narrow.remote, "/?code=" + narrow.code.toLatin1()), QByteArray());
    // Every interface only with Allow=.
    QVERIFY(!s.remote.turnOn(QHostAddress::AnyIPv4));
    QVERIFY(s.remote.problem().contains("Allow="));
}

void tst_WebRemote::newCodeClosesOldPagesAndTheHashOutlivesARestart()
{
    auto s = std::make_unique<Served>();
    const QString old = s->code;
    Page phone(*s, old);
    QVERIFY(phone.open());
    const QString fresh = s->remote.newCode();
    QVERIFY(fresh != old && fresh.size() >= 22);
    QTRY_COMPARE(phone.closeCode, 4001);
    QCOMPARE(s->remote.pageCount(), 0);
    QVERIFY(get(s->remote, "/?code=" + old.toLatin1()).startsWith("HTTP/1.1 403"));
    QVERIFY(s->remote.pageAddress().endsWith("/?code=" + fresh));

    // The next run serves again with the stored hash; the code itself it no longer knows.
    ControlRegistry registry;
    WebRemote next(registry);
    s->remote.turnOff();
    QVERIFY(!s->remote.isOn());
    QSettings(OscEndpoint::settingsPath(), QSettings::IniFormat).setValue("Web/Enabled", true);
    QVERIFY(next.start(OscEndpoint::settingsPath()));
    QVERIFY(!next.codeKnown());
    QVERIFY(!next.pageAddress().contains("code="));
    QVERIFY(get(next, "/?code=" + fresh.toLatin1()).startsWith("HTTP/1.1 200"));
}

void tst_WebRemote::windowsQrCodeReadsAsTheAddress()
{
    const QString zbarimg = QStandardPaths::findExecutable(QStringLiteral("zbarimg"));
    if (zbarimg.isEmpty())
        QSKIP("zbarimg (zbar-tools) is not installed");
    Served s;
    RemoteWindow window(s.remote);
    window.show();
    QVERIFY(window.shownAddress().startsWith("http://127.0.0.1:"));
    QCOMPARE(window.shownAddress(), s.remote.pageAddress());
    const QString shot = s.rig.env.appDataDir() + "/remote-window.png";
    QVERIFY(window.grab().save(shot));
    if (const QString screenshots = qEnvironmentVariable("ORVELIN_SCREENSHOT_DIR");
        !screenshots.isEmpty() && QDir().mkpath(screenshots))
        window.grab().save(screenshots + "/remote-window.png");
    QProcess zbar;
    zbar.start(zbarimg, { "--raw", "-q", shot });
    QVERIFY(zbar.waitForFinished(10000));
    QCOMPARE(QString::fromUtf8(zbar.readAllStandardOutput()).trimmed(), s.remote.pageAddress());

    // Off: no address, no code.
    s.remote.turnOff();
    QVERIFY(window.shownAddress().isEmpty());
}

QTEST_MAIN(tst_WebRemote)
#include "tst_WebRemote.moc"
