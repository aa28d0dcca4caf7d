#include "emulator/CommandLoop.h"

#include <sstream>

namespace emu {

CommandLoop::CommandLoop(std::function<void(const std::string &)> answer)
    : say(std::move(answer))
{ }

void CommandLoop::add(const std::string &name, Command command)
{
    commands[name] = std::move(command);
}

void CommandLoop::quit()
{
    quitting = true;
}

void CommandLoop::feed(const char *data, std::size_t length)
{
    pending.append(data, length);
    // A command line longer than this is nonsense; drop it rather than grow without end.
    if (pending.size() > 65536 && pending.find('\n') == std::string::npos) {
        pending.clear();
        say("error: line too long");
    }
    std::size_t end;
    while (!quitting && (end = pending.find('\n')) != std::string::npos) {
        std::istringstream words(pending.substr(0, end));
        pending.erase(0, end + 1);
        Arguments arguments;
        for (std::string word; words >> word;)
            arguments.push_back(word);
        if (arguments.empty())
            continue;
        const auto found = commands.find(arguments[0]);
        say(found == commands.end() ? "error: unknown command: " + arguments[0] : found->second(arguments));
    }
}

} // namespace emu
