#include "emulator/PipePeer.h"

#include "emulator/Inbox.h"
#include "platform/PipePort.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

namespace emu {

struct PipePeer::Impl
{
    Impl(std::string pipeName, std::string peerName, Describe describeMessage)
        : port(std::move(pipeName))
        , prefix("{\"peer\":\"" + peerName + "\",")
        , describe(describeMessage)
    { }

    void serve()
    {
        std::vector<std::uint8_t> buffer(platform::kPipeMessageLimit);
        while (!port.stopped()) {
            if (!port.connect()) {
                // Stopped, or a client that vanished while connecting; never spin on a failure.
                if (!port.stopped())
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                continue;
            }
            std::size_t length = 0;
            const bool ok = port.read(buffer.data(), buffer.size(), length);
            const std::uint32_t error = ok ? 0 : platform::pipeLastError();
            port.disconnect();
            if (port.stopped())
                break;
            if (!ok) {
                log("\"error\":" + std::to_string(error));
                continue;
            }
            // The line first: whoever waits for the message finds its line already written.
            std::vector<std::uint8_t> message(buffer.begin(), buffer.begin() + length);
            log(describe(message));
            received.push(std::move(message));
        }
    }

    void log(const std::string &fields) const
    {
        std::function<void(const std::string &)> current;
        {
            std::lock_guard<std::mutex> lock(sinkMutex);
            current = sink;
        }
        if (current)
            current(prefix + fields + "}");
    }

    platform::PipeServerPort port;
    const std::string prefix;
    const Describe describe;
    Inbox<std::vector<std::uint8_t>> received;
    mutable std::mutex sinkMutex;
    std::function<void(const std::string &)> sink;
    std::thread thread;
    std::atomic<bool> running { false };
};

PipePeer::PipePeer(std::string pipeName, std::string peerName, Describe describe)
    : d(new Impl(std::move(pipeName), std::move(peerName), describe))
{ }

PipePeer::~PipePeer()
{
    stop();
}

bool PipePeer::start()
{
    if (d->running.load())
        return true;
    if (d->port.stopped() || !d->port.create())
        return false;
    d->running = true;
    d->thread = std::thread([this] { d->serve(); });
    return true;
}

void PipePeer::stop()
{
    d->port.stop();
    if (d->thread.joinable())
        d->thread.join();
    d->port.close();
    d->running = false;
}

void PipePeer::setLogSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard<std::mutex> lock(d->sinkMutex);
    d->sink = std::move(sink);
}

std::vector<std::vector<std::uint8_t>> PipePeer::messages() const
{
    return d->received.all();
}

bool PipePeer::waitForMessages(std::size_t count, int timeoutMs) const
{
    return d->received.waitFor(count, timeoutMs);
}

void PipePeer::clear()
{
    d->received.clear();
}

void PipePeer::logFields(const std::string &fields) const
{
    d->log(fields);
}

} // namespace emu
