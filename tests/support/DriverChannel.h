#pragma once

// A handle on the driver's interface as the panel opens it, for the tests that talk to the
// emulated device directly; plain C++, so the Wine tests use it too.
#include "platform/DriverPort.h"
#include "tests/support/ControlCodes.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

class DriverChannel
{
public:
    DriverChannel()
        : handle(platform::openDriverInterface())
    { }
    ~DriverChannel() { platform::closeDriverHandle(handle); }
    DriverChannel(const DriverChannel &) = delete;
    DriverChannel &operator=(const DriverChannel &) = delete;

    // One request; the reply buffer starts as 0xEE bytes, so what the device left alone shows.
    bool request(std::uint32_t code, const Bytes &in, std::uint32_t outLength, Bytes *out = nullptr,
        std::uint32_t *returned = nullptr)
    {
        Bytes reply(outLength, 0xEE);
        const bool ok = platform::driverRequest(
            handle, code, in.data(), static_cast<std::uint32_t>(in.size()), reply.data(), outLength, returned);
        if (out)
            *out = reply;
        return ok;
    }

    // A 37-byte vendor packet that starts with head.
    static Bytes vendor(std::initializer_list<int> head)
    {
        Bytes packet(37, 0);
        std::size_t i = 0;
        for (int b : head)
            packet[i++] = static_cast<std::uint8_t>(b);
        return packet;
    }

    // The level of one meter, or -1 when the meters cannot be read.
    std::int32_t level(int index)
    {
        Bytes meters;
        if (!request(Code::ReadMeters, {}, 768, &meters))
            return -1;
        std::int32_t v;
        std::memcpy(&v, meters.data() + 4 * index, 4);
        return v;
    }

    platform::PortHandle handle;
};

} // namespace testsupport
