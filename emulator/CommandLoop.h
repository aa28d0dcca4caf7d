#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace emu {

// The emulator program's commands, one per line on standard input, each answered with one line.
// run() reads until a command asks to quit or the process is asked to end (SIGINT or SIGTERM on
// Linux; Ctrl-C, Ctrl-Break or a closing console on Windows). The end of input does not end it:
// started in the background, the emulator keeps serving.
class CommandLoop
{
public:
    using Arguments = std::vector<std::string>;
    using Command = std::function<std::string(const Arguments &)>;

    explicit CommandLoop(std::function<void(const std::string &)> answer);

    void add(const std::string &name, Command command);
    void quit(); // from a command: no further line is read
    // Turns the termination requests into an end of run(); false when they cannot be watched.
    bool watchTermination();
    void run();

    // The folder where the pipe port puts its pipes, so the peers serve beside the device (Linux;
    // Windows pipes are the system's own).
    static void usePipeFolder(const std::string &folder);

private:
    // Splits what arrived into lines and runs each complete one.
    void feed(const char *data, std::size_t length);

    std::function<void(const std::string &)> say;
    std::map<std::string, Command> commands;
    std::string pending;
    bool quitting = false;
};

} // namespace emu
