#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the emulator's facade, its core, the device model and the transports all speak of: the
// faults, the record of one request and the device's state.
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

// Parses the MODE word of "fail CODE MODE [N]"; false for an unknown word.
bool parseFaultMode(const std::string &word, FaultMode &mode);

// One request as its JSON log line:
// {"connection":1,"code":"0xFFDC2084","input":"","output":4,"result":"ok"}
std::string toJson(const RequestRecord &record);
// The state as one JSON object (mixer block as its length and a hash, not its bytes).
std::string toJson(const DeviceState &state);

} // namespace emu
