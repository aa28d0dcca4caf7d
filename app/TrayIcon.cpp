#include "app/TrayIcon.h"

#include "device/OrvelinIoControl.h"
#include "platform/SoundPanel.h"
#include "platform/SystemShell.h"
#include "settings/Settings.h"

#include <QAction>
#include <QDebug>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>

TrayIcon::TrayIcon(QObject *parent)
    : QSystemTrayIcon(parent)
    , menu(std::make_unique<QMenu>())
{
    // Frames drawn for the tray's own sizes; the large icon serves every other size.
    QIcon icon(QStringLiteral(":/icon/icon.png"));
    for (int size : { 16, 20, 24, 32, 40, 48 })
        icon.addFile(QStringLiteral(":/icon/tray-%1.png").arg(size), QSize(size, size));
    setIcon(icon);
    showNoDevice();

    QAction *quit = new QAction(tr("Quit"), this);
    // exit() rather than quit(): quit() first asks every window to close and gives up when one
    // refuses, and the main window refuses (it hides) while the tray is there.
    connect(quit, &QAction::triggered, this, [] { QCoreApplication::exit(0); });
    menu->addAction(quit);
    menu->addSeparator();

    QMenu *rates = menu->addMenu(tr("Set Samplerate"));
    for (std::uint32_t rate : { 44100u, 48000u, 88200u, 96000u, 176400u, 192000u }) {
        QAction *entry = new QAction(QString::number(rate), this);
        connect(entry, &QAction::triggered, this, [this, rate] { selectSampleRate(rate); });
        rates->addAction(entry);
    }
    menu->addSeparator();

    QAction *setup = new QAction(tr("Setup"), this);
    connect(setup, &QAction::triggered, this, &TrayIcon::showSettings);
    menu->addAction(setup);
    QAction *main = new QAction(tr("Main Window"), this);
    connect(main, &QAction::triggered, this, &TrayIcon::showMainWindow);
    menu->addAction(main);
    QAction *upgrade = new QAction(tr("Upgrade Firmware"), this);
    connect(upgrade, &QAction::triggered, this, &TrayIcon::requestFirmwareUpgrade);
    menu->addAction(upgrade);
    QAction *refresh = new QAction(tr("Refresh Audio Device"), this);
    connect(refresh, &QAction::triggered, this, &TrayIcon::refreshDeviceList);
    menu->addAction(refresh);
    QAction *sound = new QAction(tr("Win Sound Pannel"), this);
    connect(sound, &QAction::triggered, this, &TrayIcon::openSoundPannel);
    menu->addAction(sound);
    versionSeparator = menu->addSeparator();

    QAction *version = new QAction(QStringLiteral("V4.06_260105"), this);
    version->setEnabled(false);
    menu->addAction(version);

    setContextMenu(menu.get());
    QGuiApplication::setQuitOnLastWindowClosed(false);
    connect(this, &QSystemTrayIcon::activated, this, &TrayIcon::clickCallback);
}

TrayIcon::~TrayIcon() = default;

void TrayIcon::setMainWindow(QWidget *window)
{
    if (window)
        mainWindow = window;
}

void TrayIcon::setRemoteWindow(QWidget *window)
{
    if (!window || remoteEntry)
        return;
    remoteEntry = new QAction(tr("Remote Control..."), this);
    connect(remoteEntry, &QAction::triggered, window, [window] {
        window->show();
        window->raise();
        window->activateWindow();
    });
    menu->insertAction(versionSeparator, remoteEntry);
}

void TrayIcon::showDevice(const QString &title)
{
    setToolTip(QStringLiteral("Orvelin Driver\n") + title);
}

void TrayIcon::showNoDevice()
{
    setToolTip(QStringLiteral("Orvelin Driver\n") + QCoreApplication::translate("MainWindow", "No Device Connect!"));
}

void TrayIcon::showMainWindow()
{
    if (!mainWindow) {
        QMessageBox::warning(
            nullptr, QString::fromUtf8("警告"), QString::fromUtf8("主窗口未设置，请先设置主窗口。"), QMessageBox::Ok);
        return;
    }
    mainWindow->show();
    mainWindow->raise();
    mainWindow->activateWindow();
}

void TrayIcon::clickCallback(QSystemTrayIcon::ActivationReason reason)
{
    if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
        showMainWindow();
}

void TrayIcon::showSettings()
{
    if (!settingsDialog) {
        QMessageBox::warning(nullptr, QString::fromUtf8("警告"),
            QString::fromUtf8("设置窗口未设置，请先设置设置窗口。"), QMessageBox::Ok);
        return;
    }
    settingsDialog->show();
    settingsDialog->raise();
    settingsDialog->activateWindow();
}

void TrayIcon::selectSampleRate(std::uint32_t rate)
{
    qDebug() << "你选中了采样频率：" << rate << " Hz";
    if (!drivesDevice) {
        qDebug() << "Sample rate left alone: the console session's panel drives the device.";
        return;
    }
    OrvelinIoControl device;
    if (!device.openDevice()) {
        qDebug() << "Failed to create device in Device.";
        return;
    }
    qDebug() << "selectedRate is:" << rate;
    std::uint32_t current = 0;
    if (!device.getSampleRate(current))
        current = 0;
    if (current == rate) {
        qDebug() << "selectedRate is same";
    } else {
        device.stopAudio();
        if (device.setSampleRate(rate)) {
            qDebug() << "Sampleate is changed:" << rate;
        } else {
            // Audio was stopped for the change: bring it back at the old rate rather than leave it silent.
            qWarning() << "Failed to set sample rate:" << rate;
            device.startAudio();
        }
    }
    device.closeDevice();
}

void TrayIcon::requestFirmwareUpgrade()
{
    if (!drivesDevice) {
        qDebug() << "Firmware upgrade not sent: the console session's panel drives the device.";
        return;
    }
    OrvelinIoControl device;
    if (device.openDevice())
        device.upgradeFirmware();
    device.closeDevice();
}

void TrayIcon::openSoundPannel()
{
    if (platform::openSoundPanel()) {
        qDebug() << "声音设置面板已打开。";
        return;
    }
    QMessageBox::warning(nullptr, QString::fromUtf8("错误"),
        QString::fromUtf8("无法打开声音设置面板，请检查系统设置。"), QMessageBox::Ok);
}

namespace {

QString consoleText(const QByteArray &bytes)
{
    return QString::fromStdString(platform::consoleOutputToUtf8(bytes.toStdString()));
}

// The lines for a shell restart whose command has ended (or never started).
void reportShellRestart(QProcess &process, bool finished)
{
    if (process.exitCode() != 0) {
        qWarning() << "命令执行失败，退出代码:" << process.exitCode();
        qWarning().noquote() << "输出:" << consoleText(process.readAllStandardOutput());
        qWarning().noquote() << "错误输出:" << consoleText(process.readAllStandardError());
    } else if (finished) {
        qDebug() << "资源管理器已成功重启";
    }
}

} // namespace

void TrayIcon::refreshDeviceList()
{
    // The command is never killed: killed between taskkill and start, it would leave the user
    // without a shell. So the process has no parent that could delete (and kill) it; one that
    // outlasts the wait reports and frees itself when it ends.
    auto *process = new QProcess;
    // Run from the system folder, never from wherever the program was started.
    const QString folder = QString::fromStdString(platform::shellWorkingFolder());
    if (!folder.isEmpty())
        process->setWorkingDirectory(folder);
    // Without the full paths nothing is run: the start fails and is reported like any other.
    const QString command = QString::fromStdString(platform::shellRestartCommand());
    process->start(command.isEmpty() ? QString() : QString::fromStdString(platform::commandProcessor()),
        { QStringLiteral("/c"), command }, QIODevice::ReadWrite);
    const bool finished = process->waitForFinished(shellRestartWaitMs);
    if (!finished) {
        qWarning() << "重启资源管理器超时";
        qWarning().noquote() << "错误信息:" << process->errorString();
        if (process->state() != QProcess::NotRunning) {
            QObject::connect(process, &QProcess::finished, process, [process] {
                reportShellRestart(*process, true);
                process->deleteLater();
            });
            return;
        }
    }
    reportShellRestart(*process, finished);
    delete process;
}
