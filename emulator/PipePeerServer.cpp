#include "emulator/PipePeerServer.h"

#include "platform/PipePort.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <thread>
#include <utility>

namespace emu {

struct PipePeerServer::Impl
{
    Impl(std::string name, Handler callback)
        : port(std::move(name))
        , handler(std::move(callback))
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
            if (handler)
                handler(ok, error, std::vector<std::uint8_t>(buffer.begin(), buffer.begin() + length));
        }
    }

    platform::PipeServerPort port;
    Handler handler;
    std::thread thread;
    std::atomic<bool> running { false };
};

PipePeerServer::PipePeerServer(std::string pipeName, Handler handler)
    : d(new Impl(std::move(pipeName), std::move(handler)))
{ }

PipePeerServer::~PipePeerServer()
{
    stop();
}

bool PipePeerServer::start()
{
    if (d->running.load())
        return true;
    if (d->port.stopped() || !d->port.create())
        return false;
    d->running = true;
    d->thread = std::thread([this] { d->serve(); });
    return true;
}

void PipePeerServer::stop()
{
    d->port.stop();
    if (d->thread.joinable())
        d->thread.join();
    d->port.close();
    d->running = false;
}

bool PipePeerServer::running() const
{
    return d->running.load();
}

std::string hexBytes(const std::vector<std::uint8_t> &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0x0F];
    }
    return text;
}

bool parseHexBytes(const std::string &text, std::vector<std::uint8_t> &bytes)
{
    bytes.clear();
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (high >= 0)
                return false;
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        const int value = std::isdigit(static_cast<unsigned char>(c))
            ? c - '0'
            : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<std::uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    return high < 0;
}

} // namespace emu
