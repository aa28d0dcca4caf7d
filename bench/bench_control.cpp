// Costs of the control channel, against the in-process emulated KA1 on the Linux driver port:
// one "set" over an open connection, from the request leaving the client to its reply arriving
// (the handler's device write and INI sync included), measured in turns with the knob event of
// the same control; and "orvelinctl get" as a whole process.
//
//     bench_control [benchmark options; by default 5 interleaved repetitions, their mean and spread]
// The settings files live in the temporary folder (TMPDIR), as in bench_panel.
#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "controls/Knob.h"
#include "emulator/Emulator.h"
#include "panels/ka1.h"
#include "tests/support/TestSupport.h"

#include "bench/MeanReporter.h"

#include <QApplication>
#include <QFile>
#include <QProcess>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
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

    Rig()
    {
        device.setRecording(false);
        device.start();
        panel = std::make_unique<ka1>();
        server = std::make_unique<ControlServer>();
        server->registry().follow(&panel->controls(), QStringLiteral("KA1"), QStringLiteral("V4.0.6.123"));
        server->start(); // the user's endpoint: R/control, as orvelinctl finds it
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

    bool connected = false;

private:
    int fd;
    QByteArray pending;
};

// "set headphone.volume V" over the channel and the knob event it stands for, in turns.
void setOverChannel(benchmark::State &state)
{
    Rig &r = rig();
    auto *knob = r.panel->findChild<Knob *>(QStringLiteral("headphoneKnob"));
    Script script;
    if (!script.connected || !script.ask("get headphone.volume\n").contains("\"ok\":true")) {
        state.SkipWithError("no control channel");
        return;
    }
    using Clock = std::chrono::steady_clock;
    Clock::duration setTotal {};
    Clock::duration knobTotal {};
    int value = -10;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        const QByteArray reply = script.ask("set headphone.volume " + QByteArray::number(value) + '\n');
        const Clock::time_point between = Clock::now();
        knob->setValue(value - 1);
        const Clock::time_point end = Clock::now();
        if (!reply.contains("\"ok\":true")) {
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
    state.counters["knob_us"] = benchmark::Counter(knobMicros, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_knob"] = knobMicros > 0 ? setMicros / knobMicros : 0;
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
    rig().server.reset();
    rig().panel.reset();
    benchmark::Shutdown();
    return 0;
}
