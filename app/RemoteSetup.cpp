#include "app/RemoteSetup.h"

#include "app/RemoteWindow.h"
#include "app/TrayIcon.h"
#include "control/ControlServer.h"
#include "control/OscEndpoint.h"
#include "control/WebRemote.h"

namespace app {

std::unique_ptr<QObject> setUpRemote(ControlServer &control, TrayIcon &tray)
{
    auto remote = std::make_unique<WebRemote>(control.registry());
    remote->start(OscEndpoint::settingsPath());
    // The window belongs to the remote's lifetime but is a top-level window of its own.
    auto *window = new RemoteWindow(*remote);
    QObject::connect(remote.get(), &QObject::destroyed, window, [window] { delete window; });
    tray.setRemoteWindow(window);
    control.setRemote([r = remote.get()](const QStringList &words) { return r->command(words); });
    QObject::connect(remote.get(), &QObject::destroyed, &control, [&control] { control.setRemote({}); });
    return remote;
}

} // namespace app
