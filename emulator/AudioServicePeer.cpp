#include "emulator/AudioServicePeer.h"

#include "emulator/Inbox.h"
#include "emulator/PipePeerServer.h"
#include "platform/PipePort.h"

#include <mutex>

namespace emu {

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

struct AudioServicePeer::Impl
{
    // One message as received and the command it holds ("?" when it holds none).
    struct Received
    {
        std::vector<std::uint8_t> bytes;
        std::string command;
    };

    Impl()
        : server(platform::kAudioControlPipe,
            [this](bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message) {
                received(ok, error, message);
            })
    { }

    void received(bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message)
    {
        std::string line;
        if (!ok) {
            line = "{\"peer\":\"audio-service\",\"error\":" + std::to_string(error) + "}";
        } else {
            std::string command;
            const bool valid = decodeAudioServiceCommand(message, command);
            inbox.push({ message, valid ? command : "?" });
            line = valid ? "{\"peer\":\"audio-service\",\"command\":\"" + command
                    + "\",\"bytes\":" + std::to_string(message.size()) + "}"
                         : "{\"peer\":\"audio-service\",\"malformed\":\"" + hexBytes(message) + "\"}";
        }
        std::function<void(const std::string &)> current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = sink;
        }
        if (current)
            current(line);
    }

    Inbox<Received> inbox;
    std::mutex mutex; // of the sink
    std::function<void(const std::string &)> sink;
    PipePeerServer server; // last: its thread must stop before the rest goes
};

AudioServicePeer::AudioServicePeer()
    : d(new Impl)
{ }

AudioServicePeer::~AudioServicePeer()
{
    stop();
}

bool AudioServicePeer::start()
{
    return d->server.start();
}

void AudioServicePeer::stop()
{
    d->server.stop();
}

void AudioServicePeer::setLogSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->sink = std::move(sink);
}

std::vector<std::string> AudioServicePeer::commands() const
{
    std::vector<std::string> commands;
    for (const Impl::Received &each : d->inbox.all())
        commands.push_back(each.command);
    return commands;
}

std::vector<std::vector<std::uint8_t>> AudioServicePeer::messages() const
{
    std::vector<std::vector<std::uint8_t>> messages;
    for (const Impl::Received &each : d->inbox.all())
        messages.push_back(each.bytes);
    return messages;
}

bool AudioServicePeer::waitForCommands(std::size_t count, int timeoutMs) const
{
    return d->inbox.waitFor(count, timeoutMs);
}

void AudioServicePeer::clear()
{
    d->inbox.clear();
}

} // namespace emu
