#include "platform/SystemShell.h"

namespace platform {

std::string shellRestartCommandLine(
    const std::string &taskkill, const std::string &explorer, unsigned long shellProcess)
{
    // "start" takes a first quoted argument as the window title; the path is not quoted.
    const std::string start = "start " + explorer;
    if (shellProcess == 0)
        return start;
    // The shell is started whether the kill worked or not; a failed kill still ends with status 1.
    // (if errorlevel rather than && and ||, which Wine's cmd.exe does not chain as Windows does.)
    return taskkill + " /f /pid " + std::to_string(shellProcess) + " & if errorlevel 1 (" + start + " & exit 1) else ("
        + start + ")";
}

} // namespace platform
