#pragma once

#include <QDialog>

#include <functional>
#include <memory>

class QComboBox;
class QLabel;
class QSettings;
class QTimer;
class QVBoxLayout;
class OrvelinIoControl;
class ThreadSettingsPip;
struct UsbStatus;

// The audio settings dialog: buffer size, USB latency and safe mode, each applied with
// stop audio / set / start audio and stored in "setting.ini". It also owns the dialog's own driver
// channel, the 1000 ms USB status poll and the listener thread of the ASIO driver's pipe.
// One instance lives for the whole run; it is created before the main window, without parent.
class Settings : public QDialog
{
    Q_OBJECT

public:
    explicit Settings(QWidget *parent = nullptr);
    ~Settings() override;

    // Opens a fresh driver channel (releasing the one of an earlier call); true when it opened.
    bool connectDevice();
    // Closes the driver channel when the device has gone, so no handle to a removed device stays
    // open; requests fail as they did on the dead handle until the next connectDevice.
    void releaseDevice();
    bool holdsDevice() const;
    // After a successful connectDevice: "STOP_MONITOR", re-apply the stored values, start audio,
    // and 20 s later start audio again and send "START_MONITOR".
    void applyStartupSettings();
    // The panel of a session that does not own the console: closes the driver channel, drops a
    // pending start-up restart and stops serving the ASIO driver's pipe, so the console session's
    // panel can serve it. resume() serves it again; the next connectDevice brings the device back.
    void standBy();
    void resume();
    // Tells the audio service "STOP_MONITOR"; true when it was delivered.
    bool stopMonitor();
    // Sets the three boxes from "setting.ini"; every change runs that box's handler.
    void loadSettings();
    // A buffer size reported by the ASIO driver. Runs on the GUI thread (the listener queues it).
    bool applyAsioBufferSize(int size);
    // The ASIO driver asked for this window.
    void showFromPipe();

    // The delay of the single-shot after applyStartupSettings, 20000 ms. Tests shorten it so they
    // need not wait 20 s; the program never changes it.
    void setStartupDelay(int milliseconds) { startupDelay = milliseconds; }

private:
    void onBufferSizeChanged();
    void onLatencyChanged();
    void onSafeModeChanged();
    void onOkClicked();
    void pollStatus();
    void onStartupTimer(QTimer *timer);
    void startListener();
    // Starts audio after a refused set, so a refused value never leaves the interface silent.
    void restartAfterFailure();
    // The driver takes a buffer size, latency or slow mode only while audio is stopped: stops audio,
    // runs change, starts audio again and stores text under key; started runs between the start
    // and the store. A refused change logs failureLine (unless null: change logged it) and still
    // starts audio.
    void applyWithAudioStopped(const std::function<bool()> &change, const char *failureLine, const char *key,
        const QString &text, const char *savedLine, const std::function<void()> &started = {});

    // Every driver operation goes through here: without a device object it simply fails.
    template <typename Operation> bool withDevice(Operation operation);

    QVBoxLayout *layout = nullptr;
    QComboBox *latencyBox = nullptr;
    QComboBox *bufferBox = nullptr;
    QComboBox *safeModeBox = nullptr;
    QSettings *store = nullptr;
    std::unique_ptr<OrvelinIoControl> device;
    std::unique_ptr<UsbStatus> status;
    QLabel *errorLabel = nullptr;
    QTimer *statusTimer = nullptr;
    bool online = false;
    // The buffer box's text has reached the driver: its last handler run set it or found it set.
    bool bufferApplied = false;
    ThreadSettingsPip *listener = nullptr;
    int startupDelay = 20000;
};
