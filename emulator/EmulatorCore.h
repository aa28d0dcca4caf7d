#pragma once

#include "emulator/EmulatorTypes.h"
#include "emulator/VirtualDevice.h"

#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace emu {

// What the transport does with one request: with mode Off or Refuse it sends reply as it is
// (ok or not); the other modes are the faults the transport plays on its own channel.
struct Verdict
{
    FaultMode mode = FaultMode::Off;
    Reply reply;
};

// The emulated device as both transports see it: the device model, the faults asked for, the
// request records and the JSON request log. The transports (sockets on Linux, the relay driver on
// Windows) only carry requests to answer() and play its verdict. Thread-safe.
class EmulatorCore
{
public:
    explicit EmulatorCore(std::uint32_t model);

    // One request as it arrived: connection, code and output length are known whenever the
    // header was; a request the driver cannot parse (wellFormed false) is refused like any other
    // bad one. Records and logs the request before its verdict is played.
    Verdict answer(RequestRecord record, bool wellFormed);
    // A number for a new connection of the panel (counting from 1 over the emulator's life).
    int newConnection();

    void plugged(std::uint32_t model); // a new device with this model is on the bus
    void unplugged();

    void fail(std::uint32_t code, FaultMode mode, int count = -1); // count -1: until Off
    void setUsbErrorCount(std::uint32_t count);
    void setLevel(int index, std::int32_t value); // pins a level; the others keep moving
    void unpinLevel(int index); // the level follows the device again
    void setFirmware(const std::string &text);
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

private:
    struct Fault
    {
        FaultMode mode = FaultMode::Off;
        int remaining = -1;
    };

    mutable std::mutex mutex;
    mutable VirtualDevice device; // state() moves the meters
    std::vector<RequestRecord> records;
    bool recording = true;
    std::map<std::uint32_t, Fault> faults;
    std::function<void(const std::string &)> sink;
    int nextConnection = 0;
};

} // namespace emu
