// Costs inside the program, against the in-process emulated device on the Linux driver port:
// one knob event against its floor (the raw mixer-block request and reply plus one INI sync,
// measured in turns with it), one meter tick of a KA2, one knob paint at 120 x 120, one panel
// construction with restore, one stop of the ASIO status listener while it waits for a client.
//
//     bench_panel [benchmark options; by default 5 interleaved repetitions, their mean and spread]
// The settings files live in the temporary folder (TMPDIR), so the INI sync costs what that
// folder's disk costs.
#include "controls/Knob.h"
#include "emulator/Emulator.h"
#include "panels/PanelKit.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "platform/DriverPort.h"
#include "platform/LittleEndian.h"
#include "settings/ThreadSettingsPip.h"
#include "tests/support/TestSupport.h"

#include "bench/MeanReporter.h"

#include <QApplication>
#include <QImage>
#include <QMetaObject>
#include <QSettings>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <sys/socket.h>
#include <vector>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

// The emulated KA2 and the private folders every benchmark shares.
struct Rig
{
    testsupport::IsolatedEnvironment environment;
    emu::Emulator device { environment.runtimeDir().toStdString(), 2 };

    Rig()
    {
        device.setRecording(false);
        device.start();
    }
};

Rig &rig()
{
    static Rig instance;
    return instance;
}

// The floor of a knob event: the 66312-byte request packet and its reply on a connection to the
// same device, and one sync of a settings file of the same keys.
class Floor
{
public:
    Floor()
        : handle(platform::openDriverInterface())
        , request(8 + 66304, 0)
        , settings(
              QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/floor.ini", QSettings::IniFormat)
    {
        platform::writeLe32(request.data(), 0xFFDC2040);
        for (const char *key : { "Button/MicInstrIsChecked", "Button/Mic20dBIsChecked", "Button/Mic48VIsChecked",
                 "Button/MonitorMicIsChecked", "Button/HeadphoneMuteIsChecked", "Button/HeadphoneDimIsChecked" })
            settings.setValue(QString::fromLatin1(key), false);
        settings.setValue("Dial/MicValue", 0);
        settings.setValue("Dial/OtgToHpValue", 0);
        settings.sync();
    }
    ~Floor() { platform::closeDriverHandle(handle); }

    bool round(int value)
    {
        const int fd = static_cast<int>(handle);
        std::uint8_t reply[64];
        if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())
            || ::recv(fd, reply, sizeof reply, 0) < 8)
            return false;
        settings.setValue("Dial/HeadphoneValue", value);
        settings.sync();
        return true;
    }

private:
    platform::PortHandle handle;
    std::vector<std::uint8_t> request;
    QSettings settings;
};

// A knob event of the KA1's headphone knob (handler, mixer block through the driver port, INI
// write with sync) and its floor, in turns, so both meet the same disk and machine moments.
// The reported time is the knob event's; the counters give the floor and the ratio.
void knobEvent(benchmark::State &state)
{
    rig();
    ka1 panel;
    auto *knob = panel.findChild<Knob *>(QStringLiteral("headphoneKnob"));
    Floor floor;
    using Clock = std::chrono::steady_clock;
    Clock::duration knobTotal {};
    Clock::duration floorTotal {};
    int value = -10;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        knob->setValue(value);
        const Clock::time_point between = Clock::now();
        if (!floor.round(value)) {
            state.SkipWithError("the raw request failed");
            return;
        }
        const Clock::time_point end = Clock::now();
        knobTotal += between - start;
        floorTotal += end - between;
        state.SetIterationTime(std::chrono::duration<double>(between - start).count());
        value = value == -10 ? -11 : -10;
    }
    const double knobMicros = std::chrono::duration<double, std::micro>(knobTotal).count();
    const double floorMicros = std::chrono::duration<double, std::micro>(floorTotal).count();
    state.counters["floor_us"] = benchmark::Counter(floorMicros, benchmark::Counter::kAvgIterations);
    state.counters["ratio_to_floor"] = floorMicros > 0 ? knobMicros / floorMicros : 0;
}

void meterTick(benchmark::State &state)
{
    rig();
    ka2 panel;
    QTimer *meterTimer = nullptr;
    for (QTimer *timer : panel.findChildren<QTimer *>())
        if (timer->interval() == 500)
            meterTimer = timer;
    if (!meterTimer) {
        state.SkipWithError("no meter timer");
        return;
    }
    for (auto _ : state)
        QMetaObject::invokeMethod(meterTimer, "timeout", Qt::DirectConnection);
}

void knobPaint(benchmark::State &state)
{
    QWidget parent;
    Knob *knob = panelkit::makeVolumeKnob(&parent);
    knob->value = -23;
    QImage image(120, 120, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        image.fill(Qt::transparent);
        knob->render(&image);
    }
}

void panelConstruction(benchmark::State &state)
{
    rig();
    delete new ka2; // writes the INI file, so every round below restores from a full one
    for (auto _ : state)
        delete new ka2;
}

// What closing the settings dialog waits for: its listener, woken from its wait for a client.
void listenerStop(benchmark::State &state)
{
    rig();
    for (auto _ : state) {
        auto *listener = new ThreadSettingsPip;
        listener->start();
        QThread::msleep(5); // into its wait for a client
        const auto start = std::chrono::steady_clock::now();
        delete listener;
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
}

} // namespace

BENCHMARK(knobEvent)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(meterTick)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(knobPaint)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(panelConstruction)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(listenerStop)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(100);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qInstallMessageHandler(discard);
    initializeInterleaved(argc, argv);
    MeanReporter reporter("knobEvent", "floor_us", "ratio_to_floor");
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.ratio > 0)
        std::printf("\nknob event %.1f us, floor %.1f us: %.2f x the floor (%+.0f %%)\n", reporter.micros,
            reporter.baseMicros, reporter.ratio, (reporter.ratio - 1) * 100);
    benchmark::Shutdown();
    return 0;
}
