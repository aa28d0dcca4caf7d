#include "emulator/AudioServicePeer.h"

#include "emulator/HexBytes.h"
#include "platform/PipePort.h"

namespace emu {

namespace {
std::string describeCommand(const std::vector<std::uint8_t> &message)
{
    std::string command;
    if (!decodeAudioServiceCommand(message, command))
        return "\"malformed\":\"" + hexBytes(message) + "\"";
    return "\"command\":\"" + command + "\",\"bytes\":" + std::to_string(message.size());
}
} // namespace

bool decodeAudioServiceCommand(const std::vector<std::uint8_t> &message, std::string &command)
{
    command.clear();
    if (message.size() < 2 || message.size() % 2 != 0)
        return false;
    const std::size_t units = message.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
        const unsigned unit = message[2 * i] | (message[2 * i + 1] << 8);
        const bool last = i + 1 == units;
        if (last)
            return unit == 0;
        if (unit < 0x20 || unit > 0x7E)
            return false;
        command += static_cast<char>(unit);
    }
    return false;
}

AudioServicePeer::AudioServicePeer()
    : PipePeer(platform::kAudioControlPipe, "audio-service", describeCommand)
{ }

std::vector<std::string> AudioServicePeer::commands() const
{
    std::vector<std::string> commands;
    for (const std::vector<std::uint8_t> &message : messages()) {
        std::string command;
        commands.push_back(decodeAudioServiceCommand(message, command) ? command : "?");
    }
    return commands;
}

bool AudioServicePeer::waitForCommands(std::size_t count, int timeoutMs) const
{
    return waitForMessages(count, timeoutMs);
}

} // namespace emu
