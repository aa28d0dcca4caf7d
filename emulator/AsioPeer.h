#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// Plays the ASIO driver: the server of \\.\pipe\OrvelinPannelToASIO, where the panel sends its
// reset byte 0x31 (each message logged as {"peer":"asio","reset":"31"}), and a client of
// \\.\pipe\OrvelinASIOToPannel, on which it sends status records to the panel (logged as
// {"peer":"asio","sent":"<hex>"} or {"peer":"asio","sendError":N}). The pipes live in the pipe
// port's runtime directory.
class AsioPeer
{
public:
    AsioPeer();
    ~AsioPeer();
    AsioPeer(const AsioPeer &) = delete;
    AsioPeer &operator=(const AsioPeer &) = delete;

    bool start();
    void stop();
    void setLogSink(std::function<void(const std::string &)> sink);

    // Every message received on the reset pipe, in order.
    std::vector<std::vector<std::uint8_t>> resets() const;
    bool waitForResets(std::size_t count, int timeoutMs) const;
    void clear();

    // A 20-byte record of five little-endian fields: A, buffer size, C, D, open-window request.
    bool sendStatus(
        std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow);
    // Any bytes, of any length, as one message. Waits for a busy pipe like a real client.
    bool sendRaw(const std::vector<std::uint8_t> &bytes);
    // The Windows error number of the last failed send.
    std::uint32_t lastSendError() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The 20 bytes of a status record.
std::vector<std::uint8_t> asioStatusBytes(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow);

} // namespace emu
