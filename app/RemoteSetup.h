#pragma once

#include <QObject>

#include <memory>

class ControlServer;
class TrayIcon;

namespace app {

// The web remote and its window, when the program is built with them: served again when
// remote.ini says so, reachable from the tray and from orvelinctl remote. What it returns lives as
// long as the remote should.
std::unique_ptr<QObject> setUpRemote(ControlServer &control, TrayIcon &tray);

} // namespace app
