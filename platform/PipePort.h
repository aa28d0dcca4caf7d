#pragma once

#include "platform/PortHandle.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// Named pipes of the driver package, one connection per message. Windows uses real named pipes;
// Linux uses SOCK_SEQPACKET sockets R/pipe/NAME. Errors are Windows error numbers on both systems,
// so every log line reads the same everywhere.
namespace platform {

constexpr const char *kAudioControlPipe = "\\\\.\\pipe\\OrvelinAudioControlPipe";
constexpr const char *kPanelToAsioPipe = "\\\\.\\pipe\\OrvelinPannelToASIO";
constexpr const char *kAsioToPanelPipe = "\\\\.\\pipe\\OrvelinASIOToPannel";

namespace PipeError {
constexpr std::uint32_t FileNotFound = 2;
constexpr std::uint32_t AccessDenied = 5;
constexpr std::uint32_t InvalidHandle = 6;
constexpr std::uint32_t BrokenPipe = 109;
constexpr std::uint32_t Timeout = 121; // ERROR_SEM_TIMEOUT
constexpr std::uint32_t PipeBusy = 231;
constexpr std::uint32_t MoreData = 234;
constexpr std::uint32_t PipeConnected = 535;
constexpr std::uint32_t Aborted = 995; // ERROR_OPERATION_ABORTED
} // namespace PipeError

// The largest message a server reads; a longer one is dropped with MoreData.
constexpr std::size_t kPipeMessageLimit = 1024;
// A connected client that sends nothing for this long is dropped with Timeout.
constexpr int kPipeReadTimeoutMs = 2000;

// The error of the calling thread's last failed pipe operation (GetLastError on Windows).
std::uint32_t pipeLastError();
// For the ports themselves: makes error the calling thread's pipeLastError() and returns false.
bool pipeFail(std::uint32_t error);

// Client side. Opens for reading and writing, no sharing, identification-only impersonation.
// Fails with PipeBusy while the server cannot take another client.
PortHandle pipeOpen(const std::string &name);
// Waits up to timeoutMs for the pipe to take a client (WaitNamedPipeW).
bool pipeWait(const std::string &name, int timeoutMs);
bool pipeSetMessageMode(PortHandle handle);
// Writes one message, synchronously; true when all of it was written.
bool pipeWrite(PortHandle handle, const void *data, std::size_t length);
void pipeClose(PortHandle handle);

// Server side of one pipe: one instance, reused for every client. connect, read and disconnect
// run on one thread; stop() may be called from any other and wakes a blocked connect or read,
// which then fail with Aborted (as does every later one). close() only after that thread is done.
class PipeServerPort
{
public:
    explicit PipeServerPort(std::string name);
    ~PipeServerPort(); // close()
    PipeServerPort(const PipeServerPort &) = delete;
    PipeServerPort &operator=(const PipeServerPort &) = delete;

    bool create();
    bool isOpen() const;
    // Waits for the next client.
    bool connect();
    // Reads one message of at most capacity bytes into buffer (capacity <= kPipeMessageLimit).
    bool read(void *buffer, std::size_t capacity, std::size_t &received);
    void disconnect();
    void stop();
    // True once stop() was called.
    bool stopped() const;
    void close();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace platform
