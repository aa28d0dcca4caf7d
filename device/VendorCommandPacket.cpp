#include "device/VendorCommandPacket.h"

namespace {
VendorCommandPacket header(std::uint8_t command)
{
    VendorCommandPacket packet;
    packet.bytes[0] = 0x01;
    packet.bytes[1] = command;
    return packet;
}
} // namespace

namespace device {

// Arguments are cut to the packet's fields: 8 bits for channel and state, 16 bits for a value.
VendorCommandPacket makeSwitchPacket(std::uint8_t command, int channel, bool on)
{
    VendorCommandPacket packet = header(command);
    packet.bytes[3] = on ? 0x01 : 0x00;
    packet.bytes[4] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(channel));
    return packet;
}

VendorCommandPacket makeValuePacket(std::uint8_t command, int channel, int value)
{
    VendorCommandPacket packet = header(command);
    const auto raw = static_cast<std::uint32_t>(value);
    packet.bytes[3] = 0x02;
    packet.bytes[4] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(channel));
    packet.bytes[5] = static_cast<std::uint8_t>(raw);
    packet.bytes[6] = static_cast<std::uint8_t>(raw >> 8);
    return packet;
}

VendorCommandPacket makeBarePacket(std::uint8_t command)
{
    return header(command);
}

} // namespace device
