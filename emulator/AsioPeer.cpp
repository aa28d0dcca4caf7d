#include "emulator/AsioPeer.h"

#include "emulator/Inbox.h"
#include "emulator/PipePeerServer.h"
#include "platform/PipePort.h"

#include <atomic>
#include <mutex>

namespace emu {

namespace {
constexpr int kBusyWaitMs = 2000;
constexpr int kMaxOpens = 3;
} // namespace

std::vector<std::uint8_t> asioStatusBytes(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(20);
    for (std::uint32_t field : { a, bufferSize, c, d, openWindow })
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(field >> shift));
    return bytes;
}

struct AsioPeer::Impl
{
    Impl()
        : server(
            platform::kPanelToAsioPipe, [this](bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message) {
                received(ok, error, message);
            })
    { }

    void received(bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message)
    {
        if (ok)
            resets.push(message);
        emit(ok ? "{\"peer\":\"asio\",\"reset\":\"" + hexBytes(message) + "\"}"
                : "{\"peer\":\"asio\",\"error\":" + std::to_string(error) + "}");
    }

    void emit(const std::string &line)
    {
        std::function<void(const std::string &)> current;
        {
            std::lock_guard<std::mutex> lock(mutex);
            current = sink;
        }
        if (current)
            current(line);
    }

    Inbox<std::vector<std::uint8_t>> resets;
    std::mutex mutex; // of the sink
    std::function<void(const std::string &)> sink;
    std::atomic<std::uint32_t> sendError { 0 };
    PipePeerServer server; // last: its thread must stop before the rest goes
};

AsioPeer::AsioPeer()
    : d(new Impl)
{ }

AsioPeer::~AsioPeer()
{
    stop();
}

bool AsioPeer::start()
{
    return d->server.start();
}

void AsioPeer::stop()
{
    d->server.stop();
}

void AsioPeer::setLogSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->sink = std::move(sink);
}

std::vector<std::vector<std::uint8_t>> AsioPeer::resets() const
{
    return d->resets.all();
}

bool AsioPeer::waitForResets(std::size_t count, int timeoutMs) const
{
    return d->resets.waitFor(count, timeoutMs);
}

void AsioPeer::clear()
{
    d->resets.clear();
}

bool AsioPeer::sendStatus(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t dd, std::uint32_t openWindow)
{
    return sendRaw(asioStatusBytes(a, bufferSize, c, dd, openWindow));
}

bool AsioPeer::sendRaw(const std::vector<std::uint8_t> &bytes)
{
    platform::PortHandle handle = platform::pipeOpen(platform::kAsioToPanelPipe);
    // The panel serves one client at a time and pauses between messages.
    for (int opens = 1; handle == platform::kInvalidHandle && opens < kMaxOpens; ++opens) {
        if (platform::pipeLastError() != platform::PipeError::PipeBusy
            || !platform::pipeWait(platform::kAsioToPanelPipe, kBusyWaitMs))
            break;
        handle = platform::pipeOpen(platform::kAsioToPanelPipe);
    }
    bool ok = false;
    if (handle != platform::kInvalidHandle) {
        ok = platform::pipeSetMessageMode(handle) && platform::pipeWrite(handle, bytes.data(), bytes.size());
        if (!ok)
            d->sendError = platform::pipeLastError();
        platform::pipeClose(handle);
    } else {
        d->sendError = platform::pipeLastError();
    }
    d->emit(ok ? "{\"peer\":\"asio\",\"sent\":\"" + hexBytes(bytes) + "\"}"
               : "{\"peer\":\"asio\",\"sendError\":" + std::to_string(d->sendError.load()) + "}");
    return ok;
}

std::uint32_t AsioPeer::lastSendError() const
{
    return d->sendError.load();
}

} // namespace emu
