#include "emulator/AsioPeer.h"
#include "emulator/AudioServicePeer.h"
#include "emulator/Inbox.h"
#include "platform/PipePort.h"
#include "settings/LatencyLimit.h"
#include "settings/PipeClients.h"
#include "settings/PipeServer.h"
#include "settings/ThreadSettingsPip.h"
#include "tests/support/TestSupport.h"

#include <QElapsedTimer>
#include <QtTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

namespace {

const char *const kWaiting = "ThreadSettingsPip is running waiting Asio Info...";

Bytes utf16le(const char *text)
{
    Bytes bytes;
    for (const char *c = text; *c; ++c) {
        bytes.push_back(static_cast<std::uint8_t>(*c));
        bytes.push_back(0);
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// Waits until the log has at least count lines equal to text.
bool waitForLines(const testsupport::LogCapture &log, const QString &text, int count, int timeoutMs = 15000)
{
    QElapsedTimer clock;
    clock.start();
    while (log.count(text) < count) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(5);
    }
    return true;
}

// The audio service's real pipe calls, counted.
struct CountedPipeCalls
{
    int opens = 0;
    int waits = 0;
    const AudioServicePipeCalls calls {
        [this](const std::string &name, std::uint32_t &error) {
            ++opens;
            const platform::PortHandle handle = platform::pipeOpen(name);
            error = handle == platform::kInvalidHandle ? platform::pipeLastError() : 0;
            return handle;
        },
        [this](const std::string &name, int timeoutMs) {
            ++waits;
            return platform::pipeWait(name, timeoutMs);
        },
    };
};

// Clients let in while nobody serves, until the pipe reports busy.
std::vector<platform::PortHandle> fillUntilBusy(const char *pipe)
{
    std::vector<platform::PortHandle> held;
    for (int i = 0; i < 64; ++i) {
        const platform::PortHandle handle = platform::pipeOpen(pipe);
        if (handle == platform::kInvalidHandle)
            break;
        held.push_back(handle);
    }
    return held;
}

} // namespace

class tst_PipeProtocols : public QObject
{
    Q_OBJECT

private slots:
    void audioServiceReceivesUtf16Commands();
    void audioServiceMissingFailsAtOnce();
    void busyAudioServiceIsWaitedFor();
    void asioResetIsOneByte();
    void pipeServerLogsItsLife();
    void listenerHandlesRecords();
    void listenerSurvivesBadClients();
    void listenerStopsQuickly();
    void latencyLimits();
};

void tst_PipeProtocols::audioServiceReceivesUtf16Commands()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    emu::AudioServicePeer service;
    emu::Inbox<std::string> peerLog;
    service.setLogSink([&](const std::string &line) { peerLog.push(line); });
    QVERIFY(service.start());

    QVERIFY(settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR")));
    QVERIFY(settings::sendAudioServiceCommand(QStringLiteral("START_MONITOR")));
    QVERIFY(service.waitForCommands(2, 15000));
    // A message waited for has its line written: a log read next never misses it.
    QCOMPARE(peerLog.take(),
        (std::vector<std::string> { R"({"peer":"audio-service","command":"STOP_MONITOR","bytes":26})",
            R"({"peer":"audio-service","command":"START_MONITOR","bytes":28})" }));

    const auto messages = service.messages();
    QCOMPARE(messages.size(), std::size_t(2));
    QCOMPARE(messages[0].size(), std::size_t(26));
    QCOMPARE(messages[1].size(), std::size_t(28));
    QCOMPARE(messages[0], utf16le("STOP_MONITOR"));
    QCOMPARE(messages[1], utf16le("START_MONITOR"));
    QCOMPARE(service.commands(), (std::vector<std::string> { "STOP_MONITOR", "START_MONITOR" }));
    QCOMPARE(log.count(QStringLiteral("Pipe Command Sent: STOP_MONITOR")), 1);
    QCOMPARE(log.count(QStringLiteral("Pipe Command Sent: START_MONITOR")), 1);
}

void tst_PipeProtocols::audioServiceMissingFailsAtOnce()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    CountedPipeCalls counted;
    QVERIFY(!settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR"), counted.calls));
    QCOMPARE(counted.opens, 1);
    QCOMPARE(counted.waits, 0);
    QCOMPARE(log.count(QStringLiteral("Could not open pipe. Is Audio Service running? Error: 2")), 1);

    // A stale socket of a service that died reads the same.
    {
        emu::AudioServicePeer service;
        QVERIFY(service.start());
    }
    QVERIFY(!settings::sendAudioServiceCommand(QStringLiteral("START_MONITOR")));
    QCOMPARE(log.count(QStringLiteral("Could not open pipe. Is Audio Service running? Error: 2")), 2);
}

void tst_PipeProtocols::busyAudioServiceIsWaitedFor()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;

    // Busy at every open although every wait succeeds: three opens and three one-second waits on
    // the service's pipe, then the command gives up without a line.
    QStringList calls;
    const AudioServicePipeCalls alwaysBusy {
        [&](const std::string &name, std::uint32_t &error) {
            calls << QStringLiteral("open ") + QString::fromStdString(name);
            error = 231;
            return platform::kInvalidHandle;
        },
        [&](const std::string &name, int timeoutMs) {
            calls << QStringLiteral("wait %1 ").arg(timeoutMs) + QString::fromStdString(name);
            return true;
        },
    };
    QVERIFY(!settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR"), alwaysBusy));
    const QString open = QStringLiteral("open \\\\.\\pipe\\OrvelinAudioControlPipe");
    const QString wait = QStringLiteral("wait 1000 \\\\.\\pipe\\OrvelinAudioControlPipe");
    QCOMPARE(calls, (QStringList { open, wait, open, wait, open, wait }));
    QVERIFY(log.lines().isEmpty());
    platform::PipeServerPort server(platform::kAudioControlPipe);
    QVERIFY(server.create());
    std::vector<platform::PortHandle> held = fillUntilBusy(platform::kAudioControlPipe);
    QVERIFY(!held.empty());
    QCOMPARE(platform::pipeLastError(), 231u);

    // Busy for longer than the one-second wait: the command gives up after one wait.
    CountedPipeCalls counted;
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR"), counted.calls));
    QVERIFY(clock.elapsed() >= 900);
    QCOMPARE(counted.opens, 1);
    QCOMPARE(counted.waits, 1);
    QCOMPARE(log.count(QStringLiteral("WaitNamedPipe timed out.")), 1);

    // Busy for a moment: the command waits and is delivered.
    std::vector<Bytes> received;
    std::thread serving([&] {
        QThread::msleep(300);
        for (platform::PortHandle handle : held)
            platform::pipeClose(handle);
        while (received.size() < held.size() + 1) {
            Bytes buffer(1024);
            std::size_t length = 0;
            if (!server.connect())
                break;
            if (server.read(buffer.data(), buffer.size(), length))
                received.emplace_back(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
            else
                received.emplace_back();
            server.disconnect();
        }
    });
    clock.restart();
    QVERIFY(settings::sendAudioServiceCommand(QStringLiteral("STOP_MONITOR")));
    QVERIFY(clock.elapsed() >= 250);
    serving.join();
    QCOMPARE(received.back(), utf16le("STOP_MONITOR"));
    QCOMPARE(log.count(QStringLiteral("Pipe Command Sent: STOP_MONITOR")), 1);
}

void tst_PipeProtocols::asioResetIsOneByte()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;

    QVERIFY(!settings::sendAsioReset());
    QCOMPARE(log.count(QStringLiteral("Error: Could not open pipe. Error code: 2")), 1);
    QVERIFY(!log.contains(QStringLiteral("Pipe opened successfully.")));

    emu::AsioPeer asio;
    QVERIFY(asio.start());
    QVERIFY(settings::sendAsioReset());
    QVERIFY(asio.waitForResets(1, 15000));
    QCOMPARE(asio.resets(), (std::vector<Bytes> { Bytes { 0x31 } }));
    const int opened = log.indexOf(QStringLiteral("Pipe opened successfully."));
    QVERIFY(opened >= 0);
    QVERIFY(log.indexOf(QStringLiteral("ASIO reset signal sent successfully."), opened) > opened);
}

void tst_PipeProtocols::pipeServerLogsItsLife()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    {
        PipeServer server(platform::kAsioToPanelPipe);
        QVERIFY(server.create());
        QCOMPARE(log.count(QStringLiteral("Pipe created successfully.")), 1);

        // Only the user may reach the socket, inside a private folder.
        struct stat info;
        const QByteArray path = QFile::encodeName(env.runtimeDir() + QStringLiteral("/pipe/OrvelinASIOToPannel"));
        QCOMPARE(::lstat(path.constData(), &info), 0);
        QVERIFY(S_ISSOCK(info.st_mode));
        QCOMPARE(info.st_mode & 0777, 0600u);

        // A second live server cannot take the name.
        PipeServer rival(platform::kAsioToPanelPipe);
        QVERIFY(!rival.create());
        QCOMPARE(log.count(QStringLiteral("Error: Could not create pipe. Error code: 5")), 1);
        rival.close();

        // A listener that finds the name held retries once a second with no new line for the
        // same error, and takes the name once it is free.
        ThreadSettingsPip listener;
        listener.start();
        QTest::qWait(2300);
        QCOMPARE(log.count(QStringLiteral("Error: Could not create pipe. Error code: 5")), 2);
        // Said in plain words once per server too, not on every retry.
        QCOMPARE(log.count(QStringLiteral("The ASIO driver's status pipe is already served by another program, most "
                                          "likely the panel of another signed-in user; it is tried again every "
                                          "second.")),
            2);
        QCOMPARE(log.count(QString::fromLatin1(kWaiting)), 0);
        server.close();
        QTRY_VERIFY_WITH_TIMEOUT(log.count(QString::fromLatin1(kWaiting)) > 0, 15000);
        listener.stopListening();
        QCOMPARE(log.count(QStringLiteral("Error: Could not create pipe. Error code: 5")), 2);
        server.close();
    }
    // The first server's and the listener's, each once.
    QCOMPARE(log.count(QStringLiteral("Pipe closed.")), 2);

    // A socket left by a crashed panel is taken over.
    {
        const QByteArray path = QFile::encodeName(env.runtimeDir() + QStringLiteral("/pipe/OrvelinASIOToPannel"));
        const int stale = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        std::memcpy(address.sun_path, path.constData(), static_cast<std::size_t>(path.size()));
        QCOMPARE(::bind(stale, reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);
        ::close(stale);
        QVERIFY(QFileInfo::exists(QFile::decodeName(path)));

        PipeServer server(platform::kAsioToPanelPipe);
        QVERIFY(server.create());
        QCOMPARE(log.count(QStringLiteral("Pipe created successfully.")), 3);
    }
}

void tst_PipeProtocols::listenerHandlesRecords()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    ThreadSettingsPip listener;
    QList<int> shown;
    connect(&listener, &ThreadSettingsPip::progressUpdated, this, [&](int value) { shown << value; });
    listener.start();
    emu::AsioPeer asio;

    QVERIFY(asio.sendStatus(1, 128, 3, 4, 0));
    QVERIFY(asio.sendStatus(7, 256, 8, 9, 0));
    QVERIFY(asio.sendStatus(7, 256, 8, 9, 0));
    QVERIFY(asio.sendStatus(0, 256, 0, 0, 1));
    // Six bytes: the size field is cut after its second byte; the rest reads as zero.
    QVERIFY(asio.sendRaw({ 5, 0, 0, 0, 0x00, 0x02 }));
    // Bytes after the record are not interpreted.
    Bytes longer = emu::asioStatusBytes(2, 512, 0, 0, 0);
    longer.resize(300, 0xEE);
    QVERIFY(asio.sendRaw(longer));
    // A size of 0 after a real one is passed on too (the dialog rejects it).
    QVERIFY(asio.sendStatus(0, 0, 0, 0, 0));
    QVERIFY(waitForLines(log, QStringLiteral("Received data from pipe: 0 0 0 0 0"), 1));

    const QStringList lines = log.lines();
    QCOMPARE(lines.count(QStringLiteral("Received data from pipe: 1 128 3 4 0")), 1);
    QCOMPARE(lines.count(QStringLiteral("Received data from pipe: 7 256 8 9 0")), 2);
    QCOMPARE(lines.count(QStringLiteral("Received data from pipe: 0 256 0 0 1")), 1);
    QCOMPARE(lines.count(QStringLiteral("Received data from pipe: 5 512 0 0 0")), 1);
    QCOMPARE(lines.count(QStringLiteral("ASIO Buffer Size changed to: 128")), 1);
    QCOMPARE(lines.count(QStringLiteral("ASIO Buffer Size changed to: 256")), 1);
    QCOMPARE(lines.count(QStringLiteral("ASIO Buffer Size changed to: 512")), 1);
    QCOMPARE(lines.count(QStringLiteral("ASIO Buffer Size changed to: 0")), 1);
    QCOMPARE(lines.count(QStringLiteral("Received data from pipe: 2 512 0 0 0")), 1);
    QCOMPARE(lines.count(QStringLiteral("Open Window Signal from ASIO.")), 1);
    QVERIFY(!lines.contains(QStringLiteral("No data received from pipe.")));
    // The "changed" line follows its record's line directly.
    const int record = lines.indexOf(QStringLiteral("Received data from pipe: 1 128 3 4 0"));
    QCOMPARE(lines.at(record + 1), QStringLiteral("ASIO Buffer Size changed to: 128"));

    QTRY_COMPARE(shown, QList<int> { 1 });
}

void tst_PipeProtocols::listenerSurvivesBadClients()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    ThreadSettingsPip listener;
    listener.start();
    QVERIFY(waitForLines(log, QString::fromLatin1(kWaiting), 1));
    emu::AsioPeer asio;

    // Too long: dropped, and the pipe is free for the next client.
    QVERIFY(asio.sendRaw(Bytes(1025, 0x41)));
    QVERIFY(asio.sendStatus(0, 64, 0, 0, 0));
    QVERIFY(waitForLines(log, QStringLiteral("ASIO Buffer Size changed to: 64"), 1));
    QCOMPARE(log.count(QStringLiteral("Error reading from pipe. Error code: 234")), 1);
    QCOMPARE(log.count(QStringLiteral("No data received from pipe.")), 1);

    // Connects and never writes: dropped after two seconds, then the next client is served.
    const platform::PortHandle silent = platform::pipeOpen(platform::kAsioToPanelPipe);
    QVERIFY(silent != platform::kInvalidHandle);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(asio.sendStatus(0, 96, 0, 0, 0));
    QVERIFY(waitForLines(log, QStringLiteral("ASIO Buffer Size changed to: 96"), 1));
    QVERIFY(clock.elapsed() >= 1900);
    QCOMPARE(log.count(QStringLiteral("Error reading from pipe. Error code: 121")), 1);
    platform::pipeClose(silent);

    // Connects and leaves without a word.
    platform::pipeClose(platform::pipeOpen(platform::kAsioToPanelPipe));
    QVERIFY(asio.sendStatus(0, 48, 0, 0, 0));
    QVERIFY(waitForLines(log, QStringLiteral("ASIO Buffer Size changed to: 48"), 1));
    QCOMPARE(log.count(QStringLiteral("Error reading from pipe. Error code: 109")), 1);
}

void tst_PipeProtocols::listenerStopsQuickly()
{
    testsupport::IsolatedEnvironment env;
    testsupport::LogCapture log;
    // A stop that did not wake the wait for a client would hang here for good.
    for (int round = 1; round <= 100; ++round) {
        auto *listener = new ThreadSettingsPip;
        listener->start();
        QVERIFY(waitForLines(log, QString::fromLatin1(kWaiting), round));
        delete listener;
    }
    QCOMPARE(log.count(QStringLiteral("Pipe closed.")), 100);
    QCOMPARE(log.count(QStringLiteral("Error connecting to pipe. Error code: 995")), 0);

    // Also while a silent client holds the read: the stop ends it before its time-out, which
    // cannot come sooner than the time-out after the client's open.
    auto *listener = new ThreadSettingsPip;
    listener->start();
    const platform::PortHandle silent = platform::pipeOpen(platform::kAsioToPanelPipe);
    QVERIFY(silent != platform::kInvalidHandle);
    QThread::msleep(200);
    delete listener;
    QCOMPARE(log.count(QStringLiteral("Error reading from pipe. Error code: 121")), 0);
    platform::pipeClose(silent);
}

void tst_PipeProtocols::latencyLimits()
{
    const std::pair<std::uint32_t, std::uint32_t> table[]
        = { { 48, 8 }, { 64, 8 }, { 65, 16 }, { 128, 16 }, { 129, 24 }, { 256, 24 }, { 257, 32 }, { 1024, 32 } };
    for (const auto &row : table)
        QCOMPARE(settings::largestUsbLatency(row.first), row.second);
}

QTEST_MAIN(tst_PipeProtocols)
#include "tst_PipeProtocols.moc"
