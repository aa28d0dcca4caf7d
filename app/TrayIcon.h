#pragma once

#include <QSystemTrayIcon>

#include <cstdint>
#include <memory>

class QAction;
class QMenu;
class QWidget;
class Settings;

// The program's place in the notification area; keeps the program alive while its windows are
// closed. Its menu opens the windows, sets the sample rate, sends the firmware-upgrade command,
// opens the system's sound settings, restarts the Windows shell, shows the version and quits.
class TrayIcon : public QSystemTrayIcon
{
    Q_OBJECT

public:
    explicit TrayIcon(QObject *parent = nullptr);
    ~TrayIcon() override;

    // An empty pointer leaves the stored window unchanged.
    void setMainWindow(QWidget *window);
    void setSettings(Settings *dialog) { settingsDialog = dialog; }
    // Adds "Remote Control...", which shows this window, after "Win Sound Pannel".
    void setRemoteWindow(QWidget *window);

    // Off while another session's panel drives the device: the sample-rate entries and "Upgrade
    // Firmware" then leave it alone.
    void setDrivesDevice(bool drives) { drivesDevice = drives; }

    // The handlers of the sample-rate entries and of "Upgrade Firmware".
    void selectSampleRate(std::uint32_t rate);
    void requestFirmwareUpgrade();

    // How long the shell restart waits for its command, 5000 ms. Tests shorten it so they need not
    // wait 5 s; the program never changes it.
    void setShellRestartWait(int milliseconds) { shellRestartWaitMs = milliseconds; }

    // The tooltip: "Orvelin Driver" and the window title of the connected device ("Orvelin KA2 -
    // FW: V4.0.6.123"), or the no-device text. The start-up code calls them as panels come and go.
    void showDevice(const QString &title);
    void showNoDevice();

private slots:
    void showSettings();
    void clickCallback(QSystemTrayIcon::ActivationReason reason);
    void openSoundPannel();
    void refreshDeviceList();

private:
    void showMainWindow();

    QWidget *mainWindow = nullptr;
    Settings *settingsDialog = nullptr;
    std::unique_ptr<QMenu> menu;
    QAction *versionSeparator = nullptr;
    QAction *remoteEntry = nullptr;
    int shellRestartWaitMs = 5000;
    bool drivesDevice = true;
};
