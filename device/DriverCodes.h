#pragma once

#include <cstdint>

// Control codes of the kernel driver: device type 0xFFDC, METHOD_BUFFERED, FILE_ANY_ACCESS.
namespace DriverCode {
constexpr std::uint32_t make(std::uint32_t function)
{
    return (0xFFDCu << 16) | (function << 2);
}

constexpr std::uint32_t SetSampleRate = make(0x807); // 0xFFDC201C
constexpr std::uint32_t GetSampleRate = make(0x808); // 0xFFDC2020
constexpr std::uint32_t WriteMixerState = make(0x810); // 0xFFDC2040
constexpr std::uint32_t SetBufferSize = make(0x811); // 0xFFDC2044
constexpr std::uint32_t GetBufferSize = make(0x812); // 0xFFDC2048
constexpr std::uint32_t GetUsbLatency = make(0x813); // 0xFFDC204C
constexpr std::uint32_t SetUsbLatency = make(0x814); // 0xFFDC2050
constexpr std::uint32_t ReadMeters = make(0x81D); // 0xFFDC2074
constexpr std::uint32_t StopAudio = make(0x81E); // 0xFFDC2078
constexpr std::uint32_t StartAudio = make(0x820); // 0xFFDC2080
constexpr std::uint32_t GetDevicePid = make(0x821); // 0xFFDC2084
constexpr std::uint32_t EnableUsbSlowMode = make(0x824); // 0xFFDC2090
constexpr std::uint32_t DisableUsbSlowMode = make(0x825); // 0xFFDC2094
constexpr std::uint32_t SendVendorCommand = make(0x827); // 0xFFDC209C
constexpr std::uint32_t GetFirmwareVersion = make(0x828); // 0xFFDC20A0
constexpr std::uint32_t ReadUsbStatus = make(0x830); // 0xFFDC20C0
} // namespace DriverCode
