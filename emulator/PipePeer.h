#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// What the emulator's stand-ins for the driver package's programs share: the server of one named
// pipe in the pipe port's runtime directory, served on its own thread as those programs do (each
// client connects, writes one message and goes), every message received so far, and the JSON
// log lines {"peer":"NAME",...}: a failed read as {"peer":"NAME","error":N}.
class PipePeer
{
public:
    PipePeer(const PipePeer &) = delete;
    PipePeer &operator=(const PipePeer &) = delete;

    bool start(); // false (with pipeLastError) when the pipe cannot be created
    void stop(); // wakes the serving thread, joins it, removes the pipe
    void setLogSink(std::function<void(const std::string &)> sink);

    // The bytes of every message received so far, in order.
    std::vector<std::vector<std::uint8_t>> messages() const;
    // Waits until at least count messages arrived, each with its log line written; false on
    // time-out.
    bool waitForMessages(std::size_t count, int timeoutMs) const;
    void clear();

protected:
    // The fields logged after "peer" for one message received, for example "\"reset\":\"31\"".
    // A plain function: the serving thread calls it, so it may not reach into a derived peer.
    using Describe = std::string (*)(const std::vector<std::uint8_t> &message);

    PipePeer(std::string pipeName, std::string peerName, Describe describe);
    ~PipePeer(); // stop(); only a peer derived from it is ever destroyed

    // Logs {"peer":"NAME",FIELDS}.
    void logFields(const std::string &fields) const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace emu
