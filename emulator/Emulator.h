#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// The stand-in for the driver package: a virtual device served on its own thread, over the
// stand-in protocol on Linux and through the relay driver on Windows. Tests run it in-process (on
// Linux on a temporary runtime directory); the orvelin-emulator program wraps it with a command
// line on standard input.
namespace emu {

enum class FaultMode {
    Off,
    Refuse, // reply ok = 0
    Silent, // no reply at all
    Short, // a 3-byte reply
    Close, // drop the connection
    Partial // refused, yet the reply carries data, as a driver failing with ERROR_MORE_DATA fills the buffer
};

// One request as the device saw it (also written as one JSON line to the log).
struct RequestRecord
{
    int connection = 0;
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t outputLength = 0;
    bool ok = false;
    std::string result; // "ok", "refused", "silent", "short", "closed" or "partial"
};

struct DeviceState
{
    bool plugged = false;
    std::uint32_t model = 2;
    std::string firmware; // 10 characters
    std::uint32_t sampleRate = 48000;
    std::uint32_t bufferSize = 128;
    std::uint32_t usbLatency = 16;
    bool slowMode = false;
    bool audioRunning = true;
    std::uint32_t usbErrorCount = 0;
    std::vector<std::uint8_t> mixerBlock; // the last block received (empty before the first)
    int micGain[2] = { 0, 0 }; // raw values of the last setMicVolume per channel
    bool pad[2] = { false, false };
    bool phantom[2] = { false, false };
    bool instrument[2] = { false, false };
    int outVolume[8] = { 0, 0, 0, 0, 0, 0, 0, 0 }; // per output 1..8 (index output - 1)
    int firmwareUpgrades = 0;
    std::int32_t levels[4] = { 0, 0, 0, 0 }; // the levels the next meter read returns
};

class Emulator
{
public:
    // runtimeDir is the R of the stand-in protocol on Linux; on Windows the folder holding the
    // relay driver (orvelin_relay.inf and .sys). model is plugged at start().
    explicit Emulator(std::string runtimeDir, std::uint32_t model = 2);
    ~Emulator(); // stop()
    Emulator(const Emulator &) = delete;
    Emulator &operator=(const Emulator &) = delete;

    bool start(); // creates the folders, plugs the model, starts serving
    void stop(); // unplugs and joins the serving thread

    void plug(std::uint32_t model); // (re)creates the device socket with this model code
    void unplug(); // removes the socket and drops every connection
    void fail(std::uint32_t code, FaultMode mode, int count = -1); // count -1: until Off
    void setUsbErrorCount(std::uint32_t count);
    void setLevel(int index, std::int32_t value); // pins a level; the others keep moving
    void unpinLevel(int index); // the level follows the device again
    void setFirmware(const std::string &tenCharacters);
    void setBufferSize(std::uint32_t samples);
    void setUsbLatency(std::uint32_t frames);
    void setSampleRate(std::uint32_t rate);

    DeviceState state() const;
    std::vector<RequestRecord> requests() const;
    void clearRequests();
    // Receives every JSON line of the request log (default: none).
    void setLogSink(std::function<void(const std::string &)> sink);
    // Whether requests() keeps records (default on); a long-running program turns it off.
    void setRecording(bool on);
    const std::string &runtimeDir() const;
    // The socket's file name inside the interface folder (default "device0"); interfaces are
    // listed in byte order of these names. Takes effect at the next plug().
    void setInterfaceName(const std::string &name);
    std::string interfacePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Parses the MODE word of "fail CODE MODE [N]"; false for an unknown word.
bool parseFaultMode(const std::string &word, FaultMode &mode);

// One request as its JSON log line:
// {"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"ok"}
std::string toJson(const RequestRecord &record);
// The state as one JSON object (mixer block as its length and a hash, not its bytes).
std::string toJson(const DeviceState &state);

} // namespace emu
