#pragma once

#include <string>

// The command processor behind the tray's shell restart and the text its console programs write.
namespace platform {

// The command processor to start, in UTF-8. On Windows the full path of cmd.exe in the system
// folder, so that no cmd.exe on the search path or in the working folder is run; empty when the
// system folder cannot be read. The Linux stand-in names "cmd.exe", found on the search path.
std::string commandProcessor();

// The command line the command processor runs to restart the shell, in UTF-8. On Windows it ends
// only the shell of this session, the process of its shell window (never another user's, even
// from an elevated panel), and starts explorer.exe again even when that failed; taskkill.exe and
// explorer.exe are named by their full paths (taskkill.exe in the system folder, explorer.exe in
// the Windows folder, both without spaces), so that a copy of the program started from a folder
// holding a planted taskkill.exe never runs it; empty when the folders cannot be read. The Linux
// stand-in names explorer.exe bare and has no shell to end.
std::string shellRestartCommand();

// That command line for the given programs and the shell's process id: with no shell process
// (0: none is running) only the start. The command ends with status 1 when the kill failed, so the
// failure is reported although the shell is started again; else with the status of the start.
std::string shellRestartCommandLine(
    const std::string &taskkill, const std::string &explorer, unsigned long shellProcess);

// The working folder of that command: the system folder on Windows, empty (unchanged) on Linux.
std::string shellWorkingFolder();

// Console programs write in the OEM code page on Windows, not the ANSI one; this turns such
// output into UTF-8. Linux console output is UTF-8 already and passes unchanged.
std::string consoleOutputToUtf8(const std::string &bytes);

} // namespace platform
