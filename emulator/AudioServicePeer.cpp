#include "emulator/AudioServicePeer.h"

#include "emulator/PipePeerServer.h"
#include "platform/PipePort.h"

#include <chrono>
#include <condition_variable>
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
    Impl()
        : server(platform::kAudioControlPipe,
            [this](bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message) {
                received(ok, error, message);
            })
    { }

    void received(bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message)
    {
        std::string line;
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (!ok) {
                line = "{\"peer\":\"audio-service\",\"error\":" + std::to_string(error) + "}";
            } else {
                std::string command;
                const bool valid = decodeAudioServiceCommand(message, command);
                messages.push_back(message);
                commands.push_back(valid ? command : "?");
                line = valid ? "{\"peer\":\"audio-service\",\"command\":\"" + command
                        + "\",\"bytes\":" + std::to_string(message.size()) + "}"
                             : "{\"peer\":\"audio-service\",\"malformed\":\"" + hexBytes(message) + "\"}";
            }
            arrived.notify_all();
        }
        std::function<void(const std::string &)> current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = sink;
        }
        if (current)
            current(line);
    }

    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<std::string> commands;
    std::vector<std::vector<std::uint8_t>> messages;
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
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->commands;
}

std::vector<std::vector<std::uint8_t>> AudioServicePeer::messages() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->messages;
}

bool AudioServicePeer::waitForCommands(std::size_t count, int timeoutMs) const
{
    std::unique_lock<std::mutex> lock(d->mutex);
    return d->arrived.wait_for(
        lock, std::chrono::milliseconds(timeoutMs), [this, count] { return d->commands.size() >= count; });
}

void AudioServicePeer::clear()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->commands.clear();
    d->messages.clear();
}

} // namespace emu
