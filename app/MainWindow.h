#pragma once

#include "panels/ControlTable.h"

#include <QMainWindow>

#include <cstdint>

class OrvelinIoControl;
class QLabel;
class QTimer;
class QVBoxLayout;
class Settings;

// The program's main window and the owner of device detection: it polls the driver once a second
// until a known model answers, builds that model's panel inside itself, and then checks every
// 400 ms that the device is still there.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    // The settings dialog the window asks to connect, apply its settings and stop monitoring.
    void setSettings(Settings *dialog) { settings = dialog; }

    // One detection tick and one presence tick; the timers call them.
    void detectDevice();
    void checkPresence();

    // Whether this panel's session owns the device. Without it the window lets go of every driver
    // handle and the ASIO driver's pipe, stops detecting and shows the no-device state; given it
    // back, detection finds the device as at a replug, restoring and resending every control.
    void setDrivesDevice(bool drives);
    bool drivesDevice() const { return !away; }

signals:
    // The panel of a device that answered is built and shown: its controls, the model ("KA2 SE")
    // and the firmware as the title shows it.
    void panelBuilt(ControlTable *controls, const QString &model, const QString &firmware);
    // The panel is gone from the window (the device left or detection starts over).
    void panelCleared();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void clearLayout();
    void showStatus(const QString &text);
    // The window takes the size its current content asks for, smaller as well as larger.
    void fitToContent(QWidget *added);
    void renewPresenceChannel();

    std::int32_t devicePid = 0;
    QVBoxLayout *baseLayout = nullptr;
    QTimer *detectionTimer = nullptr;
    QTimer *presenceTimer = nullptr;
    OrvelinIoControl *presenceChannel = nullptr;
    Settings *settings = nullptr;
    QLabel *statusLabel = nullptr;
    std::int32_t pidErrorCount = 0;
    bool away = false;
};
