#include "platform/PipePort.h"

#include "platform/PlatformLog.h"
#include "platform/RuntimeDir.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

// A named pipe \\.\pipe\NAME is the SOCK_SEQPACKET socket R/pipe/NAME: one packet is one message,
// one connection carries one message, as on Windows.
namespace platform {

namespace {

constexpr int kListenBacklog = 4;
constexpr int kBusyRetryMs = 20;
constexpr int kClientSendTimeoutMs = 2000;

// NAME of \\.\pipe\NAME; empty when the name is not a local pipe name or could leave R/pipe.
std::string pipeBaseName(const std::string &name)
{
    static const std::string prefix = "\\\\.\\pipe\\";
    if (name.compare(0, prefix.size(), prefix) != 0)
        return {};
    std::string base = name.substr(prefix.size());
    if (base.empty() || base == "." || base == ".." || base.find('/') != std::string::npos
        || base.find('\0') != std::string::npos)
        return {};
    return base;
}

// The socket path of a pipe; empty (and logged where useful) when it cannot be used.
std::string socketPath(const std::string &name)
{
    const std::string base = pipeBaseName(name);
    if (base.empty())
        return {};
    const std::string path = runtimePath("pipe") + "/" + base;
    if (!socketPathFits(path))
        return {};
    return path;
}

sockaddr_un socketAddress(const std::string &path)
{
    sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size());
    return address;
}

std::uint32_t connectError(int error)
{
    switch (error) {
    case EAGAIN:
        return PipeError::PipeBusy; // the listener's backlog is full
    case EACCES:
    case EPERM:
        return PipeError::AccessDenied;
    default:
        return PipeError::FileNotFound; // no socket, or a stale one nobody listens on
    }
}

// One non-blocking connect. Returns the connected socket, or -1 with pipeLastError() set.
int tryConnect(const std::string &name)
{
    const std::string path = socketPath(name);
    if (path.empty() || !checkRuntimeDirectory("pipe")) {
        pipeFail(PipeError::FileNotFound);
        return -1;
    }
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        pipeFail(PipeError::FileNotFound);
        return -1;
    }
    const sockaddr_un address = socketAddress(path);
    int result;
    do
        result = ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address);
    while (result != 0 && errno == EINTR);
    if (result != 0) {
        const int error = errno;
        ::close(fd);
        pipeFail(connectError(error));
        return -1;
    }
    // Writes are synchronous, as on Windows, but never hang on a server that stopped reading.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    timeval timeout { kClientSendTimeoutMs / 1000, (kClientSendTimeoutMs % 1000) * 1000 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    return fd;
}

// A connection obtained while waiting for a busy pipe is kept here for the next open of that pipe,
// so the wait really reserves the pipe as WaitNamedPipeW promises. Keyed by socket path, so a
// changed runtime directory never meets an old connection.
std::mutex keptMutex;
std::map<std::string, int> &keptConnections()
{
    static std::map<std::string, int> connections;
    return connections;
}

int takeKeptConnection(const std::string &path)
{
    std::lock_guard<std::mutex> lock(keptMutex);
    auto found = keptConnections().find(path);
    if (found == keptConnections().end())
        return -1;
    const int fd = found->second;
    keptConnections().erase(found);
    return fd;
}

bool hasKeptConnection(const std::string &path)
{
    std::lock_guard<std::mutex> lock(keptMutex);
    return keptConnections().count(path) != 0;
}

void keepConnection(const std::string &path, int fd)
{
    std::lock_guard<std::mutex> lock(keptMutex);
    auto inserted = keptConnections().emplace(path, fd);
    if (!inserted.second)
        ::close(fd);
}

} // namespace

PortHandle pipeOpen(const std::string &name)
{
    const int kept = takeKeptConnection(socketPath(name));
    if (kept >= 0)
        return kept;
    const int fd = tryConnect(name);
    return fd >= 0 ? fd : kInvalidHandle;
}

bool pipeWait(const std::string &name, int timeoutMs)
{
    const std::string path = socketPath(name);
    if (hasKeptConnection(path))
        return true;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const int fd = tryConnect(name);
        if (fd >= 0) {
            keepConnection(path, fd);
            return true;
        }
        if (pipeLastError() != PipeError::PipeBusy)
            return false; // no such pipe: WaitNamedPipeW fails at once too
        if (std::chrono::steady_clock::now() >= deadline)
            return pipeFail(PipeError::Timeout);
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMs));
    }
}

bool pipeSetMessageMode(PortHandle handle)
{
    // Every packet is a message already.
    if (handle == kInvalidHandle)
        return pipeFail(PipeError::FileNotFound);
    return true;
}

bool pipeWrite(PortHandle handle, const void *data, std::size_t length)
{
    if (handle == kInvalidHandle)
        return pipeFail(PipeError::FileNotFound);
    ssize_t sent;
    do
        sent = ::send(static_cast<int>(handle), data, length, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return pipeFail(PipeError::Timeout);
        if (errno == EMSGSIZE)
            return pipeFail(PipeError::MoreData);
        return pipeFail(PipeError::BrokenPipe);
    }
    return static_cast<std::size_t>(sent) == length || pipeFail(PipeError::BrokenPipe);
}

void pipeClose(PortHandle handle)
{
    if (handle != kInvalidHandle)
        ::close(static_cast<int>(handle));
}

struct PipeServerPort::Impl
{
    std::string name;
    std::string path;
    int listenFd = -1;
    int connectionFd = -1;
    int wakeRead = -1;
    int wakeWrite = -1;
    dev_t boundDevice = 0;
    ino_t boundInode = 0;
    std::atomic<bool> stopped { false };

    // Waits until fd is readable. Returns the poll events, 0 on time-out, -1 when stopped.
    int waitReadable(int fd, int timeoutMs)
    {
        pollfd fds[2] = { { wakeRead, POLLIN, 0 }, { fd, POLLIN, 0 } };
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int wait = -1;
            if (timeoutMs >= 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
            }
            const int ready = ::poll(fds, 2, wait);
            if (ready < 0 && errno == EINTR)
                continue;
            if (stopped.load() || (ready > 0 && fds[0].revents != 0))
                return -1;
            if (ready <= 0)
                return 0;
            return fds[1].revents;
        }
    }

    // Another server may live at our path: connect to find out. Refused means it is stale.
    bool claimPath()
    {
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0)
            return true;
        if (!S_ISSOCK(info.st_mode)) {
            log("Pipe path is not a socket: " + path);
            return pipeFail(PipeError::AccessDenied);
        }
        const int probe = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (probe < 0)
            return pipeFail(PipeError::AccessDenied);
        const sockaddr_un address = socketAddress(path);
        const int result = ::connect(probe, reinterpret_cast<const sockaddr *>(&address), sizeof address);
        const int error = errno;
        ::close(probe);
        if (result == 0 || error == EAGAIN)
            return pipeFail(PipeError::AccessDenied); // a live server owns the name
        ::unlink(path.c_str());
        return true;
    }
};

PipeServerPort::PipeServerPort(std::string name)
    : d(new Impl)
{
    d->name = std::move(name);
    int fds[2];
    if (::pipe(fds) == 0) {
        d->wakeRead = fds[0];
        d->wakeWrite = fds[1];
        for (int fd : fds) {
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        }
    }
}

PipeServerPort::~PipeServerPort()
{
    close();
    if (d->wakeRead >= 0)
        ::close(d->wakeRead);
    if (d->wakeWrite >= 0)
        ::close(d->wakeWrite);
}

bool PipeServerPort::create()
{
    if (d->listenFd >= 0)
        return true;
    if (d->wakeRead < 0)
        return pipeFail(PipeError::AccessDenied);
    if (pipeBaseName(d->name).empty())
        return pipeFail(PipeError::FileNotFound);
    if (!ensurePrivateDirectory("pipe"))
        return pipeFail(PipeError::AccessDenied);
    d->path = socketPath(d->name);
    if (d->path.empty())
        return pipeFail(PipeError::FileNotFound);
    if (!d->claimPath())
        return false;

    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return pipeFail(PipeError::AccessDenied);
    const sockaddr_un address = socketAddress(d->path);
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return pipeFail(PipeError::AccessDenied);
    }
    // Only the user may connect; the folder is 0700 as well.
    struct stat info;
    if (::chmod(d->path.c_str(), 0600) != 0 || ::lstat(d->path.c_str(), &info) != 0
        || ::listen(fd, kListenBacklog) != 0) {
        ::close(fd);
        ::unlink(d->path.c_str());
        return pipeFail(PipeError::AccessDenied);
    }
    d->boundDevice = info.st_dev;
    d->boundInode = info.st_ino;
    d->listenFd = fd;
    return true;
}

bool PipeServerPort::isOpen() const
{
    return d->listenFd >= 0;
}

bool PipeServerPort::connect()
{
    if (d->stopped.load())
        return pipeFail(PipeError::Aborted);
    // A server that was never created has no handle to connect on.
    if (d->listenFd < 0)
        return pipeFail(PipeError::InvalidHandle);
    if (d->connectionFd >= 0)
        return pipeFail(PipeError::PipeConnected);
    for (;;) {
        const int events = d->waitReadable(d->listenFd, -1);
        if (events < 0)
            return pipeFail(PipeError::Aborted);
        if (events == 0)
            continue;
        const int fd = ::accept4(d->listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd >= 0) {
            d->connectionFd = fd;
            return true;
        }
        if (errno != EAGAIN && errno != EINTR && errno != ECONNABORTED)
            return pipeFail(PipeError::BrokenPipe);
    }
}

bool PipeServerPort::read(void *buffer, std::size_t capacity, std::size_t &received)
{
    received = 0;
    if (d->connectionFd < 0)
        return pipeFail(PipeError::BrokenPipe);
    const int events = d->waitReadable(d->connectionFd, kPipeReadTimeoutMs);
    if (events < 0)
        return pipeFail(PipeError::Aborted);
    if (events == 0)
        return pipeFail(PipeError::Timeout);
    // MSG_TRUNC gives the packet's real length, so a longer message is noticed and dropped.
    ssize_t length;
    do
        length = ::recv(d->connectionFd, buffer, capacity, MSG_TRUNC | MSG_DONTWAIT);
    while (length < 0 && errno == EINTR);
    if (length < 0)
        return pipeFail(errno == EAGAIN ? PipeError::Timeout : PipeError::BrokenPipe);
    if (length == 0 && (events & (POLLHUP | POLLERR)))
        return pipeFail(PipeError::BrokenPipe); // closed without a message
    if (static_cast<std::size_t>(length) > capacity)
        return pipeFail(PipeError::MoreData);
    received = static_cast<std::size_t>(length);
    return true;
}

void PipeServerPort::disconnect()
{
    if (d->connectionFd >= 0) {
        ::close(d->connectionFd);
        d->connectionFd = -1;
    }
}

void PipeServerPort::stop()
{
    d->stopped.store(true);
    if (d->wakeWrite >= 0) {
        const char byte = 1;
        // The byte is never drained, so every later wait wakes at once too.
        [[maybe_unused]] const ssize_t written = ::write(d->wakeWrite, &byte, 1);
    }
}

bool PipeServerPort::stopped() const
{
    return d->stopped.load();
}

void PipeServerPort::close()
{
    disconnect();
    if (d->listenFd < 0)
        return;
    ::close(d->listenFd);
    d->listenFd = -1;
    // Remove our socket only; another server may have taken the name since.
    struct stat info;
    if (::lstat(d->path.c_str(), &info) == 0 && info.st_dev == d->boundDevice && info.st_ino == d->boundInode)
        ::unlink(d->path.c_str());
}

} // namespace platform
