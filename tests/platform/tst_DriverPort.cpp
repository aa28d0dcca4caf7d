#include "emulator/Emulator.h"
#include "platform/DriverPort.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;
const std::string kFolder = "/devices/{6EB9AB90-B331-4508-B903-48AAA26EA4F1}";

Bytes le32(std::uint32_t v)
{
    return { std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24) };
}

// What the device did with each request it saw ("ok", "silent", "short", "closed", ...).
QStringList results(const emu::Emulator &device)
{
    QStringList all;
    for (const emu::RequestRecord &r : device.requests())
        all << QString::fromStdString(r.result);
    return all;
}

Bytes join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes &p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// A driver that answers each request with the next scripted packet (an empty one: no answer),
// to play the replies the emulator would never send.
class ScriptedDriver
{
public:
    ScriptedDriver(const std::string &path, std::vector<Bytes> replies)
        : script(std::move(replies))
    {
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
        listener = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        ::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof(address));
        ::listen(listener, 4);
        worker = std::thread([this] { serve(); });
    }
    ~ScriptedDriver()
    {
        ::shutdown(listener, SHUT_RDWR);
        if (connection >= 0)
            ::shutdown(connection, SHUT_RDWR);
        worker.join();
        ::close(listener);
        if (connection >= 0)
            ::close(connection);
    }
    std::vector<Bytes> received() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return requests;
    }

private:
    void serve()
    {
        connection = ::accept(listener, nullptr, nullptr);
        if (connection < 0)
            return;
        for (const Bytes &reply : script) {
            Bytes request(128 * 1024);
            const ssize_t n = ::recv(connection, request.data(), request.size(), 0);
            if (n <= 0)
                return;
            request.resize(static_cast<std::size_t>(n));
            {
                std::lock_guard<std::mutex> lock(mutex);
                requests.push_back(request);
            }
            if (!reply.empty())
                ::send(connection, reply.data(), reply.size(), MSG_NOSIGNAL);
        }
        // Past the script: keep answering so a request is only refused by the client side.
        Bytes request(128 * 1024);
        while (::recv(connection, request.data(), request.size(), 0) > 0) {
            const Bytes ok = join({ le32(1), le32(4), le32(99) });
            ::send(connection, ok.data(), ok.size(), MSG_NOSIGNAL);
        }
    }

    std::vector<Bytes> script;
    int listener = -1;
    std::atomic<int> connection { -1 };
    mutable std::mutex mutex;
    std::vector<Bytes> requests;
    std::thread worker;
};

std::string interfaceFolder(const testsupport::IsolatedEnvironment &env)
{
    const std::string folder = env.runtimeDir().toStdString() + kFolder;
    QDir().mkpath(QString::fromStdString(folder));
    ::chmod((env.runtimeDir().toStdString() + "/devices").c_str(), 0700);
    ::chmod(folder.c_str(), 0700);
    return folder;
}

bool readPid(platform::PortHandle handle, std::uint32_t &pid)
{
    return platform::driverRequest(handle, Code::GetDevicePid, nullptr, 0, &pid, 4);
}

} // namespace

class tst_DriverPort : public QObject
{
    Q_OBJECT

private slots:
    void requestAndReplyPackets();
    void malformedRepliesCloseTheChannel_data();
    void malformedRepliesCloseTheChannel();
    void refusalKeepsTheChannel();
    void silentDriverTimesOutOnce();
    void firstLiveInterfaceInByteOrder();
    void noInterfaceNoHandle();
    void oversizedInputIsNotSent();
};

void tst_DriverPort::requestAndReplyPackets()
{
    testsupport::IsolatedEnvironment env;
    const std::string folder = interfaceFolder(env);
    // Replies longer than the caller's buffer are cut to it; shorter ones fill only their bytes.
    ScriptedDriver driver(folder + "/a",
        { join({ le32(1), le32(6), { 1, 2, 3, 4, 5, 6 } }), join({ le32(1), le32(2), { 7, 8 } }),
            join({ le32(1), le32(0) }) });
    const platform::PortHandle handle = platform::openDriverInterface();
    QVERIFY(handle != platform::kInvalidHandle);

    std::uint8_t out[4] = { 0xEE, 0xEE, 0xEE, 0xEE };
    std::uint32_t returned = 0;
    const std::uint8_t in[3] = { 0xA1, 0xB2, 0xC3 };
    QVERIFY(platform::driverRequest(handle, Code::GetFirmwareVersion, in, 3, out, 4, &returned));
    QCOMPARE(returned, 4u);
    QCOMPARE(Bytes(out, out + 4), Bytes({ 1, 2, 3, 4 }));
    QVERIFY(platform::driverRequest(handle, 0x12345678, nullptr, 0, out, 4, &returned));
    QCOMPARE(returned, 2u);
    QCOMPARE(Bytes(out, out + 4), Bytes({ 7, 8, 3, 4 }));
    QVERIFY(platform::driverRequest(handle, Code::StopAudio, nullptr, 0, nullptr, 0));

    const auto seen = driver.received();
    QCOMPARE(seen.size(), std::size_t(3));
    QCOMPARE(seen[0], Bytes({ 0xA0, 0x20, 0xDC, 0xFF, 4, 0, 0, 0, 0xA1, 0xB2, 0xC3 }));
    QCOMPARE(seen[1], Bytes({ 0x78, 0x56, 0x34, 0x12, 4, 0, 0, 0 }));
    QCOMPARE(seen[2], Bytes({ 0x78, 0x20, 0xDC, 0xFF, 0, 0, 0, 0 }));
    platform::closeDriverHandle(handle);
}

void tst_DriverPort::malformedRepliesCloseTheChannel_data()
{
    QTest::addColumn<Bytes>("reply");
    QTest::newRow("shorter than a header") << Bytes({ 1, 0, 0, 0, 4, 0, 0 });
    QTest::newRow("fewer bytes than claimed") << join({ le32(1), le32(4), { 1, 2 } });
    QTest::newRow("huge claim") << join({ le32(1), le32(0xFFFFFFFF), le32(2) });
    QTest::newRow("ok neither 0 nor 1") << join({ le32(2), le32(4), le32(2) });
    QTest::newRow("larger than any reply") << join({ le32(1), le32(8192), Bytes(8192, 7) });
}

void tst_DriverPort::malformedRepliesCloseTheChannel()
{
    QFETCH(Bytes, reply);
    testsupport::IsolatedEnvironment env;
    ScriptedDriver driver(interfaceFolder(env) + "/a", { reply });
    const platform::PortHandle handle = platform::openDriverInterface();
    QVERIFY(handle != platform::kInvalidHandle);

    std::uint32_t pid = 5;
    QVERIFY(!readPid(handle, pid));
    QCOMPARE(pid, 5u);
    // The driver would answer now, but the channel is closed for good.
    QVERIFY(!readPid(handle, pid));
    QCOMPARE(driver.received().size(), std::size_t(1));
    platform::closeDriverHandle(handle);
}

void tst_DriverPort::refusalKeepsTheChannel()
{
    testsupport::IsolatedEnvironment env;
    ScriptedDriver driver(interfaceFolder(env) + "/a", { join({ le32(0), le32(4), le32(3) }) });
    const platform::PortHandle handle = platform::openDriverInterface();
    std::uint32_t pid = 5;
    // The bytes a refusal carries reach the buffer, as a Windows driver's partial copy does.
    QVERIFY(!readPid(handle, pid));
    QCOMPARE(pid, 3u);
    QVERIFY(readPid(handle, pid));
    QCOMPARE(pid, 99u);
    platform::closeDriverHandle(handle);
}

void tst_DriverPort::silentDriverTimesOutOnce()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    const platform::PortHandle handle = platform::openDriverInterface();
    device.fail(Code::GetDevicePid, emu::FaultMode::Silent, 1);

    std::uint32_t pid = 0;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!readPid(handle, pid));
    QVERIFY(clock.elapsed() >= 1900);
    // The device answers again, but a late reply can never be taken for this one's: the connection
    // is given up, so the next request fails without reaching the device.
    QVERIFY(!readPid(handle, pid));
    QCOMPARE(results(device), QStringList { "silent" });
    platform::closeDriverHandle(handle);

    // A short reply and a dropped connection fail at once, without waiting: had either waited for
    // the time-out, the two requests would have taken as long as it.
    for (const char *mode : { "short", "closed" }) {
        device.clearRequests();
        device.fail(
            Code::GetDevicePid, std::string(mode) == "short" ? emu::FaultMode::Short : emu::FaultMode::Close, 1);
        const platform::PortHandle next = platform::openDriverInterface();
        QVERIFY(!readPid(next, pid));
        QVERIFY(!readPid(next, pid));
        QCOMPARE(results(device), QStringList { mode });
        platform::closeDriverHandle(next);
    }
    const platform::PortHandle last = platform::openDriverInterface();
    QVERIFY(readPid(last, pid));
    platform::closeDriverHandle(last);
}

void tst_DriverPort::firstLiveInterfaceInByteOrder()
{
    testsupport::IsolatedEnvironment env;
    const std::string folder = interfaceFolder(env);
    // "A" sorts before "B" and "a" (byte order); a stale socket and a plain file come first.
    {
        ScriptedDriver gone(folder + "/0-stale", {});
    }
    QFile plain(QString::fromStdString(folder + "/0-file"));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    emu::Emulator second(env.runtimeDir().toStdString(), 15);
    second.setInterfaceName("a");
    emu::Emulator first(env.runtimeDir().toStdString(), 1);
    first.setInterfaceName("B");
    QVERIFY(second.start());
    QVERIFY(first.start());

    platform::PortHandle handle = platform::openDriverInterface();
    std::uint32_t pid = 0;
    QVERIFY(readPid(handle, pid));
    QCOMPARE(pid, 1u);
    platform::closeDriverHandle(handle);

    first.unplug();
    handle = platform::openDriverInterface();
    QVERIFY(readPid(handle, pid));
    QCOMPARE(pid, 15u);
    platform::closeDriverHandle(handle);
}

void tst_DriverPort::noInterfaceNoHandle()
{
    testsupport::IsolatedEnvironment env;
    QCOMPARE(platform::openDriverInterface(), platform::kInvalidHandle);
    const std::string folder = interfaceFolder(env);
    QCOMPARE(platform::openDriverInterface(), platform::kInvalidHandle);

    // A folder others may write into is not trusted, whatever it holds.
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    ::chmod(folder.c_str(), 0770);
    QCOMPARE(platform::openDriverInterface(), platform::kInvalidHandle);
    ::chmod(folder.c_str(), 0700);
    const platform::PortHandle handle = platform::openDriverInterface();
    QVERIFY(handle != platform::kInvalidHandle);
    platform::closeDriverHandle(handle);

    std::uint32_t pid = 0;
    QVERIFY(!readPid(platform::kInvalidHandle, pid));
    platform::closeDriverHandle(platform::kInvalidHandle);
}

void tst_DriverPort::oversizedInputIsNotSent()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    QVERIFY(device.start());
    const platform::PortHandle handle = platform::openDriverInterface();
    const Bytes block(66305, 0);
    QVERIFY(!platform::driverRequest(handle, Code::WriteMixerState, block.data(), 66305, nullptr, 0));
    QVERIFY(device.requests().empty());
    // A wrong size that fits the protocol reaches the driver, which refuses it.
    QVERIFY(!platform::driverRequest(handle, Code::WriteMixerState, block.data(), 66303, nullptr, 0));
    QCOMPARE(device.requests().size(), std::size_t(1));
    QVERIFY(platform::driverRequest(handle, Code::WriteMixerState, block.data(), 66304, nullptr, 0));
    platform::closeDriverHandle(handle);
}

QTEST_GUILESS_MAIN(tst_DriverPort)
#include "tst_DriverPort.moc"
