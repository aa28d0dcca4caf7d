#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// Serves one named pipe on its own thread, as the driver package's programs do: each client
// connects, writes one message and goes. Every message (or failed read) reaches the handler.
class PipePeerServer
{
public:
    // ok false: the read failed with the Windows error number in error (message empty).
    using Handler = std::function<void(bool ok, std::uint32_t error, const std::vector<std::uint8_t> &message)>;

    PipePeerServer(std::string pipeName, Handler handler);
    ~PipePeerServer(); // stop()
    PipePeerServer(const PipePeerServer &) = delete;
    PipePeerServer &operator=(const PipePeerServer &) = delete;

    bool start(); // false (with pipeLastError) when the pipe cannot be created
    void stop(); // wakes the serving thread, joins it, removes the pipe
    bool running() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Lower-case hex of the bytes, two digits each, no separators.
std::string hexBytes(const std::vector<std::uint8_t> &bytes);
// Parses hex digits (pairs, optional whitespace between pairs); false on anything else.
bool parseHexBytes(const std::string &text, std::vector<std::uint8_t> &bytes);

} // namespace emu
