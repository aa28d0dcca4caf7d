// Linux stand-in for the driver's device interface: one SOCK_SEQPACKET socket per present device
// in R/devices/{GUID}/, one packet per request and one per reply.
#include "platform/DriverPort.h"

#include "platform/LittleEndian.h"
#include "platform/PlatformLog.h"
#include "platform/RuntimeDir.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr std::uint32_t kMaxInput = 66304;
constexpr int kReplyTimeoutMs = 2000;
constexpr std::size_t kReplyHeader = 8;
// Far larger than any valid reply (8 + 768), as every receiver of the protocol reads; MSG_TRUNC
// still tells us when a packet did not fit.
constexpr std::size_t kReplyBuffer = 128 * 1024;
// No driver reply carries more than the meter block.
constexpr std::size_t kMaxReply = kReplyHeader + 768;

std::string interfaceFolder()
{
    return std::string("devices/") + kDriverInterfaceGuid;
}

enum class Connect { Ok, Stale, Failed };

Connect connectTo(const std::string &path, int &fdOut)
{
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.data(), path.size());
    int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return Connect::Failed;
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof(address)) != 0) {
        const int error = errno;
        ::close(fd);
        // A refused connect is the left-over socket of a removed device; Windows would not list it.
        return (error == ECONNREFUSED || error == ENOENT) ? Connect::Stale : Connect::Failed;
    }
    // Requests are synchronous: the send blocks, the reply wait is bounded by poll.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        return Connect::Failed;
    }
    timeval sendLimit { kReplyTimeoutMs / 1000, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendLimit, sizeof(sendLimit));
    fdOut = fd;
    return Connect::Ok;
}

// After a time-out or a malformed reply nothing more may be read from this connection: a late
// reply must never be taken for the next request's. The descriptor stays ours until closed.
bool abandon(int fd)
{
    ::shutdown(fd, SHUT_RDWR);
    return false;
}

// Waits for the reply packet, at most kReplyTimeoutMs in total.
bool waitReadable(int fd)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p { fd, POLLIN, 0 };
        const int n = ::poll(&p, 1, static_cast<int>(left));
        if (n > 0)
            return true;
        if (n < 0 && errno != EINTR)
            return false;
    }
}

} // namespace

PortHandle openDriverInterface()
{
    if (!checkRuntimeDirectory(interfaceFolder()))
        return kInvalidHandle;
    const std::string folder = runtimePath(interfaceFolder());
    DIR *dir = ::opendir(folder.c_str());
    if (!dir)
        return kInvalidHandle;
    std::vector<std::string> names;
    while (dirent *entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());

    for (const std::string &name : names) {
        const std::string path = folder + "/" + name;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode))
            continue;
        if (!socketPathFits(path))
            continue;
        int fd = -1;
        switch (connectTo(path, fd)) {
        case Connect::Ok:
            return static_cast<PortHandle>(fd);
        case Connect::Stale:
            continue;
        case Connect::Failed:
            return kInvalidHandle;
        }
    }
    return kInvalidHandle;
}

bool driverRequest(PortHandle handle, std::uint32_t code, const void *in, std::uint32_t inLength, void *out,
    std::uint32_t outLength, std::uint32_t *bytesReturned)
{
    if (handle == kInvalidHandle || handle < 0)
        return false;
    if (inLength > kMaxInput || (inLength > 0 && !in) || (outLength > 0 && !out))
        return false;
    const int fd = static_cast<int>(handle);

    // The largest request is the mixer block; keep its buffer so a request allocates nothing.
    thread_local std::vector<std::uint8_t> request(kReplyHeader + kMaxInput);
    writeLe32(request.data(), code);
    writeLe32(request.data() + 4, outLength);
    if (inLength > 0)
        std::memcpy(request.data() + kReplyHeader, in, inLength);
    const std::size_t size = kReplyHeader + inLength;
    const ssize_t sent = ::send(fd, request.data(), size, MSG_NOSIGNAL);
    if (sent != static_cast<ssize_t>(size))
        return abandon(fd);

    if (!waitReadable(fd))
        return abandon(fd);
    thread_local std::vector<std::uint8_t> replyBuffer(kReplyBuffer);
    std::uint8_t *reply = replyBuffer.data();
    iovec part { reply, kReplyBuffer };
    msghdr message {};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    ssize_t received;
    do
        received = ::recvmsg(fd, &message, MSG_TRUNC | MSG_DONTWAIT);
    while (received < 0 && errno == EINTR);
    // Nothing (closed), an error, a truncated packet or a header cut short: the device is gone
    // or lying, and the channel with it.
    if (received < static_cast<ssize_t>(kReplyHeader) || received > static_cast<ssize_t>(kMaxReply)
        || (message.msg_flags & MSG_TRUNC))
        return abandon(fd);
    const std::uint32_t ok = readLe32(reply);
    const std::uint32_t claimed = readLe32(reply + 4);
    if (ok > 1 || claimed > static_cast<std::uint32_t>(received) - kReplyHeader)
        return abandon(fd);
    // A refusal may still carry bytes, as a Windows driver failing with ERROR_MORE_DATA has filled
    // the caller's buffer: they are copied the same way, so callers see what Windows would give them.
    const std::uint32_t copied = std::min(claimed, outLength);
    if (copied > 0)
        std::memcpy(out, reply + kReplyHeader, copied);
    if (ok != 1)
        return false;
    if (bytesReturned)
        *bytesReturned = copied;
    return true;
}

void closeDriverHandle(PortHandle handle)
{
    if (handle != kInvalidHandle && handle >= 0)
        ::close(static_cast<int>(handle));
}

void setDriverNoticeWindow(std::intptr_t) { }

bool driverNoticeMessage(unsigned, std::uintptr_t, std::intptr_t)
{
    return false;
}

} // namespace platform
