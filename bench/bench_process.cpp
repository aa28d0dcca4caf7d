// The whole program as a process, against orvelin-emulator with a KA2 plugged in:
// - startUp: from process start to the event loop running (the program logs the steady clock
//   there when ORVELIN_STARTUP_PROBE is set), and the resident memory once the first panel is
//   built;
// - idleCpu: CPU time (the scheduler's run time of all threads) over 60 s with the window hidden,
//   as a share of one core.
// - idleCpuShown (display only): the same with the KA2 panel shown and its meters moving (no tray,
//   so the program shows its window at once), and its resident memory at 6 s, in turns with
//   QjackCtl, Debian's JACK control panel, as the reference of a Qt program that shows a window and
//   idles, and with an empty window of the same Qt as the memory floor.
// With DISPLAY set the program runs on it (xcb) beside a trayer system tray, so the window starts
// hidden; without, it runs offscreen. Run under Xvfb for the tray figures:
//
//     xvfb-run -a -s "-screen 0 1280x800x24" build/bench/bench_process
#include "tests/e2e/E2eSession.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <unistd.h>

namespace {

bool onDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY");
}

void prepare(E2eSession &session, bool withTray = true)
{
    if (!onDisplay())
        return;
    session.environment().insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    if (!withTray)
        return;
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

// The time the process's threads ran, in seconds: the kernel's scheduler clock of each thread
// (nanoseconds), so an idle figure is not rounded to clock ticks of 10 ms. Without schedstat,
// utime + stime in clock ticks.
double cpuSeconds(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    double total = 0;
    bool read = false;
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile schedstat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (!schedstat.open(QFile::ReadOnly))
            continue;
        total += schedstat.readAll().split(' ').value(0).toDouble() / 1e9;
        read = true;
    }
    if (read)
        return total;
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

// The emulator with a KA2 and the program, once it has found it; null (and the run skipped) else.
QProcess *startWithKa2(E2eSession &session, benchmark::State &state)
{
    if (!session.startEmulator(2)) {
        state.SkipWithError("the emulator did not start");
        return nullptr;
    }
    QProcess *program = session.startProgram();
    if (!session.waitForLog(program, QStringLiteral("Device found with PID: 2"), 10000)) {
        state.SkipWithError("the program did not start");
        return nullptr;
    }
    return program;
}

// CPU time of a process over 60 s, after it has settled for `settle` s.
double cpuSecondsOver60s(E2eSession &session, QProcess *program, int settle)
{
    QThread::sleep(settle);
    const qint64 pid = program->processId();
    const double before = cpuSeconds(pid);
    for (int second = 0; second < 60; ++second) {
        QThread::sleep(1);
        session.log(program); // keeps its log pipe drained
    }
    // A thread that ends takes its run time out of the sum; an idle reference may end one.
    return std::max(0.0, cpuSeconds(pid) - before);
}

// Arg 0: OrvelinDriver with the KA2 panel shown; 1: QjackCtl; 2: an empty window of the same Qt
// (the memory floor). Registered in turns.
void idleCpuShown(benchmark::State &state)
{
    if (!onDisplay()) {
        state.SkipWithError("needs a display (run under Xvfb)");
        return;
    }
    const auto subject = state.range(0);
    for (auto _ : state) {
        E2eSession session;
        prepare(session, false);
        QProcess *program = nullptr;
        if (subject != 0) {
            // Its own settings folder, so a user's configuration cannot start a JACK server.
            session.environment().insert(QStringLiteral("HOME"), session.rootPath());
            session.environment().insert(QStringLiteral("XDG_CONFIG_HOME"), session.rootPath());
            program = session.startHelper(
                subject == 1 ? QStringLiteral("qjackctl") : QStringLiteral(ORVELIN_EMPTY_WINDOW_EXE), {});
            if (program->state() != QProcess::Running) {
                state.SkipWithError("the reference did not start (qjackctl: apt-get install qjackctl)");
                return;
            }
        } else if (!(program = startWithKa2(session, state))) {
            return;
        }
        const double used = cpuSecondsOver60s(session, program, 6);
        state.SetIterationTime(60);
        state.counters["cpu_percent_of_one_core"] = used / 60 * 100;
        state.counters["cpu_ms_in_60s"] = used * 1000;
        state.counters["resident_MB"] = residentMegabytes(program->processId());
        if (subject == 0)
            session.terminate(program);
    }
}

void idleCpu(benchmark::State &state)
{
    for (auto _ : state) {
        E2eSession session;
        prepare(session);
        QProcess *program = startWithKa2(session, state);
        if (!program)
            return;
        const double used = cpuSecondsOver60s(session, program, 5);
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
// Program and reference alternate: each pair of runs sees the same machine load.
BENCHMARK(idleCpuShown)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
