#pragma once

#include "emulator/PipePeer.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace emu {

// Plays the ASIO driver: the server of \\.\pipe\OrvelinPannelToASIO, where the panel sends its
// reset byte 0x31 (each message logged as {"peer":"asio","reset":"31"}), and a client of
// \\.\pipe\OrvelinASIOToPannel, on which it sends status records to the panel (logged as
// {"peer":"asio","sent":"<hex>"} or {"peer":"asio","sendError":N}).
class AsioPeer : public PipePeer
{
public:
    AsioPeer();

    // Every message received on the reset pipe, in order.
    std::vector<std::vector<std::uint8_t>> resets() const;
    bool waitForResets(std::size_t count, int timeoutMs) const;

    // A 20-byte record of five little-endian fields: A, buffer size, C, D, open-window request.
    bool sendStatus(
        std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow);
    // Any bytes, of any length, as one message. Waits for a busy pipe like a real client.
    bool sendRaw(const std::vector<std::uint8_t> &bytes);
    // The Windows error number of the last failed send.
    std::uint32_t lastSendError() const;

private:
    std::atomic<std::uint32_t> sendError { 0 };
};

// The 20 bytes of a status record.
std::vector<std::uint8_t> asioStatusBytes(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow);

} // namespace emu
