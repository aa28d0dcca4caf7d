#include "app/ConsoleOwnership.h"
#include "app/LogFile.h"
#include "app/MainWindow.h"
#include "app/RemoteSetup.h"
#include "app/SingleInstanceGuard.h"
#include "app/TerminationWatcher.h"
#include "app/Translation.h"
#include "app/TrayIcon.h"
#include "control/ControlRegistry.h"
#include "control/ControlServer.h"
#include "control/OscEndpoint.h"
#include "controls/KnobAccessible.h"
#include "device/PlatformLogBridge.h"
#include "settings/Settings.h"

#include <QAccessible>
#include <QApplication>
#include <QDebug>
#include <QIcon>
#include <QLocale>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QTranslator>

#include <chrono>
#include <memory>
#include <optional>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    // Destroyed last, so the teardown's lines reach the file too. Opened only once this copy is
    // the one that runs: a refused second copy must not rotate the running copy's file.
    std::optional<LogFile> logFile;
    device::installPlatformLogBridge();

    // Declared in this order so they are destroyed as translator, instance marker, lock.
    SingleInstanceGuard guard;
    QTranslator translator;
    QTranslator qtTranslator;
    const SingleInstanceGuard::Outcome outcome = guard.acquire();
    if (outcome != SingleInstanceGuard::Outcome::Running)
        return SingleInstanceGuard::exitCode(outcome);
    logFile.emplace();
    TerminationWatcher termination;

    app::installTranslation(application, translator, QCoreApplication::applicationDirPath(), QLocale::system().name());
    app::installQtTranslation(
        application, qtTranslator, QCoreApplication::applicationDirPath(), QLocale::system().name());
    // Before any widget, so screen readers meet the knobs and switches through their own interfaces.
    QAccessible::installFactory(&KnobAccessible::factory);

    const QPixmap icon(QStringLiteral(":/icon/icon.ico"));
    if (!icon.isNull())
        QGuiApplication::setWindowIcon(QIcon(icon));

    auto settings = std::make_unique<Settings>();
    auto mainWindow = std::make_unique<MainWindow>();
    mainWindow->setSettings(settings.get());
    auto trayIcon = std::make_unique<TrayIcon>();
    trayIcon->setMainWindow(mainWindow.get());
    trayIcon->setSettings(settings.get());
    // The tooltip names the device whose panel is shown: the title is set before the panel is
    // announced.
    QObject::connect(mainWindow.get(), &MainWindow::panelBuilt, trayIcon.get(),
        [window = mainWindow.get(), tray = trayIcon.get()] { tray->showDevice(window->windowTitle()); });
    QObject::connect(mainWindow.get(), &MainWindow::panelCleared, trayIcon.get(), &TrayIcon::showNoDevice);
    // Only the panel of the console's session drives the device; the others stand by.
    auto ownership = std::make_unique<ConsoleOwnership>(static_cast<std::uintptr_t>(mainWindow->winId()));
    QObject::connect(ownership.get(), &ConsoleOwnership::drivesDeviceChanged, mainWindow.get(),
        [window = mainWindow.get(), tray = trayIcon.get()](bool drives) {
            window->setDrivesDevice(drives);
            tray->setDrivesDevice(drives);
        });
    ownership->refresh();
    trayIcon->setVisible(true);
    // Without a tray nothing could ever show the window, so it is shown at once.
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        mainWindow->show();
    auto control = std::make_unique<ControlServer>();
    ControlRegistry *registry = &control->registry();
    QObject::connect(mainWindow.get(), &MainWindow::panelBuilt, registry, &ControlRegistry::follow);
    QObject::connect(mainWindow.get(), &MainWindow::panelCleared, registry, &ControlRegistry::forget);
    control->start();
    // Control surfaces, when remote.ini turns them on.
    auto osc = std::make_unique<OscEndpoint>(*registry);
    osc->start();
    // The web remote, on the same controls; off until the user turns it on.
    std::unique_ptr<QObject> remote = app::setUpRemote(*control, *trayIcon);

    // Start-up measurement: the steady clock once the event loop runs, for the benchmark to compare
    // with the moment it started the process.
    if (qEnvironmentVariableIsSet("ORVELIN_STARTUP_PROBE"))
        QTimer::singleShot(0, [] {
            qDebug() << "Event loop running at steady clock ms:"
                     << std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
        });

    const int exitCode = application.exec();

    remote.reset();
    osc.reset();
    control.reset();
    ownership.reset();
    trayIcon.reset();
    mainWindow.reset();
    settings.reset();
    return exitCode;
}
