#include "emulator/Emulator.h"

#include "emulator/VirtualDevice.h"
#include "platform/DriverPort.h"
#include "platform/LittleEndian.h"
#include "platform/PlatformLog.h"
#include "platform/RuntimeDir.h"

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <poll.h>
#include <sstream>
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

std::string hex(const std::vector<std::uint8_t> &bytes)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (std::uint8_t b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

std::string codeText(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", code);
    return text;
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

void closeQuietly(int &fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

bool parseFaultMode(const std::string &word, FaultMode &mode)
{
    static const std::map<std::string, FaultMode> words
        = { { "off", FaultMode::Off }, { "refuse", FaultMode::Refuse }, { "silent", FaultMode::Silent },
              { "short", FaultMode::Short }, { "close", FaultMode::Close }, { "partial", FaultMode::Partial } };
    const auto found = words.find(word);
    if (found == words.end())
        return false;
    mode = found->second;
    return true;
}

std::string toJson(const RequestRecord &record)
{
    std::ostringstream line;
    line << "{\"connection\":" << record.connection << ",\"code\":\"" << codeText(record.code) << "\",\"input\":\""
         << hex(record.input) << "\",\"output\":" << record.outputLength << ",\"result\":\"" << record.result << "\"}";
    return line.str();
}

std::string toJson(const DeviceState &state)
{
    std::ostringstream out;
    out.precision(17);
    out << "{\"plugged\":" << (state.plugged ? "true" : "false") << ",\"model\":" << state.model
        << ",\"firmware\":" << jsonString(state.firmware) << ",\"sampleRate\":" << state.sampleRate
        << ",\"bufferSize\":" << state.bufferSize << ",\"usbLatency\":" << state.usbLatency
        << ",\"slowMode\":" << (state.slowMode ? "true" : "false")
        << ",\"audioRunning\":" << (state.audioRunning ? "true" : "false")
        << ",\"usbErrorCount\":" << state.usbErrorCount << ",\"firmwareUpgrades\":" << state.firmwareUpgrades;
    auto list = [&](const char *name, auto &values, std::size_t n) {
        out << ",\"" << name << "\":[";
        for (std::size_t i = 0; i < n; ++i)
            out << (i ? "," : "") << values[i];
        out << "]";
    };
    int micGain[2] = { state.micGain[0], state.micGain[1] };
    int pad[2] = { state.pad[0], state.pad[1] };
    int phantom[2] = { state.phantom[0], state.phantom[1] };
    int instrument[2] = { state.instrument[0], state.instrument[1] };
    list("micGain", micGain, 2);
    list("pad", pad, 2);
    list("phantom", phantom, 2);
    list("instrument", instrument, 2);
    list("outVolume", state.outVolume, 8);
    list("levels", state.levels, 4);
    // The block's non-zero cells by byte offset: readable, and enough to check any panel.
    out << ",\"mixerBytes\":" << state.mixerBlock.size() << ",\"mixerCells\":{";
    bool first = true;
    for (std::size_t at = 0; at + 8 <= state.mixerBlock.size(); at += 8) {
        const double value = platform::readLeDouble(state.mixerBlock.data() + at);
        if (value == 0.0)
            continue;
        out << (first ? "" : ",") << "\"" << at << "\":" << value;
        first = false;
    }
    out << "}}";
    return out.str();
}

struct Emulator::Impl
{
    explicit Impl(std::string dir, std::uint32_t model)
        : root(std::move(dir))
        , initialModel(model)
        , device(model)
    { }

    struct Fault
    {
        FaultMode mode = FaultMode::Off;
        int remaining = -1;
    };

    const std::string root;
    const std::uint32_t initialModel;

    // Guards everything below that the serving thread and the callers share.
    mutable std::mutex mutex;
    VirtualDevice device;
    std::vector<RequestRecord> records;
    bool recording = true;
    std::map<std::uint32_t, Fault> faults;
    std::function<void(const std::string &)> sink;
    std::string interfaceName = "device0";

    // Owned by the serving thread while it runs (by the caller otherwise).
    int listenFd = -1;
    std::string socketPath;
    std::map<int, int> connections; // fd -> connection number
    int nextConnection = 0;
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
        std::lock_guard<std::mutex> lock(mutex);
        device.state().plugged = false;
    }

    void doPlug(std::uint32_t model)
    {
        doUnplug();
        std::string name;
        {
            std::lock_guard<std::mutex> lock(mutex);
            name = interfaceName;
        }
        const std::string path = folder() + "/" + name;
        if (!platform::ensurePrivatePath(root, std::string("devices/") + platform::kDriverInterfaceGuid)
            || !platform::socketPathFits(path) || !bindSocket(path))
            return;
        std::lock_guard<std::mutex> lock(mutex);
        device.replug(model);
        device.state().plugged = true;
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
            connections[fd] = ++nextConnection;
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

        FaultMode mode = FaultMode::Off;
        Reply reply;
        std::function<void(const std::string &)> logTo;
        std::string line;
        {
            std::lock_guard<std::mutex> lock(mutex);
            auto fault = faults.find(record.code);
            if (fault != faults.end()) {
                mode = fault->second.mode;
                if (fault->second.remaining > 0 && --fault->second.remaining == 0)
                    faults.erase(fault);
            }
            // A request the driver cannot even parse is refused like any other bad request.
            if ((mode == FaultMode::Off || mode == FaultMode::Partial) && wellFormed)
                reply = device.handle(record.code, record.input.data(), record.input.size(), record.outputLength);
            record.ok = mode == FaultMode::Off && reply.ok;
            switch (mode) {
            case FaultMode::Off:
                record.result = reply.ok ? "ok" : "refused";
                break;
            case FaultMode::Refuse:
                record.result = "refused";
                break;
            case FaultMode::Silent:
                record.result = "silent";
                break;
            case FaultMode::Short:
                record.result = "short";
                break;
            case FaultMode::Close:
                record.result = "closed";
                break;
            case FaultMode::Partial:
                record.result = "partial";
                break;
            }
            logTo = sink;
            if (logTo)
                line = toJson(record);
            if (recording)
                records.push_back(std::move(record));
        }

        // Logged before the answer, so whoever got the answer finds the line already written.
        if (logTo)
            logTo(line);
        switch (mode) {
        case FaultMode::Off:
        case FaultMode::Refuse:
            sendReply(fd, reply);
            break;
        case FaultMode::Partial:
            sendReply(fd, reply, true);
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

    void sendReply(int fd, const Reply &reply, bool refusedWithData = false)
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

Emulator::Emulator(std::string runtimeDir, std::uint32_t model)
    : d(std::make_unique<Impl>(std::move(runtimeDir), model))
{ }

Emulator::~Emulator()
{
    stop();
}

bool Emulator::start()
{
    if (d->server.joinable())
        return state().plugged;
    if (!platform::ensurePrivatePath(d->root, std::string("devices/") + platform::kDriverInterfaceGuid))
        return false;
    d->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (d->wakeFd < 0)
        return false;
    d->stopping = false;
    d->doPlug(d->initialModel);
    d->server = std::thread([this] { d->serve(); });
    return state().plugged;
}

void Emulator::stop()
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

void Emulator::plug(std::uint32_t model)
{
    d->runOnServer([this, model] { d->doPlug(model); });
}

void Emulator::unplug()
{
    d->runOnServer([this] { d->doUnplug(); });
}

void Emulator::fail(std::uint32_t code, FaultMode mode, int count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (mode == FaultMode::Off || count == 0)
        d->faults.erase(code);
    else
        d->faults[code] = Impl::Fault { mode, count < 0 ? -1 : count };
}

void Emulator::setUsbErrorCount(std::uint32_t count)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state().usbErrorCount = count;
}

void Emulator::setLevel(int index, std::int32_t value)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.pinLevel(index, value);
}

void Emulator::unpinLevel(int index)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.unpinLevel(index);
}

void Emulator::setFirmware(const std::string &tenCharacters)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state().firmware = tenCharacters.substr(0, 32);
}

void Emulator::setBufferSize(std::uint32_t samples)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state().bufferSize = samples;
}

void Emulator::setUsbLatency(std::uint32_t frames)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state().usbLatency = frames;
}

void Emulator::setSampleRate(std::uint32_t rate)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.state().sampleRate = rate;
}

DeviceState Emulator::state() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->device.levels(false);
    return d->device.state();
}

std::vector<RequestRecord> Emulator::requests() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->records;
}

void Emulator::clearRequests()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->records.clear();
}

void Emulator::setLogSink(std::function<void(const std::string &)> sink)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->sink = std::move(sink);
}

void Emulator::setRecording(bool on)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->recording = on;
    if (!on)
        d->records.clear();
}

const std::string &Emulator::runtimeDir() const
{
    return d->root;
}

void Emulator::setInterfaceName(const std::string &name)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->interfaceName = name;
}

std::string Emulator::interfacePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->folder() + "/" + d->interfaceName;
}

} // namespace emu
