// The Windows emulator under Wine: the panel's requests travel the real SetupDi, CreateFileW and
// DeviceIoControl path to the emulated device through the relay driver, its log reads as on
// Linux, unplug takes the interface and the open handle away, replug brings it back, and the
// audio-service and ASIO peers talk over real named pipes.
#include "emulator/AsioPeer.h"
#include "emulator/AudioServicePeer.h"
#include "emulator/Emulator.h"
#include "emulator/Inbox.h"
#include "platform/DriverPort.h"
#include "platform/PipePort.h"
#include "platform/PlatformLog.h"
#include "tests/support/DriverChannel.h"
#include "tests/support/ExpectedRequestLog.h"
#include "tests/win/WinTestSupport.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using testsupport::Bytes;
using Channel = testsupport::DriverChannel;
using LogLines = emu::Inbox<std::string>;

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Per request, over many: what the panel waits for a 4-byte read and a 66304-byte mixer write.
void measure(Channel &c)
{
    constexpr int rounds = 300;
    const Bytes block(66304, 0);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        c.request(Code::GetDevicePid, {}, 4);
    const double small = secondsSince(start) / rounds;
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < rounds; ++i)
        c.request(Code::WriteMixerState, block, 0);
    const double large = secondsSince(start) / rounds;
    std::printf("tst_EmulatorWin: request of 4 bytes %.3f ms, of 66304 bytes %.3f ms\n", small * 1e3, large * 1e3);
}

// The panel's side of the two pipes it writes to: one message a connection.
bool sendMessage(const char *pipe, const Bytes &message)
{
    platform::PortHandle client = platform::pipeOpen(pipe);
    if (client == platform::kInvalidHandle && platform::pipeLastError() == platform::PipeError::PipeBusy
        && platform::pipeWait(pipe, 2000))
        client = platform::pipeOpen(pipe);
    const bool ok = client != platform::kInvalidHandle && platform::pipeSetMessageMode(client)
        && platform::pipeWrite(client, message.data(), message.size());
    platform::pipeClose(client);
    return ok;
}

Bytes stopMonitor()
{
    Bytes text;
    for (char c : std::string("STOP_MONITOR"))
        text.insert(text.end(), { std::uint8_t(c), 0 });
    text.insert(text.end(), { 0, 0 });
    return text;
}

void checkPipePeers()
{
    LogLines log;
    emu::AudioServicePeer audioService;
    emu::AsioPeer asio;
    audioService.setLogSink([&](const std::string &line) { log.push(line); });
    asio.setLogSink([&](const std::string &line) { log.push(line); });
    CHECK(audioService.start());
    CHECK(asio.start());

    CHECK(sendMessage(platform::kAudioControlPipe, stopMonitor()));
    CHECK(audioService.waitForCommands(1, 15000));
    CHECK(sendMessage(platform::kPanelToAsioPipe, { 0x31 }));
    CHECK(asio.waitForResets(1, 15000));

    // The ASIO driver's status record reaches a panel listening on its own pipe.
    platform::PipeServerPort panel(platform::kAsioToPanelPipe);
    CHECK(panel.create());
    Bytes received(platform::kPipeMessageLimit);
    std::size_t length = 0;
    std::thread listener([&] {
        if (panel.connect() && !panel.read(received.data(), received.size(), length))
            length = 0;
        panel.disconnect();
    });
    CHECK(asio.sendStatus(0, 256, 0, 0, 1));
    listener.join();
    received.resize(length);
    CHECK(received == emu::asioStatusBytes(0, 256, 0, 0, 1));
    panel.close();

    const std::vector<std::string> lines = log.take();
    CHECK(lines.size() == 3);
    if (lines.size() == 3) {
        CHECK(lines[0] == R"({"peer":"audio-service","command":"STOP_MONITOR","bytes":26})");
        CHECK(lines[1] == R"({"peer":"asio","reset":"31"})");
        CHECK(lines[2] == R"({"peer":"asio","sent":"0000000000010000000000000000000001000000"})");
    }
}

// orvelin-emulator.exe as the program, driven on its standard input like the Linux one.
class Program
{
public:
    explicit Program(std::wstring commandLine)
    {
        SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
        HANDLE childIn = nullptr, childOut = nullptr;
        if (!CreatePipe(&childIn, &input, &inherit, 0) || !CreatePipe(&output, &childOut, &inherit, 0))
            return;
        SetHandleInformation(input, HANDLE_FLAG_INHERIT, 0);
        SetHandleInformation(output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = childIn;
        startup.hStdOutput = childOut;
        startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
        PROCESS_INFORMATION info {};
        if (CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
            process = info.hProcess;
            CloseHandle(info.hThread);
        }
        CloseHandle(childIn);
        CloseHandle(childOut);
    }
    ~Program()
    {
        if (process) {
            if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0)
                TerminateProcess(process, 1);
            CloseHandle(process);
        }
        CloseHandle(input);
        CloseHandle(output);
    }
    bool started() const { return process != nullptr; }
    // One line of its output, waiting at most 10 s.
    std::string line()
    {
        for (int waited = 0; waited < 10000;) {
            const std::size_t end = pending.find('\n');
            if (end != std::string::npos) {
                std::string text = pending.substr(0, end);
                pending.erase(0, end + 1);
                if (!text.empty() && text.back() == '\r')
                    text.pop_back();
                return text;
            }
            DWORD available = 0;
            if (!PeekNamedPipe(output, nullptr, 0, nullptr, &available, nullptr))
                break;
            if (available == 0) {
                Sleep(10);
                waited += 10;
                continue;
            }
            char chunk[4096];
            DWORD got = 0;
            if (!ReadFile(output, chunk, std::min<DWORD>(available, sizeof(chunk)), &got, nullptr))
                break;
            pending.append(chunk, got);
        }
        return "(no answer)";
    }
    std::string command(const std::string &text)
    {
        const std::string withEnd = text + "\n";
        DWORD written = 0;
        WriteFile(input, withEnd.data(), DWORD(withEnd.size()), &written, nullptr);
        return line();
    }
    DWORD exitCode()
    {
        DWORD code = 259;
        if (process && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process, &code);
        return code;
    }

private:
    HANDLE process = nullptr;
    HANDLE input = nullptr;
    HANDLE output = nullptr;
    std::string pending;
};

std::vector<std::string> fileLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        return lines;
    std::string text;
    char chunk[4096];
    for (std::size_t got; (got = std::fread(chunk, 1, sizeof(chunk), file)) > 0;)
        text.append(chunk, got);
    std::fclose(file);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

void checkProgram(const std::string &folder)
{
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    const std::string log = std::string(temp) + "orvelin-emulator-test.json";
    DeleteFileA(log.c_str());
    const std::string commandLine
        = "\"" + folder + "\\orvelin-emulator.exe\" --model 18 --firmware V0.0.0.001 --log \"" + log + "\"";
    Program program(std::wstring(commandLine.begin(), commandLine.end()));
    CHECK(program.started());
    if (!program.started())
        return;
    CHECK(program.line() == R"(ready \\?\root#orvelin#0#{6eb9ab90-b331-4508-b903-48aaa26ea4f1})");
    {
        Channel c;
        Bytes reply;
        CHECK(c.request(Code::GetFirmwareVersion, Channel::vendor({ 0x01, 0x65 }), 32, &reply));
        CHECK(std::string(reinterpret_cast<const char *>(reply.data()), 10) == "V0.0.0.001");
        CHECK(program.command("fail 0xFFDC2084 refuse 1") == "ok");
        CHECK(!c.request(Code::GetDevicePid, {}, 4));
        CHECK(c.request(Code::GetDevicePid, {}, 4, &reply));
        CHECK(reply[0] == 18);
        CHECK(program.command("level 2 -5") == "ok");
        CHECK(c.request(Code::ReadMeters, {}, 768, &reply));
        CHECK(reply[8] == 0xFB && reply[11] == 0xFF);
    }
    CHECK(program.command("unplug") == "ok");
    CHECK(platform::openDriverInterface() == platform::kInvalidHandle);
    CHECK(program.command("state").rfind(R"({"plugged":false,"model":18,"firmware":"V0.0.0.001")", 0) == 0);
    CHECK(program.command("plug 1") == "ok");
    CHECK(program.command("state").rfind(R"({"plugged":true,"model":1,)", 0) == 0);
    CHECK(program.command("asio-dance") == "error: unknown command: asio-dance");
    // Its audio-service peer logs what the panel sends, like the Linux one.
    CHECK(sendMessage(platform::kAudioControlPipe, stopMonitor()));
    for (int tries = 0; fileLines(log).size() < 5 && tries < 200; ++tries)
        Sleep(10);
    CHECK(program.command("quit") == "ok");
    CHECK(program.exitCode() == 0);
    CHECK(platform::openDriverInterface() == platform::kInvalidHandle); // the device goes with it

    const std::vector<std::string> lines = fileLines(log);
    CHECK(lines.size() == 5);
    if (lines.size() == 5) {
        CHECK(lines[0]
            == R"({"connection":1,"code":"0xFFDC20A0","input":"01650000000000000000000000000000000000000000000000000000000000000000000000","output":32,"result":"ok"})");
        CHECK(lines[1] == R"({"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"refused"})");
        CHECK(lines[2] == R"({"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"ok"})");
        CHECK(lines[4] == R"({"peer":"audio-service","command":"STOP_MONITOR","bytes":26})");
    }
    DeleteFileA(log.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tst_EmulatorWin FOLDER-OF-orvelin_relay.inf\n");
        return 2;
    }
    const auto started = std::chrono::steady_clock::now();
    LogLines portLog;
    platform::setLogSink([&](const std::string &line) { portLog.push(line); });
    LogLines log;
    emu::Emulator device(argv[1], 2);
    device.setLogSink([&](const std::string &line) { log.push(line); });
    CHECK(device.start());
    std::printf("tst_EmulatorWin: plugged in %.2f s at %s\n", secondsSince(started), device.interfacePath().c_str());

    // Wine hears device events through a listener thread that the process starts at its first
    // registration for them, and what happens before that thread is up is never heard (Windows
    // has no such gap). So the process first hears one removal: a missed one is tried again, and
    // only a port that never hears any fails here.
    const auto removalLogged = [](const std::vector<std::string> &lines) {
        return std::count(lines.begin(), lines.end(), "Device handle closed: the device is being removed") > 0;
    };
    bool heard = false;
    for (int tries = 0; !heard && tries < 5; ++tries, device.plug(2)) {
        const platform::PortHandle listening = platform::openDriverInterface();
        device.unplug();
        heard = portLog.waitUntil(removalLogged, 3000);
        platform::closeDriverHandle(listening);
    }
    CHECK(heard);
    portLog.clear();
    CHECK(log.take().empty()); // no request yet

    // The same sequence as on Linux, with the same log.
    {
        Channel first;
        CHECK(first.handle != platform::kInvalidHandle);
        CHECK(first.request(Code::SetSampleRate, { 0x44, 0xAC, 0x00, 0x00 }, 0));
        device.fail(Code::GetDevicePid, emu::FaultMode::Close, 1);
        CHECK(!first.request(Code::GetDevicePid, {}, 4));
        CHECK(!first.request(Code::GetDevicePid, {}, 4)); // a dropped connection stays dropped, unlogged
    }
    {
        Channel second;
        CHECK(second.request(Code::GetDevicePid, {}, 4));
        const auto unplugged = std::chrono::steady_clock::now();
        device.unplug();
        std::printf("tst_EmulatorWin: unplugged in %.2f s\n", secondsSince(unplugged));
        CHECK(!second.request(Code::GetDevicePid, {}, 4)); // gone with the device, and not logged
        CHECK(platform::openDriverInterface() == platform::kInvalidHandle);
        // The port let go of its handle when the system said the device was going.
        CHECK(portLog.waitUntil(removalLogged, 15000));
        std::printf("tst_EmulatorWin: handle released %.2f s after the unplug began\n", secondsSince(unplugged));
        CHECK(!second.request(Code::GetDevicePid, {}, 4));
        CHECK(GetLastError() == ERROR_DEVICE_NOT_CONNECTED);
    }
    const auto replugged = std::chrono::steady_clock::now();
    device.plug(2);
    std::printf("tst_EmulatorWin: plugged again in %.2f s\n", secondsSince(replugged));
    {
        Channel third;
        CHECK(third.handle != platform::kInvalidHandle);
        CHECK(!third.request(Code::ReadMeters, {}, 700));
    }
    CHECK(log.take() == testsupport::connectionSequenceLog());
    CHECK(device.state().sampleRate == 44100);

    // Replugged as a KV: the model's answers and the faults as a Windows driver gives them.
    device.plug(15);
    {
        Channel c;
        Bytes reply;
        std::uint32_t returned = 0;
        CHECK(c.request(Code::GetDevicePid, {}, 4, &reply, &returned));
        CHECK(returned == 4 && reply == Bytes({ 15, 0, 0, 0 }));
        CHECK(c.request(Code::GetFirmwareVersion, Channel::vendor({ 0x01, 0x65 }), 32, &reply));
        CHECK(std::string(reinterpret_cast<const char *>(reply.data()), 10) == "V1.2.3.456");
        CHECK(!c.request(Code::GetSampleRate, {}, 2)); // the wrong size is refused by the device itself

        // refuse: fails and leaves the buffer alone.
        device.fail(Code::GetSampleRate, emu::FaultMode::Refuse, 1);
        CHECK(!c.request(Code::GetSampleRate, {}, 4, &reply));
        CHECK(reply == Bytes(4, 0xEE));
        // short: the nearest a driver comes to a short reply is fewer bytes than asked for.
        device.fail(Code::GetSampleRate, emu::FaultMode::Short, 1);
        CHECK(c.request(Code::GetSampleRate, {}, 4, &reply, &returned));
        CHECK(returned == 3 && reply == Bytes({ 1, 0, 0, 0xEE }));
        // partial: fails with ERROR_MORE_DATA, the device's bytes in the buffer all the same.
        device.fail(Code::ReadUsbStatus, emu::FaultMode::Partial, 1);
        device.setUsbErrorCount(9);
        CHECK(!c.request(Code::ReadUsbStatus, {}, 7, &reply));
        CHECK(GetLastError() == ERROR_MORE_DATA);
        CHECK(reply == Bytes({ 1, 0, 1, 9, 0, 0, 0 }));

        // silent: the request waits; unplugging releases it.
        device.fail(Code::GetBufferSize, emu::FaultMode::Silent, 1);
        bool answered = true;
        const std::size_t before = log.size();
        std::thread waiting([&] { answered = c.request(Code::GetBufferSize, {}, 4); });
        log.waitFor(before + 1, 2000);
        device.unplug();
        waiting.join();
        CHECK(!answered);

        device.plug(2);
        Channel again;
        measure(again);
    }
    device.stop();
    CHECK(platform::openDriverInterface() == platform::kInvalidHandle);
    const std::vector<std::string> lines = log.take();
    CHECK(lines.size() == 7 + 600);
    if (lines.size() > 6) {
        CHECK(lines[3] == R"({"connection":4,"code":"0xFFDC2020","input":"","output":4,"result":"refused"})");
        CHECK(lines[4] == R"({"connection":4,"code":"0xFFDC2020","input":"","output":4,"result":"short"})");
        CHECK(lines[5] == R"({"connection":4,"code":"0xFFDC20C0","input":"","output":7,"result":"partial"})");
        CHECK(lines[6] == R"({"connection":4,"code":"0xFFDC2048","input":"","output":4,"result":"silent"})");
    }

    checkPipePeers();
    checkProgram(argv[1]);

    std::printf(
        "tst_EmulatorWin: %s in %.1f s\n", failures == 0 ? "all checks passed" : "FAILED", secondsSince(started));
    return failures == 0 ? 0 : 1;
}
