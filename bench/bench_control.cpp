// Costs of the control channel, against the in-process emulated KA1 on the Linux driver port:
// one "set" over an open connection, from the request leaving the client to its reply arriving
// (the handler's device write and INI sync included), measured in turns with the knob event of
// the same control; 1000 sets sent at once on one connection while the panel repaints every 5 ms,
// with the event loop's longest pause meanwhile against its longest pause repainting alone; and
// "orvelinctl get" as a whole process. Over OSC: one set, from the datagram
// leaving the surface to its feedback arriving, in turns with the knob event; and a burst of 1000
// sets of one control (20 bundles of 50, so the system's receive buffer holds them all) and a last
// one: the event loop's longest pause, how many of them the device heard (waiting sets coalesce)
// and how long after the last was sent it was carried out.
//
//     bench_control [benchmark options; by default 5 interleaved repetitions, their mean and spread]
// The settings files live in the temporary folder (TMPDIR), as in bench_panel.
#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "control/OscEndpoint.h"
#include "control/OscMessage.h"
#include "control/WebRemote.h"
#include "controls/Knob.h"
#include "emulator/Emulator.h"
#include "panels/ka1.h"
#include "tests/support/TestSupport.h"

#include "bench/MeanReporter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSettings>
#include <QTimer>
#include <QWebSocket>

#include <benchmark/benchmark.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

// The emulated KA1, its panel and the panel's control channel in the private runtime folder.
struct Rig
{
    testsupport::IsolatedEnvironment environment;
    emu::Emulator device { environment.runtimeDir().toStdString(), 1 };
    std::unique_ptr<ka1> panel;
    std::unique_ptr<ControlServer> server;
    std::unique_ptr<OscEndpoint> osc;
    std::unique_ptr<WebRemote> web;

    Rig()
    {
        device.setRecording(false);
        device.start();
        panel = std::make_unique<ka1>();
        server = std::make_unique<ControlServer>();
        server->registry().follow(&panel->controls(), QStringLiteral("KA1"), QStringLiteral("V4.0.6.123"));
        server->start(); // the user's endpoint: R/control, as orvelinctl finds it
        osc = std::make_unique<OscEndpoint>(server->registry());
        osc->listen(QHostAddress::LocalHost, 0);
        web = std::make_unique<WebRemote>(server->registry());
        {
            QSettings remote(environment.appDataDir() + QStringLiteral("/remote.ini"), QSettings::IniFormat);
            remote.setValue(QStringLiteral("Web/Port"), 0);
        }
        web->start(environment.appDataDir() + QStringLiteral("/remote.ini"));
        web->turnOn(QHostAddress::LocalHost);
    }
};

Rig &rig()
{
    static Rig instance;
    return instance;
}

// A script's side of the channel: a plain socket, read while this thread runs the panel's loop.
class Script
{
public:
    Script()
        : fd(::socket(AF_UNIX, SOCK_STREAM, 0))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        const QByteArray path = QFile::encodeName(rig().server->serverName());
        std::memcpy(
            address.sun_path, path.constData(), std::min<std::size_t>(path.size(), sizeof address.sun_path - 1));
        connected = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~Script() { ::close(fd); }

    // One request line to its reply line; empty on failure.
    QByteArray ask(const QByteArray &line)
    {
        if (::send(fd, line.constData(), line.size(), MSG_NOSIGNAL) != line.size())
            return {};
        for (;;) {
            const int end = pending.indexOf('\n');
            if (end >= 0) {
                const QByteArray reply = pending.left(end);
                pending.remove(0, end + 1);
                return reply;
            }
            QCoreApplication::processEvents();
            pollfd ready { fd, POLLIN, 0 };
            if (::poll(&ready, 1, 0) > 0) {
                char buffer[4096];
                const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
                if (got <= 0)
                    return {};
                pending.append(buffer, int(got));
            }
        }
    }

    // Sends lines at once (as the system takes them, running the panel's loop meanwhile) and reads
    // until count replies came; returns how many of them were ok.
    int burst(const QByteArray &lines, int count)
    {
        qint64 sent = 0;
        int replies = 0;
        int ok = 0;
        while (replies < count) {
            if (sent < lines.size()) {
                const ssize_t put = ::send(
                    fd, lines.constData() + sent, std::size_t(lines.size() - sent), MSG_NOSIGNAL | MSG_DONTWAIT);
                if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
                    return ok;
                sent += std::max<ssize_t>(put, 0);
            }
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
            char buffer[8192];
            for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;)
                pending.append(buffer, int(got));
            for (int end; (end = pending.indexOf('\n')) >= 0; ++replies) {
                ok += pending.left(end).contains("\"ok\":true");
                pending.remove(0, end + 1);
            }
        }
        return ok;
    }

    bool connected = false;

private:
    int fd;
    QByteArray pending;
};

// The event loop's longest pause while run runs it: a 5 ms timer that also repaints the panel
// notes the longest gap between its ticks.
qint64 longestLoopPause(const std::function<void()> &run)
{
    QElapsedTimer clock;
    qint64 last = 0;
    qint64 longest = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longest = std::max(longest, clock.elapsed() - last);
        last = clock.elapsed();
        rig().panel->update();
    });
    ticker.start(5);
    clock.start();
    run();
    return longest;
}

qint64 longestChannelPause = 0;
qint64 longestPaintingPause = 0;

// 1000 "set headphone.volume" lines sent at once on one connection while the panel is shown and
// repaints; the loop's longest pause until the last reply, and repainting alone beforehand.
void channelBurstLoopPause(benchmark::State &state)
{
    Rig &r = rig();
    Script script;
    if (!script.connected) {
        state.SkipWithError("no control channel");
        return;
    }
    QByteArray lines;
    for (int i = 0; i < 1000; ++i)
        lines += "set headphone.volume " + QByteArray::number(-(i % 60)) + '\n';
    r.panel->show();
    qint64 painting = 0;
    qint64 serving = 0;
    for (auto _ : state) {
        painting = std::max(painting, longestLoopPause([] {
            QElapsedTimer idle;
            idle.start();
            while (idle.elapsed() < 500)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }));
        int ok = 0;
        serving = std::max(serving, longestLoopPause([&] { ok = script.burst(lines, 1000); }));
        if (ok != 1000) {
            state.SkipWithError("not every set was carried out");
            break;
        }
    }
    // The other figures are of the panel hidden, as in the tray.
    r.panel->hide();
    longestChannelPause = std::max(longestChannelPause, serving);
    longestPaintingPause = std::max(longestPaintingPause, painting);
    state.counters["longest_pause_ms"] = double(serving);
    state.counters["painting_alone_ms"] = double(painting);
}

// The set over the channel and the knob event it stands for, in turns; set returns whether it was
// carried out. The sums of both times are added to setSum and knobSum.
void timeAgainstKnob(benchmark::State &state, const std::function<bool(int)> &set, double &setSum, double &knobSum)
{
    auto *knob = rig().panel->findChild<Knob *>(QStringLiteral("headphoneKnob"));
    using Clock = std::chrono::steady_clock;
    Clock::duration setTotal {};
    Clock::duration knobTotal {};
    int value = -10;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const bool done = set(value);
        const Clock::time_point between = Clock::now();
        knob->setValue(value - 1);
        const Clock::time_point end = Clock::now();
        if (!done) {
            state.SkipWithError("the set failed");
            return;
        }
        setTotal += between - start;
        knobTotal += end - between;
        state.SetIterationTime(std::chrono::duration<double>(between - start).count());
        value = value == -10 ? -12 : -10;
    }
    const double setMicros = std::chrono::duration<double, std::micro>(setTotal).count();
    const double knobMicros = std::chrono::duration<double, std::micro>(knobTotal).count();
    setSum += setMicros;
    knobSum += knobMicros;
    state.counters["knob_us"] = benchmark::Counter(knobMicros, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_knob"] = knobMicros > 0 ? setMicros / knobMicros : 0;
}

// "set headphone.volume V" over the channel and the knob event it stands for, in turns.
void setOverChannel(benchmark::State &state)
{
    Script script;
    if (!script.connected || !script.ask("get headphone.volume\n").contains("\"ok\":true")) {
        state.SkipWithError("no control channel");
        return;
    }
    double setSum = 0;
    double knobSum = 0;
    timeAgainstKnob(
        state,
        [&script](int value) {
            return script.ask("set headphone.volume " + QByteArray::number(value) + '\n').contains("\"ok\":true");
        },
        setSum, knobSum);
}

// A control surface's side of the OSC endpoint: a plain UDP socket on the loopback.
class Surface
{
public:
    Surface()
        : fd(::socket(AF_INET, SOCK_DGRAM, 0))
    {
        sockaddr_in local {};
        local.sin_family = AF_INET;
        local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd, reinterpret_cast<sockaddr *>(&local), sizeof local);
        to.sin_family = AF_INET;
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        to.sin_port = htons(rig().osc->port());
    }
    ~Surface() { ::close(fd); }
    void send(const QByteArray &packet)
    {
        ::sendto(fd, packet.constData(), std::size_t(packet.size()), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    // Runs the panel's loop until a message with this first argument arrives at address.
    bool await(const QByteArray &address, int value)
    {
        for (int spins = 0; spins < 2000000; ++spins) {
            QCoreApplication::processEvents();
            char buffer[2048];
            const ssize_t got = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
            std::vector<OscMessage> messages;
            if (got > 0 && OscMessage::decode(buffer, std::size_t(got), messages) == OscMessage::Fault::None
                && messages[0].address == address && messages[0].arguments.size() == 1
                && messages[0].arguments[0].i == value)
                return true;
        }
        return false;
    }

private:
    int fd;
    sockaddr_in to {};
};

double oscSetMicros = 0;
double oscKnobMicros = 0;

// "/orvelin/headphone/volume V" from a subscribed surface until its feedback arrives, and the knob
// event it stands for, in turns.
void oscSetAgainstKnob(benchmark::State &state)
{
    Rig &r = rig();
    auto *knob = r.panel->findChild<Knob *>(QStringLiteral("headphoneKnob"));
    Surface surface;
    surface.send(OscMessage("/orvelin/subscribe").encode());
    if (!r.osc->listening() || !surface.await("/orvelin/headphone/volume", knob->value)) {
        state.SkipWithError("no OSC endpoint");
        return;
    }
    // The knob's own change comes back too, with another value; waiting for the set's passes it.
    timeAgainstKnob(
        state,
        [&surface](int value) {
            surface.send(OscMessage("/orvelin/headphone/volume").addInt(value).encode());
            return surface.await("/orvelin/headphone/volume", value);
        },
        oscSetMicros, oscKnobMicros);
}

double webSetMicros = 0;
double webKnobMicros = 0;

// A page's set of headphone.volume on its WebSocket until its reply, and the knob event it
// stands for, in turns.
void webSetAgainstKnob(benchmark::State &state)
{
    Rig &r = rig();
    QWebSocket page(QStringLiteral("http://127.0.0.1:%1").arg(r.web->port()));
    QJsonObject heard;
    QObject::connect(&page, &QWebSocket::textMessageReceived,
        [&heard](const QString &text) { heard = QJsonDocument::fromJson(text.toUtf8()).object(); });
    page.open(QUrl(r.web->pageAddress()
                       .replace(QStringLiteral("http:"), QStringLiteral("ws:"))
                       .replace(QStringLiteral("/?code"), QStringLiteral("/socket?code"))));
    const auto await = [&heard, &page](const char *type) {
        for (QElapsedTimer waited; heard.value("type").toString() != QLatin1String(type);) {
            if (!waited.isValid())
                waited.start();
            if (waited.elapsed() > 3000 || page.state() == QAbstractSocket::UnconnectedState)
                return false;
            QCoreApplication::processEvents();
        }
        return true;
    };
    if (!await("state")) {
        state.SkipWithError("no web remote");
        return;
    }
    timeAgainstKnob(
        state,
        [&](int value) {
            heard = QJsonObject();
            page.sendTextMessage(QStringLiteral("{\"id\":1,\"set\":\"headphone.volume\",\"value\":\"%1\"}").arg(value));
            return await("reply") && heard.value("ok").toBool();
        },
        webSetMicros, webKnobMicros);
}

qint64 longestBurstPause = 0;
double burstApplied = 0;
qint64 longestBurstSettle = 0;

// 1000 sets sent at once and a last one; the longest pause of the event loop until the last is
// carried out.
void oscBurstLoopPause(benchmark::State &state)
{
    Rig &r = rig();
    Surface surface;
    int changes = 0;
    QString lastValue;
    QMetaObject::Connection counting = QObject::connect(&r.server->registry(), &ControlRegistry::changed,
        [&changes, &lastValue](const QString &, const QString &value) {
            ++changes;
            lastValue = value;
        });
    QByteArray bundles[20];
    for (int i = 0; i < 1000; ++i) {
        const QByteArray message = OscMessage("/orvelin/headphone/volume").addInt(-(i % 40) - 1).encode();
        const char size[4] = { 0, 0, 0, char(message.size()) };
        if (bundles[i / 50].isEmpty())
            bundles[i / 50] = QByteArray("#bundle\0", 8) + QByteArray(8, '\0');
        bundles[i / 50] += QByteArray(size, 4) + message;
    }
    qint64 longest = 0;
    qint64 settle = 0;
    int applied = 0;
    static int final = -50; // across repetitions too: a set to the value the knob has changes nothing
    for (auto _ : state) {
        changes = 0;
        final = final == -50 ? -51 : -50;
        QElapsedTimer clock;
        qint64 last = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ticker.start(5);
        clock.start();
        for (const QByteArray &bundle : bundles)
            surface.send(bundle);
        surface.send(OscMessage("/orvelin/headphone/volume").addInt(final).encode());
        const qint64 sent = clock.elapsed();
        while (lastValue != QString::number(final) && clock.elapsed() < 60000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (lastValue != QString::number(final)) {
            state.SkipWithError("the last set was not carried out");
            break;
        }
        settle = std::max(settle, clock.elapsed() - sent);
        applied = std::max(applied, changes);
    }
    QObject::disconnect(counting);
    longestBurstPause = std::max(longestBurstPause, longest);
    longestBurstSettle = std::max(longestBurstSettle, settle);
    burstApplied = std::max(burstApplied, double(applied));
    state.counters["longest_pause_ms"] = double(longest);
    state.counters["applied"] = double(applied);
    state.counters["settle_ms"] = double(settle);
}

// "orvelinctl get headphone.volume": process start, connection, request, reply, exit.
void orvelinctlGet(benchmark::State &state)
{
    rig();
    for (auto _ : state) {
        QProcess process;
        process.start(QStringLiteral(ORVELINCTL_EXE), { QStringLiteral("get"), QStringLiteral("headphone.volume") });
        while (process.state() != QProcess::NotRunning)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        if (process.exitCode() != 0) {
            state.SkipWithError("orvelinctl failed");
            return;
        }
    }
}

} // namespace

BENCHMARK(setOverChannel)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(channelBurstLoopPause)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(oscSetAgainstKnob)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(webSetAgainstKnob)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(oscBurstLoopPause)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(orvelinctlGet)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(discard);
    initializeInterleaved(argc, argv);
    MeanReporter reporter("setOverChannel", "knob_us", "ratio_to_knob");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.ratio > 0)
        std::printf("\nset over the channel %.1f us, knob event %.1f us: %.2f x the knob event\n", reporter.micros,
            reporter.baseMicros, reporter.ratio);
    if (longestChannelPause > 0)
        std::printf("1000 sets at once over the channel while the panel repaints: longest pause of the event loop "
                    "%lld ms (repainting alone %lld ms)\n",
            static_cast<long long>(longestChannelPause), static_cast<long long>(longestPaintingPause));
    if (oscKnobMicros > 0)
        std::printf("OSC set %.2f x the knob event (ratio of their sums); 1001 OSC sets of one control at once: "
                    "longest pause of the event loop %lld ms, at most %.0f carried out, the last %lld ms after it "
                    "was sent\n",
            oscSetMicros / oscKnobMicros, static_cast<long long>(longestBurstPause), burstApplied,
            static_cast<long long>(longestBurstSettle));
    if (webKnobMicros > 0)
        std::printf("web page set %.2f x the knob event (ratio of their sums)\n", webSetMicros / webKnobMicros);
    rig().web.reset();
    rig().osc.reset();
    rig().server.reset();
    rig().panel.reset();
    benchmark::Shutdown();
    return 0;
}
