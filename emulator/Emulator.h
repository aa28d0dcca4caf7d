#pragma once

#include "emulator/EmulatorTypes.h"

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

} // namespace emu
