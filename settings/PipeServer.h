#pragma once

#include "platform/PipePort.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The server end of the ASIO driver's pipe: one instance for the whole run, one
// connect-read-disconnect cycle per message.
class PipeServer
{
public:
    static constexpr std::size_t kBufferSize = 1024;

    explicit PipeServer(std::string name);
    ~PipeServer(); // close()
    PipeServer(const PipeServer &) = delete;
    PipeServer &operator=(const PipeServer &) = delete;

    // Logs a failure only when its error differs from the last failed create's.
    bool create();
    bool isOpen() const;
    // Waits for a client, reads one message of at most kBufferSize bytes into buffer (which must
    // hold kBufferSize bytes), disconnects the client.
    bool readMessage(std::uint8_t *buffer, std::size_t *received = nullptr);
    // From any thread: wakes a blocked readMessage; it and every later one fail.
    void stop();
    bool stopped() const;
    // Only once no thread is in readMessage.
    void close();

private:
    platform::PipeServerPort port;
    std::uint32_t lastCreateError = 0;
};
