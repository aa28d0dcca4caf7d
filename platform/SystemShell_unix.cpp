#include "platform/SystemShell.h"

namespace platform {

std::string commandProcessor()
{
    // There is no system folder to take it from; a stand-in on the search path plays it.
    return "cmd.exe";
}

std::string shellRestartCommand()
{
    return "taskkill /f /im explorer.exe && start explorer.exe";
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
