#include "app/RemoteSetup.h"

namespace app {

// Built without Qt's HTTP server and WebSockets: no remote, no tray entry; orvelinctl remote
// hears that from the control channel.
std::unique_ptr<QObject> setUpRemote(ControlServer &, TrayIcon &)
{
    return nullptr;
}

} // namespace app
