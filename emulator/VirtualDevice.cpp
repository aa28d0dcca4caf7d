#include "emulator/VirtualDevice.h"

#include "platform/LittleEndian.h"

#include <algorithm>
#include <cmath>

namespace emu {

namespace {

// The codes are written out here, apart from the program's own table, so that a wrong code in
// the program is refused instead of silently agreed with.
enum : std::uint32_t {
    SetSampleRate = 0xFFDC201C,
    GetSampleRate = 0xFFDC2020,
    WriteMixerState = 0xFFDC2040,
    SetBufferSize = 0xFFDC2044,
    GetBufferSize = 0xFFDC2048,
    GetUsbLatency = 0xFFDC204C,
    SetUsbLatency = 0xFFDC2050,
    ReadMeters = 0xFFDC2074,
    StopAudio = 0xFFDC2078,
    StartAudio = 0xFFDC2080,
    GetDevicePid = 0xFFDC2084,
    EnableUsbSlowMode = 0xFFDC2090,
    DisableUsbSlowMode = 0xFFDC2094,
    SendVendorCommand = 0xFFDC209C,
    GetFirmwareVersion = 0xFFDC20A0,
    ReadUsbStatus = 0xFFDC20C0,
};

constexpr std::size_t kMixerSize = 66304;
constexpr std::size_t kMeterSize = 768;
constexpr std::size_t kPacketSize = 37;

double mixerCell(const std::vector<std::uint8_t> &block, int matrix, int row, int column)
{
    const std::size_t at = static_cast<std::size_t>(matrix) * 8192 + static_cast<std::size_t>(row) * 256
        + static_cast<std::size_t>(column) * 8;
    if (block.size() < at + 8)
        return 0.0;
    const double value = platform::readLeDouble(block.data() + at);
    return std::isfinite(value) ? std::fabs(value) : 0.0;
}

bool singleInput(std::uint32_t model)
{
    return model == 1 || model == 15;
}

} // namespace

bool expectedSizes(std::uint32_t code, std::uint32_t &inputLength, std::uint32_t &outputLength)
{
    switch (code) {
    case SetSampleRate:
    case SetBufferSize:
    case SetUsbLatency:
        inputLength = 4, outputLength = 0;
        return true;
    case GetSampleRate:
    case GetBufferSize:
    case GetUsbLatency:
    case GetDevicePid:
        inputLength = 0, outputLength = 4;
        return true;
    case WriteMixerState:
        inputLength = kMixerSize, outputLength = 0;
        return true;
    case ReadMeters:
        inputLength = 0, outputLength = kMeterSize;
        return true;
    case StopAudio:
    case StartAudio:
    case EnableUsbSlowMode:
    case DisableUsbSlowMode:
        inputLength = 0, outputLength = 0;
        return true;
    case SendVendorCommand:
        inputLength = kPacketSize, outputLength = 0;
        return true;
    case GetFirmwareVersion:
        inputLength = kPacketSize, outputLength = 32;
        return true;
    case ReadUsbStatus:
        inputLength = 0, outputLength = 7;
        return true;
    default:
        return false;
    }
}

VirtualDevice::VirtualDevice(std::uint32_t model)
{
    current.model = model;
    current.firmware = "V1.2.3.456";
}

void VirtualDevice::replug(std::uint32_t model)
{
    DeviceState fresh;
    fresh.model = model;
    fresh.firmware = current.firmware;
    fresh.sampleRate = current.sampleRate;
    fresh.bufferSize = current.bufferSize;
    fresh.usbLatency = current.usbLatency;
    fresh.slowMode = current.slowMode;
    fresh.audioRunning = current.audioRunning;
    fresh.usbErrorCount = current.usbErrorCount;
    fresh.firmwareUpgrades = current.firmwareUpgrades;
    fresh.plugged = current.plugged;
    current = fresh;
}

void VirtualDevice::pinLevel(int index, std::int32_t value)
{
    if (index >= 0 && index < 4)
        pinned[static_cast<std::size_t>(index)] = value;
}

void VirtualDevice::unpinLevel(int index)
{
    if (index >= 0 && index < 4)
        pinned[static_cast<std::size_t>(index)].reset();
}

Reply VirtualDevice::handle(
    std::uint32_t code, const std::uint8_t *input, std::size_t inputLength, std::uint32_t outputLength)
{
    Reply reply;
    std::uint32_t wantIn = 0, wantOut = 0;
    if (!expectedSizes(code, wantIn, wantOut) || inputLength != wantIn || outputLength != wantOut)
        return reply;
    reply.data.assign(outputLength, 0);

    switch (code) {
    case SetSampleRate:
        current.sampleRate = platform::readLe32(input);
        break;
    case SetBufferSize:
        current.bufferSize = platform::readLe32(input);
        break;
    case SetUsbLatency:
        current.usbLatency = platform::readLe32(input);
        break;
    case GetSampleRate:
        platform::writeLe32(reply.data.data(), current.sampleRate);
        break;
    case GetBufferSize:
        platform::writeLe32(reply.data.data(), current.bufferSize);
        break;
    case GetUsbLatency:
        platform::writeLe32(reply.data.data(), current.usbLatency);
        break;
    case GetDevicePid:
        platform::writeLe32(reply.data.data(), current.model);
        break;
    case WriteMixerState:
        current.mixerBlock.assign(input, input + inputLength);
        break;
    case ReadMeters: {
        const auto now = levels(true);
        for (std::size_t i = 0; i < now.size(); ++i)
            platform::writeLe32(reply.data.data() + 4 * i, static_cast<std::uint32_t>(now[i]));
        break;
    }
    case StopAudio:
        current.audioRunning = false;
        break;
    case StartAudio:
        current.audioRunning = true;
        break;
    case EnableUsbSlowMode:
        current.slowMode = true;
        break;
    case DisableUsbSlowMode:
        current.slowMode = false;
        break;
    case SendVendorCommand:
        if (!applyVendorCommand(input))
            return Reply {};
        break;
    case GetFirmwareVersion:
        if (input[0] != 0x01 || input[1] != 0x65)
            return Reply {};
        std::copy_n(
            current.firmware.begin(), std::min<std::size_t>(current.firmware.size(), outputLength), reply.data.begin());
        break;
    case ReadUsbStatus:
        // Word and byte carry a fixed "running" pattern; only the count means anything.
        reply.data[0] = 0x01;
        reply.data[2] = current.audioRunning ? 0x01 : 0x00;
        platform::writeLe32(reply.data.data() + 3, current.usbErrorCount);
        break;
    }
    reply.ok = true;
    return reply;
}

bool VirtualDevice::applyVendorCommand(const std::uint8_t *packet)
{
    if (packet[0] != 0x01)
        return false;
    const int channel = packet[4];
    const int value = packet[5] | (packet[6] << 8);
    const bool on = packet[3] != 0;
    // Channels outside the device are ignored by its firmware, as on the real bus.
    const bool mic = channel >= 1 && channel <= 2;
    const auto index = static_cast<std::size_t>(channel - 1);
    switch (packet[1]) {
    case 0x03:
        if (channel >= 1 && channel <= 8)
            current.outVolume[index] = value;
        return true;
    case 0x07:
        if (mic)
            current.micGain[index] = value;
        return true;
    case 0x5A:
        if (mic)
            current.pad[index] = on;
        return true;
    case 0x5B:
        if (mic)
            current.phantom[index] = on;
        return true;
    case 0x64:
        if (mic)
            current.instrument[index] = on;
        return true;
    case 0x60:
        ++current.firmwareUpgrades;
        return true;
    case 0x65:
        return true;
    default:
        return false;
    }
}

// How strongly a column of the monitor matrix reaches any output.
double VirtualDevice::monitorFactor(int column) const
{
    double factor = 0.0;
    for (int row : { 0, 1, 4, 5 })
        factor = std::max(factor, mixerCell(current.mixerBlock, 2, row, column));
    return factor;
}

double VirtualDevice::phoneFactor() const
{
    if (current.mixerBlock.empty())
        return 1.0;
    return std::max(monitorFactor(2), monitorFactor(3));
}

std::int32_t VirtualDevice::levelFromDb(double db) const
{
    const double scaled = 2147483647.0 * std::pow(10.0, std::min(db, 0.0) / 20.0);
    return static_cast<std::int32_t>(std::clamp(scaled, 0.0, 2147483647.0));
}

std::array<std::int32_t, 4> VirtualDevice::levels(bool withNoise)
{
    std::uniform_real_distribution<double> wobble(-1.0, 1.0);
    auto jitter = [&] { return withNoise ? wobble(noise) : 0.0; };

    std::array<std::int32_t, 4> out {};
    const int inputs = singleInput(current.model) ? 1 : 2;
    for (int i = 0; i < inputs; ++i) {
        // A quiet source behind the preamp: the device receives twice the knob value as gain.
        double db = -50.0 + current.micGain[i] / 2.0;
        if (current.pad[i])
            db -= 20.0;
        // Direct monitoring feeds some of the monitor mix back into the input, so it reads hotter.
        if (monitorFactor(i) > 0.0)
            db += 6.0;
        out[static_cast<std::size_t>(i)] = levelFromDb(db + jitter());
    }
    const double phone = phoneFactor();
    if (phone > 0.0 && current.audioRunning) {
        const double db = -24.0 + 20.0 * std::log10(phone);
        out[2] = levelFromDb(db + jitter());
        out[3] = levelFromDb(db + jitter());
    }
    if (!current.audioRunning)
        out[0] = out[1] = 0;
    for (std::size_t i = 0; i < out.size(); ++i)
        if (pinned[i])
            out[i] = *pinned[i];
    current.levels[0] = out[0];
    current.levels[1] = out[1];
    current.levels[2] = out[2];
    current.levels[3] = out[3];
    return out;
}

} // namespace emu
