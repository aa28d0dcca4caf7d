// The device interface as a SOCK_SEQPACKET socket in the stand-in protocol's runtime folder.
#include "emulator/DeviceTransport.h"

#include "emulator/EmulatorCore.h"
#include "platform/DriverPort.h"
#include "platform/LittleEndian.h"
#include "platform/PlatformLog.h"
#include "platform/RuntimeDir.h"

#include <cerrno>
#include <cstring>
#include <deque>
#include <functional>
#include <future>
#include <map>
#include <mutex>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace emu {

namespace {

// Requests carry at most the 66304-byte mixer block; anything that does not fit is malformed.
constexpr std::size_t kReceiveBuffer = 128 * 1024;

void closeQuietly(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

std::string defaultDeviceLocation()
{
    return platform::runtimeDirectory();
}

struct DeviceTransport::Impl
{
    Impl(std::string dir, EmulatorCore &device)
        : root(std::move(dir))
        , core(device)
    { }

    const std::string root;
    EmulatorCore &core;

    mutable std::mutex nameMutex;
    std::string interfaceName = "device0";

    // Owned by the serving thread while it runs (by the caller otherwise).
    int listenFd = -1;
    std::string socketPath;
    std::map<int, int> connections; // fd -> connection number
    std::vector<std::uint8_t> buffer = std::vector<std::uint8_t>(kReceiveBuffer);

    int wakeFd = -1;
    std::thread server;
    std::mutex taskMutex;
    std::deque<std::packaged_task<void()>> tasks;
    bool stopping = false;

    std::string folder() const { return root + "/devices/" + platform::kDriverInterfaceGuid; }

    // Socket work happens on the serving thread, so no descriptor is closed under its poll.
    void runOnServer(std::function<void()> work)
    {
        if (!server.joinable() || std::this_thread::get_id() == server.get_id()) {
            work();
            return;
        }
        std::packaged_task<void()> task(std::move(work));
        std::future<void> done = task.get_future();
        {
            std::lock_guard<std::mutex> lock(taskMutex);
            tasks.push_back(std::move(task));
        }
        const std::uint64_t one = 1;
        if (::write(wakeFd, &one, sizeof(one)) < 0)
            platform::log("Emulator cannot wake its server thread");
        done.wait();
    }

    bool bindSocket(const std::string &path)
    {
        struct stat info;
        if (::lstat(path.c_str(), &info) == 0) {
            if (!S_ISSOCK(info.st_mode)) {
                platform::log("Device interface path taken: " + path);
                return false;
            }
            // Left over from a killed emulator, or alive and someone else's.
            sockaddr_un probe {};
            probe.sun_family = AF_UNIX;
            std::memcpy(probe.sun_path, path.data(), path.size());
            int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            const bool alive = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&probe), sizeof(probe)) == 0;
            closeQuietly(fd);
            if (alive) {
                platform::log("Device interface path taken: " + path);
                return false;
            }
            ::unlink(path.c_str());
        }
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.data(), path.size());
        int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
            || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0) {
            platform::log("Emulator cannot serve " + path + ": " + std::strerror(errno));
            closeQuietly(fd);
            return false;
        }
        listenFd = fd;
        socketPath = path;
        return true;
    }

    void doUnplug()
    {
        if (listenFd >= 0) {
            closeQuietly(listenFd);
            ::unlink(socketPath.c_str());
        }
        for (auto &connection : connections) {
            int fd = connection.first;
            ::shutdown(fd, SHUT_RDWR);
            closeQuietly(fd);
        }
        connections.clear();
        core.unplugged();
    }

    void doPlug(std::uint32_t model)
    {
        doUnplug();
        std::string name;
        {
            std::lock_guard<std::mutex> lock(nameMutex);
            name = interfaceName;
        }
        const std::string path = folder() + "/" + name;
        if (!platform::ensurePrivatePath(root, std::string("devices/") + platform::kDriverInterfaceGuid)
            || !platform::socketPathFits(path) || !bindSocket(path))
            return;
        core.plugged(model);
    }

    void serve()
    {
        std::vector<pollfd> watched;
        for (;;) {
            watched.clear();
            watched.push_back({ wakeFd, POLLIN, 0 });
            if (listenFd >= 0)
                watched.push_back({ listenFd, POLLIN, 0 });
            for (const auto &connection : connections)
                watched.push_back({ connection.first, POLLIN, 0 });
            if (::poll(watched.data(), watched.size(), -1) < 0) {
                if (errno == EINTR)
                    continue;
                platform::log(std::string("Emulator poll failed: ") + std::strerror(errno));
                return;
            }
            if (watched[0].revents) {
                std::uint64_t count;
                if (::read(wakeFd, &count, sizeof(count)) < 0 && errno != EAGAIN)
                    platform::log("Emulator wake read failed");
                if (runTasks())
                    return;
                continue; // the sockets may have changed under the poll results
            }
            std::size_t next = 1;
            if (listenFd >= 0) {
                if (watched[next].revents)
                    acceptAll();
                ++next;
            }
            for (; next < watched.size(); ++next)
                if (watched[next].revents)
                    serveOne(watched[next].fd);
        }
    }

    // True when asked to stop.
    bool runTasks()
    {
        for (;;) {
            std::packaged_task<void()> task;
            {
                std::lock_guard<std::mutex> lock(taskMutex);
                if (tasks.empty())
                    return stopping;
                task = std::move(tasks.front());
                tasks.pop_front();
            }
            task();
        }
    }

    void acceptAll()
    {
        for (;;) {
            const int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
            if (fd < 0)
                return;
            connections[fd] = core.newConnection();
        }
    }

    void dropConnection(int fd)
    {
        connections.erase(fd);
        ::close(fd);
    }

    void serveOne(int fd)
    {
        const auto found = connections.find(fd);
        if (found == connections.end())
            return;
        iovec part { buffer.data(), buffer.size() };
        msghdr message {};
        message.msg_iov = &part;
        message.msg_iovlen = 1;
        const ssize_t received = ::recvmsg(fd, &message, MSG_TRUNC | MSG_DONTWAIT);
        if (received < 0 && (errno == EAGAIN || errno == EINTR))
            return;
        if (received <= 0) {
            dropConnection(fd);
            return;
        }

        RequestRecord record;
        record.connection = found->second;
        const bool whole = static_cast<std::size_t>(received) <= buffer.size() && !(message.msg_flags & MSG_TRUNC);
        const bool wellFormed = whole && received >= 8;
        if (received >= 8) {
            record.code = platform::readLe32(buffer.data());
            record.outputLength = platform::readLe32(buffer.data() + 4);
        }
        if (wellFormed)
            record.input.assign(buffer.begin() + 8, buffer.begin() + received);

        const Verdict verdict = core.answer(std::move(record), wellFormed);
        switch (verdict.mode) {
        case FaultMode::Off:
        case FaultMode::Refuse:
            sendReply(fd, verdict.reply, false);
            break;
        case FaultMode::Partial:
            sendReply(fd, verdict.reply, true);
            break;
        case FaultMode::Short: {
            const std::uint8_t stub[3] = { 1, 0, 0 };
            ::send(fd, stub, sizeof(stub), MSG_NOSIGNAL | MSG_DONTWAIT);
            break;
        }
        case FaultMode::Silent:
            break;
        case FaultMode::Close:
            ::shutdown(fd, SHUT_RDWR);
            dropConnection(fd);
            break;
        }
    }

    // refusedWithData: ok 0 and yet the device's bytes, as a driver failing with ERROR_MORE_DATA.
    void sendReply(int fd, const Reply &reply, bool refusedWithData)
    {
        const bool withData = reply.ok || refusedWithData;
        std::vector<std::uint8_t> packet(8 + (withData ? reply.data.size() : 0));
        platform::writeLe32(packet.data(), reply.ok && !refusedWithData ? 1 : 0);
        platform::writeLe32(packet.data() + 4, static_cast<std::uint32_t>(packet.size() - 8));
        if (withData && !reply.data.empty())
            std::memcpy(packet.data() + 8, reply.data.data(), reply.data.size());
        if (::send(fd, packet.data(), packet.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN)
            dropConnection(fd);
    }
};

DeviceTransport::DeviceTransport(std::string location, EmulatorCore &core)
    : d(std::make_unique<Impl>(std::move(location), core))
{ }

DeviceTransport::~DeviceTransport()
{
    stop();
}

bool DeviceTransport::start(std::uint32_t model)
{
    if (d->server.joinable())
        return d->core.state().plugged;
    if (!platform::ensurePrivatePath(d->root, std::string("devices/") + platform::kDriverInterfaceGuid))
        return false;
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wakeFd < 0)
        return false;
    d->stopping = false;
    d->doPlug(model);
    d->server = std::thread([this] { d->serve(); });
    return d->core.state().plugged;
}

void DeviceTransport::stop()
{
    if (!d->server.joinable()) {
        d->doUnplug();
        closeQuietly(d->wakeFd);
        return;
    }
    d->runOnServer([this] {
        d->doUnplug();
        std::lock_guard<std::mutex> lock(d->taskMutex);
        d->stopping = true;
    });
    d->server.join();
    closeQuietly(d->wakeFd);
}

void DeviceTransport::plug(std::uint32_t model)
{
    d->runOnServer([this, model] { d->doPlug(model); });
}

void DeviceTransport::unplug()
{
    d->runOnServer([this] { d->doUnplug(); });
}

const std::string &DeviceTransport::location() const
{
    return d->root;
}

void DeviceTransport::setInterfaceName(const std::string &name)
{
    std::lock_guard<std::mutex> lock(d->nameMutex);
    d->interfaceName = name;
}

std::string DeviceTransport::interfacePath() const
{
    std::lock_guard<std::mutex> lock(d->nameMutex);
    return d->folder() + "/" + d->interfaceName;
}

} // namespace emu
