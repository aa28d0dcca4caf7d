// The whole program as a process, against orvelin-emulator with a KA2 plugged in:
// - startUp: from process start to the event loop running (the program logs the steady clock
//   there when ORVELIN_STARTUP_PROBE is set), and the resident memory once the first panel is
//   built;
// - idleCpu: CPU time (utime + stime) over 60 s with the window hidden, as a share of one core.
// With DISPLAY set the program runs on it (xcb) beside a trayer system tray, so the window starts
// hidden; without, it runs offscreen. Run under Xvfb for the tray figures:
//
//     xvfb-run -a -s "-screen 0 1280x800x24" build/bench/bench_process
#include "tests/e2e/E2eSession.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <benchmark/benchmark.h>

#include <chrono>
#include <unistd.h>

namespace {

bool onDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

void prepare(E2eSession &session)
{
    if (!onDisplay())
        return;
    session.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    session.startHelper(QStringLiteral("trayer"),
        { QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"), QStringLiteral("right"),
            QStringLiteral("--widthtype"), QStringLiteral("pixel"), QStringLiteral("--width"), QStringLiteral("160"),
            QStringLiteral("--height"), QStringLiteral("32"), QStringLiteral("--SetDockType"),
            QStringLiteral("false") });
    QThread::msleep(500);
}

double residentMegabytes(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QFile::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    return 0;
}

// utime + stime of the process, in seconds.
double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QFile::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    const double ticks = fields.value(11).toDouble() + fields.value(12).toDouble();
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

qint64 steadyMilliseconds()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void startUp(benchmark::State &state)
{
    double residentTotal = 0;
    int rounds = 0;
    for (auto _ : state) {
        E2eSession session;
        prepare(session);
        if (!session.startEmulator(2)) {
            state.SkipWithError("the emulator did not start");
            return;
        }
        session.environment().insert(QStringLiteral("ORVELIN_STARTUP_PROBE"), QStringLiteral("1"));
        const qint64 started = steadyMilliseconds();
        QProcess *program = session.startProgram();
        const QString running = QStringLiteral("Event loop running at steady clock ms:");
        if (!session.waitForLog(program, running, 10000)
            || !session.waitForLog(program, QStringLiteral("Device found with PID: 2"), 10000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        const QRegularExpressionMatch at
            = QRegularExpression(running + QStringLiteral(" (\\d+)")).match(session.log(program));
        state.SetIterationTime((at.captured(1).toLongLong() - started) / 1000.0);
        residentTotal += residentMegabytes(program->processId());
        ++rounds;
        session.terminate(program);
    }
    state.counters["resident_MB_after_first_panel"] = residentTotal / rounds;
}

void idleCpu(benchmark::State &state)
{
    for (auto _ : state) {
        E2eSession session;
        prepare(session);
        if (!session.startEmulator(2)) {
            state.SkipWithError("the emulator did not start");
            return;
        }
        QProcess *program = session.startProgram();
        if (!session.waitForLog(program, QStringLiteral("Device found with PID: 2"), 10000)) {
            state.SkipWithError("the program did not start");
            return;
        }
        QThread::sleep(5);
        const qint64 pid = program->processId();
        const double before = cpuSeconds(pid);
        for (int second = 0; second < 60; ++second) {
            QThread::sleep(1);
            session.log(program); // keeps its log pipe drained
        }
        const double used = cpuSeconds(pid) - before;
        state.SetIterationTime(60);
        state.counters["cpu_percent_of_one_core"] = used / 60 * 100;
        state.counters["cpu_ms_in_60s"] = used * 1000;
        state.counters["window_hidden_in_tray"] = onDisplay() ? 1 : 0;
        session.terminate(program);
    }
}

} // namespace

BENCHMARK(startUp)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(idleCpu)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
