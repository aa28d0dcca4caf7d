#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace emu {

class EmulatorCore;

// Carries the panel's requests to the emulated device and its answers back, on its own thread.
// Linux: a SOCK_SEQPACKET socket in the stand-in protocol's runtime folder. Windows: the relay
// driver on a root-enumerated device, whose requests the emulator takes with an inverted call.
class DeviceTransport
{
public:
    // location: the runtime folder R on Linux; on Windows the folder holding orvelin_relay.inf
    // and orvelin_relay.sys.
    DeviceTransport(std::string location, EmulatorCore &core);
    ~DeviceTransport(); // stop()
    DeviceTransport(const DeviceTransport &) = delete;
    DeviceTransport &operator=(const DeviceTransport &) = delete;

    bool start(std::uint32_t model); // prepares, plugs the model and starts serving
    void stop(); // unplugs and ends the serving thread
    void plug(std::uint32_t model); // (re)creates the interface; the core learns of the new device
    void unplug(); // the interface goes, with every connection to it

    const std::string &location() const;
    void setInterfaceName(const std::string &name); // takes effect at the next plug
    std::string interfacePath() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// Where the emulator serves when no location is given.
std::string defaultDeviceLocation();

} // namespace emu
