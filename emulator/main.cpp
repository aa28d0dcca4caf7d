// orvelin-emulator: the driver package on a machine without it. Commands arrive one per line on
// standard input; answers and the JSON request log go to standard output (the log to a file with
// --log FILE).
#include "emulator/AsioPeer.h"
#include "emulator/AudioServicePeer.h"
#include "emulator/CommandLoop.h"
#include "emulator/DeviceTransport.h"
#include "emulator/Emulator.h"
#include "emulator/HexBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

std::mutex outputMutex;

void say(const std::string &line)
{
    std::lock_guard<std::mutex> lock(outputMutex);
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

bool parseNumber(const std::string &text, long long &value)
{
    if (text.empty())
        return false;
    errno = 0;
    char *end = nullptr;
    value = std::strtoll(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

bool parseU32(const std::string &text, std::uint32_t &value)
{
    long long number;
    if (!parseNumber(text, number) || number < 0 || number > 0xFFFFFFFFLL)
        return false;
    value = static_cast<std::uint32_t>(number);
    return true;
}

void usage()
{
    std::fputs("usage: orvelin-emulator [--model N] [--firmware TEXT] [--log FILE] [--runtime-dir DIR] [--name NAME]\n"
               "commands on standard input:\n"
               "  plug MODEL | unplug | fail CODE refuse|silent|short|close|off [N] | errors N\n"
               "  level I VALUE | level I auto | firmware TEXT | state | quit\n"
               "  asio-status A B C D E | asio-raw HEX\n",
        stderr);
}

using Arguments = emu::CommandLoop::Arguments;

} // namespace

int main(int argc, char **argv)
{
    std::uint32_t model = 2;
    std::string firmware;
    std::string logPath;
    std::string runtimeDir;
    std::string name;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--model" && hasValue && parseU32(argv[i + 1], model)) {
            ++i;
        } else if (option == "--firmware" && hasValue) {
            firmware = argv[++i];
        } else if (option == "--log" && hasValue) {
            logPath = argv[++i];
        } else if (option == "--runtime-dir" && hasValue) {
            runtimeDir = argv[++i];
        } else if (option == "--name" && hasValue) {
            name = argv[++i];
        } else {
            usage();
            return option == "--help" ? 0 : 2;
        }
    }
    if (runtimeDir.empty())
        runtimeDir = emu::defaultDeviceLocation();

    std::FILE *logFile = nullptr;
    if (!logPath.empty()) {
        // Binary, so the lines end in a bare newline on Windows too.
        logFile = std::fopen(logPath.c_str(), "ab");
        if (!logFile) {
            std::fprintf(stderr, "cannot open log %s: %s\n", logPath.c_str(), std::strerror(errno));
            return 1;
        }
    }

    emu::Emulator emulator(runtimeDir, model);
    emulator.setRecording(false);
    if (!firmware.empty())
        emulator.setFirmware(firmware);
    if (!name.empty())
        emulator.setInterfaceName(name);
    const auto writeLog = [logFile](const std::string &line) {
        if (!logFile) {
            say(line);
            return;
        }
        std::lock_guard<std::mutex> lock(outputMutex);
        std::fputs(line.c_str(), logFile);
        std::fputc('\n', logFile);
        std::fflush(logFile);
    };
    emulator.setLogSink(writeLog);
    if (!emulator.start()) {
        std::fprintf(stderr, "cannot serve a device in %s\n", runtimeDir.c_str());
        return 1;
    }

    emu::CommandLoop commands(say);
    commands.add("plug", [&](const Arguments &a) -> std::string {
        std::uint32_t code;
        if (a.size() != 2 || !parseU32(a[1], code))
            return "error: plug MODEL";
        emulator.plug(code);
        return emulator.state().plugged ? "ok" : "error: cannot plug";
    });
    commands.add("unplug", [&](const Arguments &) -> std::string {
        emulator.unplug();
        return "ok";
    });
    commands.add("fail", [&](const Arguments &a) -> std::string {
        std::uint32_t code;
        emu::FaultMode mode;
        long long count = -1;
        if (a.size() < 3 || a.size() > 4 || !parseU32(a[1], code) || !emu::parseFaultMode(a[2], mode)
            || (a.size() == 4 && (!parseNumber(a[3], count) || count < 1 || count > 1000000000)))
            return "error: fail CODE refuse|silent|short|close|off [N]";
        emulator.fail(code, mode, static_cast<int>(count));
        return "ok";
    });
    commands.add("errors", [&](const Arguments &a) -> std::string {
        std::uint32_t count;
        if (a.size() != 2 || !parseU32(a[1], count))
            return "error: errors N";
        emulator.setUsbErrorCount(count);
        return "ok";
    });
    commands.add("level", [&](const Arguments &a) -> std::string {
        long long index, value;
        if (a.size() != 3 || !parseNumber(a[1], index) || index < 0 || index > 3)
            return "error: level I VALUE|auto";
        if (a[2] == "auto") {
            emulator.unpinLevel(static_cast<int>(index));
            return "ok";
        }
        if (!parseNumber(a[2], value) || value < -2147483648LL || value > 2147483647LL)
            return "error: level I VALUE|auto";
        emulator.setLevel(static_cast<int>(index), static_cast<std::int32_t>(value));
        return "ok";
    });
    commands.add("firmware", [&](const Arguments &a) -> std::string {
        if (a.size() != 2)
            return "error: firmware TEXT";
        emulator.setFirmware(a[1]);
        return "ok";
    });
    commands.add("state", [&](const Arguments &) { return emu::toJson(emulator.state()); });
    commands.add("quit", [&](const Arguments &) -> std::string {
        commands.quit();
        return "ok";
    });
    // The audio-service and ASIO peers register their commands here.
    // Their pipes live in the same runtime directory as the device.
    emu::CommandLoop::usePipeFolder(runtimeDir);
    emu::AudioServicePeer audioService;
    emu::AsioPeer asio;
    audioService.setLogSink(writeLog);
    asio.setLogSink(writeLog);
    if (!audioService.start())
        std::fprintf(stderr, "cannot serve the audio-service pipe\n");
    if (!asio.start())
        std::fprintf(stderr, "cannot serve the ASIO reset pipe\n");
    commands.add("asio-status", [&](const Arguments &a) -> std::string {
        std::uint32_t f[5];
        if (a.size() != 6)
            return "error: asio-status A B C D E";
        for (int i = 0; i < 5; ++i)
            if (!parseU32(a[i + 1], f[i]))
                return "error: asio-status A B C D E";
        return asio.sendStatus(f[0], f[1], f[2], f[3], f[4]) ? "ok" : "error: " + std::to_string(asio.lastSendError());
    });
    commands.add("asio-raw", [&](const Arguments &a) -> std::string {
        std::vector<std::uint8_t> bytes;
        std::string hex;
        for (std::size_t i = 1; i < a.size(); ++i)
            hex += a[i];
        if (!emu::parseHexBytes(hex, bytes))
            return "error: asio-raw HEX";
        return asio.sendRaw(bytes) ? "ok" : "error: " + std::to_string(asio.lastSendError());
    });

    if (!commands.watchTermination())
        return 1;
    say("ready " + emulator.interfacePath());
    // Without standard input (started in the background) the device keeps serving until a signal.
    commands.run();
    emulator.stop();
    if (logFile)
        std::fclose(logFile);
    return 0;
}
