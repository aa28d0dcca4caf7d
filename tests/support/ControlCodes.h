#pragma once

#include <cstdint>

// The driver's control codes, by name, for the tests. The numbers are written out here, once,
// rather than taken from device/DriverCodes.h or the emulator: the tests check those against the
// driver's protocol, so they must not share their constants. The emulator's request log names a
// code in hex ("0xFFDC2084"); the tests compare those lines as text.
namespace Code {
constexpr std::uint32_t SetSampleRate = 0xFFDC201C;
constexpr std::uint32_t GetSampleRate = 0xFFDC2020;
constexpr std::uint32_t WriteMixerState = 0xFFDC2040;
constexpr std::uint32_t SetBufferSize = 0xFFDC2044;
constexpr std::uint32_t GetBufferSize = 0xFFDC2048;
constexpr std::uint32_t GetUsbLatency = 0xFFDC204C;
constexpr std::uint32_t SetUsbLatency = 0xFFDC2050;
constexpr std::uint32_t ReadMeters = 0xFFDC2074;
constexpr std::uint32_t StopAudio = 0xFFDC2078;
constexpr std::uint32_t StartAudio = 0xFFDC2080;
constexpr std::uint32_t GetDevicePid = 0xFFDC2084;
constexpr std::uint32_t EnableUsbSlowMode = 0xFFDC2090;
constexpr std::uint32_t DisableUsbSlowMode = 0xFFDC2094;
constexpr std::uint32_t SendVendorCommand = 0xFFDC209C;
constexpr std::uint32_t GetFirmwareVersion = 0xFFDC20A0;
constexpr std::uint32_t ReadUsbStatus = 0xFFDC20C0;
// Of the driver's device type, but no request the driver knows.
constexpr std::uint32_t Unknown = 0xFFDC2000;

// Every code the driver serves, in order.
constexpr std::uint32_t all[] = { SetSampleRate, GetSampleRate, WriteMixerState, SetBufferSize, GetBufferSize,
    GetUsbLatency, SetUsbLatency, ReadMeters, StopAudio, StartAudio, GetDevicePid, EnableUsbSlowMode,
    DisableUsbSlowMode, SendVendorCommand, GetFirmwareVersion, ReadUsbStatus };
} // namespace Code
