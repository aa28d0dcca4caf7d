#pragma once

#include <QSystemTrayIcon>

#include <cstdint>
#include <memory>

class QEvent;
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

    // An empty pointer leaves the stored window unchanged. The tooltip follows the window: its
    // title once a panel is shown, the no-device text while a status text is.
    void setMainWindow(QWidget *window);
    void setSettings(Settings *dialog) { settingsDialog = dialog; }

    // The handlers of the sample-rate entries and of "Upgrade Firmware".
    void selectSampleRate(std::uint32_t rate);
    void requestFirmwareUpgrade();

    // How long the shell restart waits for its command, 5000 ms. Tests shorten it so they need not
    // wait 5 s; the program never changes it.
    void setShellRestartWait(int milliseconds) { shellRestartWaitMs = milliseconds; }

private slots:
    void showSettings();
    void clickCallback(QSystemTrayIcon::ActivationReason reason);
    void openSoundPannel();
    void refreshDeviceList();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showMainWindow();
    void showConnected(bool connected);

    QWidget *mainWindow = nullptr;
    QWidget *mainContent = nullptr; // the window's central widget, which holds a panel or a status
    bool connected = false;
    Settings *settingsDialog = nullptr;
    std::unique_ptr<QMenu> menu;
    int shellRestartWaitMs = 5000;
};
