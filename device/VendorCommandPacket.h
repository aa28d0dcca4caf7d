#pragma once

#include <array>
#include <cstdint>

// One 37-byte command for the device's firmware: byte 0 is 0x01, byte 1 the command.
struct VendorCommandPacket
{
    static constexpr std::size_t kSize = 37;
    std::array<std::uint8_t, kSize> bytes {};
};

namespace VendorCommand {
constexpr std::uint8_t OutVolume = 0x03;
constexpr std::uint8_t MicVolume = 0x07;
constexpr std::uint8_t Mic20dB = 0x5A;
constexpr std::uint8_t Mic48V = 0x5B;
constexpr std::uint8_t UpgradeFirmware = 0x60;
constexpr std::uint8_t MicInstrument = 0x64;
constexpr std::uint8_t FirmwareVersion = 0x65;
} // namespace VendorCommand

namespace device {

// Switch shape: byte 3 state (0/1), byte 4 channel.
VendorCommandPacket makeSwitchPacket(std::uint8_t command, int channel, bool on);
// Value shape: byte 3 = 0x02, byte 4 channel or output, bytes 5-6 value little-endian.
VendorCommandPacket makeValuePacket(std::uint8_t command, int channel, int value);
// Bare shape: only bytes 0 and 1.
VendorCommandPacket makeBarePacket(std::uint8_t command);

} // namespace device
