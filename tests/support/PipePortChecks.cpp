// Checks of the pipe port that hold on both systems. The same source runs natively on Linux and,
// built with MinGW, under Wine against the Windows implementation.
#include "platform/PipePort.h"
#include "tests/support/Checks.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace platform;
using Clock = std::chrono::steady_clock;

namespace {

std::string uniquePipeName(const char *what)
{
    static std::mt19937 random(static_cast<unsigned>(std::random_device {}())
        ^ static_cast<unsigned>(Clock::now().time_since_epoch().count()));
    return std::string("\\\\.\\pipe\\OrvelinPortTest-") + what + "-" + std::to_string(random() % 1000000000u);
}

long long millisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Received
{
    bool ok = false;
    std::uint32_t error = 0;
    std::vector<unsigned char> bytes;
};

// One connect-read-disconnect cycle, as the listener does it.
Received serveOne(PipeServerPort &server)
{
    Received result;
    if (!server.connect()) {
        result.error = pipeLastError();
        return result;
    }
    unsigned char buffer[kPipeMessageLimit];
    std::memset(buffer, 0, sizeof buffer);
    std::size_t length = 0;
    result.ok = server.read(buffer, sizeof buffer, length);
    result.error = result.ok ? 0 : pipeLastError();
    result.bytes.assign(buffer, buffer + length);
    server.disconnect();
    return result;
}

// Opens like a real client: a pipe busy between two clients is waited for.
bool sendMessage(const std::string &name, const std::vector<unsigned char> &bytes)
{
    PortHandle handle = pipeOpen(name);
    for (int attempt = 0; handle == kInvalidHandle && pipeLastError() == PipeError::PipeBusy && attempt < 3; ++attempt)
        if (pipeWait(name, 2000))
            handle = pipeOpen(name);
    if (handle == kInvalidHandle)
        return false;
    const bool ok = pipeSetMessageMode(handle) && pipeWrite(handle, bytes.data(), bytes.size());
    pipeClose(handle);
    return ok;
}

void messagesKeepTheirBoundaries()
{
    const std::string name = uniquePipeName("bounds");
    PipeServerPort server(name);
    CHECK(server.create());

    std::vector<unsigned char> record(20);
    for (std::size_t i = 0; i < record.size(); ++i)
        record[i] = static_cast<unsigned char>(0xA0 + i);
    std::thread client([&] {
        CHECK(sendMessage(name, { 'a', 'b', 'c' }));
        CHECK(sendMessage(name, record));
        CHECK(sendMessage(name, { 0x31 }));
    });
    const Received first = serveOne(server);
    const Received second = serveOne(server);
    const Received third = serveOne(server);
    client.join();

    CHECK(first.ok);
    CHECK((first.bytes == std::vector<unsigned char> { 'a', 'b', 'c' }));
    CHECK(second.ok);
    CHECK(second.bytes == record);
    CHECK(third.ok);
    CHECK((third.bytes == std::vector<unsigned char> { 0x31 }));
}

// A client may connect, write and leave before the listener waits for it: its message is still
// served, and the instance takes the next client.
void clientGoneBeforeTheWaitIsStillServed()
{
    const std::string name = uniquePipeName("early");
    PipeServerPort server(name);
    CHECK(server.create());
    CHECK(sendMessage(name, { 0x42 }));
    const Received early = serveOne(server);
    CHECK(early.ok);
    CHECK((early.bytes == std::vector<unsigned char> { 0x42 }));

    std::thread client([&] { CHECK(sendMessage(name, { 0x31 })); });
    const Received next = serveOne(server);
    client.join();
    CHECK(next.ok);
    CHECK((next.bytes == std::vector<unsigned char> { 0x31 }));
}

void overlongMessageIsDroppedAndNextClientServed()
{
    const std::string name = uniquePipeName("long");
    PipeServerPort server(name);
    CHECK(server.create());
    std::thread client([&] {
        sendMessage(name, std::vector<unsigned char>(1025, 0x55));
        CHECK(sendMessage(name, { 1, 2, 3, 4 }));
    });
    const Received dropped = serveOne(server);
    const Received next = serveOne(server);
    client.join();

    CHECK(!dropped.ok);
    CHECK_EQ(dropped.error, 234u);
    CHECK(next.ok);
    CHECK((next.bytes == std::vector<unsigned char> { 1, 2, 3, 4 }));

    // Exactly 1024 bytes still fit.
    std::thread fits([&] { CHECK(sendMessage(name, std::vector<unsigned char>(1024, 0x66))); });
    const Received full = serveOne(server);
    fits.join();
    CHECK(full.ok);
    CHECK_EQ(full.bytes.size(), 1024u);
}

void silentClientIsDroppedAfterTwoSeconds()
{
    const std::string name = uniquePipeName("silent");
    PipeServerPort server(name);
    CHECK(server.create());
    const PortHandle silent = pipeOpen(name);
    CHECK(silent != kInvalidHandle);

    const Clock::time_point start = Clock::now();
    const Received dropped = serveOne(server);
    const long long waited = millisecondsSince(start);
    CHECK(!dropped.ok);
    CHECK_EQ(dropped.error, 121u);
    CHECK(waited >= 1900);
    CHECK(waited < 2 * kPipeReadTimeoutMs); // one time-out, not two
    pipeClose(silent);

    std::thread client([&] { CHECK(sendMessage(name, { 9 })); });
    const Received next = serveOne(server);
    client.join();
    CHECK(next.ok);
    CHECK((next.bytes == std::vector<unsigned char> { 9 }));
}

void missingServerIsFileNotFound()
{
    const std::string name = uniquePipeName("none");
    CHECK(pipeOpen(name) == kInvalidHandle);
    CHECK_EQ(pipeLastError(), 2u);
    CHECK(!pipeWait(name, 100));
    CHECK_EQ(pipeLastError(), 2u);

    // A server that has gone away leaves nothing to connect to either.
    {
        PipeServerPort server(name);
        CHECK(server.create());
    }
    CHECK(pipeOpen(name) == kInvalidHandle);
    CHECK_EQ(pipeLastError(), 2u);

    // Connecting on a server whose pipe was never created is an invalid handle, as on Windows.
    PipeServerPort never(name);
    CHECK(!never.connect());
    CHECK_EQ(pipeLastError(), 6u);
}

void busyServerMakesClientsWait()
{
    const std::string name = uniquePipeName("busy");
    PipeServerPort server(name);
    CHECK(server.create());

    // Nobody serves yet: clients are let in until the pipe is busy.
    std::vector<PortHandle> waiting;
    std::uint32_t error = 0;
    for (int i = 0; i < 64; ++i) {
        const PortHandle handle = pipeOpen(name);
        if (handle == kInvalidHandle) {
            error = pipeLastError();
            break;
        }
        const unsigned char byte = static_cast<unsigned char>(i);
        CHECK(pipeWrite(handle, &byte, 1));
        waiting.push_back(handle);
    }
    CHECK(!waiting.empty());
    CHECK_EQ(error, 231u);

    const Clock::time_point start = Clock::now();
    CHECK(!pipeWait(name, 200));
    CHECK_EQ(pipeLastError(), 121u);
    CHECK(millisecondsSince(start) >= 150);

    std::atomic<int> served { 0 };
    std::thread serving([&] {
        while (!server.stopped())
            if (serveOne(server).ok)
                ++served;
    });
    CHECK(pipeWait(name, 5000));
    const PortHandle late = pipeOpen(name);
    CHECK(late != kInvalidHandle);
    const unsigned char lateByte = 0x77;
    CHECK(pipeWrite(late, &lateByte, 1));
    pipeClose(late);
    for (PortHandle handle : waiting)
        pipeClose(handle);

    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (served.load() < static_cast<int>(waiting.size()) + 1 && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    CHECK_EQ(served.load(), static_cast<int>(waiting.size()) + 1);
    server.stop();
    serving.join();
}

void stopWakesABlockedWait()
{
    // A hundred listeners in a row, each stopped while it waits for a client. Error 995 tells the
    // stop from anything else that could end the wait; a stop that missed would hang here.
    const std::string name = uniquePipeName("stop");
    for (int round = 0; round < 100; ++round) {
        PipeServerPort server(name);
        CHECK(server.create());
        std::atomic<bool> returned { false };
        std::uint32_t error = 0;
        std::thread waiter([&] {
            CHECK(!server.connect());
            error = pipeLastError();
            returned = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(round % 10 == 0 ? 20 : 1));
        server.stop();
        waiter.join();
        CHECK(returned.load());
        CHECK_EQ(error, 995u);
        server.close();
    }

    // A stop also ends a read that waits for a silent client, and every later connect.
    PipeServerPort server(name);
    CHECK(server.create());
    const PortHandle silent = pipeOpen(name);
    CHECK(silent != kInvalidHandle);
    std::uint32_t readError = 0;
    std::thread reader([&] {
        CHECK(server.connect());
        unsigned char buffer[kPipeMessageLimit];
        std::size_t length = 0;
        CHECK(!server.read(buffer, sizeof buffer, length));
        readError = pipeLastError();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    server.stop();
    reader.join();
    CHECK_EQ(readError, 995u); // the stop, not the read's time-out (121)
    CHECK(!server.connect());
    CHECK_EQ(pipeLastError(), 995u);
    pipeClose(silent);
}

} // namespace

int main()
{
    const struct
    {
        const char *name;
        void (*run)();
    } checks[] = {
        { "messagesKeepTheirBoundaries", messagesKeepTheirBoundaries },
        { "clientGoneBeforeTheWaitIsStillServed", clientGoneBeforeTheWaitIsStillServed },
        { "overlongMessageIsDroppedAndNextClientServed", overlongMessageIsDroppedAndNextClientServed },
        { "silentClientIsDroppedAfterTwoSeconds", silentClientIsDroppedAfterTwoSeconds },
        { "missingServerIsFileNotFound", missingServerIsFileNotFound },
        { "busyServerMakesClientsWait", busyServerMakesClientsWait },
        { "stopWakesABlockedWait", stopWakesABlockedWait },
    };
    for (const auto &check : checks) {
        std::printf("%s\n", check.name);
        std::fflush(stdout);
        check.run();
    }
    if (failures != 0) {
        std::fprintf(stderr, "%d check(s) failed\n", failures);
        return 1;
    }
    std::printf("all pipe port checks passed\n");
    return 0;
}
