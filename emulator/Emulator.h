#pragma once

#include "emulator/EmulatorCore.h"

#include <cstdint>
#include <memory>
#include <string>

// The stand-in for the driver package: a virtual device served on its own thread, over the
// stand-in protocol on Linux and through the relay driver on Windows. Tests run it in-process (on
// Linux on a temporary runtime directory); the orvelin-emulator program wraps it with a command
// line on standard input.
namespace emu {

class Emulator : private EmulatorCore
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

    // The device's settings, faults and request log, as the core keeps them.
    using EmulatorCore::clearRequests;
    using EmulatorCore::fail;
    using EmulatorCore::requests;
    using EmulatorCore::setBufferSize;
    using EmulatorCore::setFirmware;
    using EmulatorCore::setLevel;
    using EmulatorCore::setLogSink;
    using EmulatorCore::setRecording;
    using EmulatorCore::setSampleRate;
    using EmulatorCore::setUsbErrorCount;
    using EmulatorCore::setUsbLatency;
    using EmulatorCore::state;
    using EmulatorCore::unpinLevel;

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
