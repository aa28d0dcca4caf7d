#include "platform/SystemShell.h"

namespace platform {

std::string commandProcessor()
{
    // There is no system folder to take it from; a stand-in on the search path plays it.
    return "cmd.exe";
}

std::string shellRestartCommand()
{
    // No shell window to take the process from: as on Windows when no shell runs, only the start.
    return shellRestartCommandLine("taskkill", "explorer.exe", 0);
}

std::string shellWorkingFolder()
{
    return {};
}

std::string consoleOutputToUtf8(const std::string &bytes)
{
    return bytes;
}

} // namespace platform
