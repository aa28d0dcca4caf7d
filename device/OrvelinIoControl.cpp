#include "device/OrvelinIoControl.h"

#include "device/DriverCodes.h"
#include "device/GuardedCall.h"
#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"
#include "device/PlatformLogBridge.h"
#include "platform/DriverPort.h"

#include <QDebug>

#include <algorithm>
#include <cstring>
#include <iostream>

namespace {

constexpr std::uint32_t kFirmwareReplySize = 32;
constexpr int kFirmwareVersionLength = 10;

} // namespace

OrvelinIoControl::OrvelinIoControl()
    : handle(platform::kInvalidHandle)
    , statusReply {}
{
    device::installPlatformLogBridge();
}

OrvelinIoControl::~OrvelinIoControl()
{
    closeDevice();
}

bool OrvelinIoControl::openDevice()
{
    // A second open must not leak the handle this channel already holds.
    closeDevice();
    handle = platform::openDriverInterface();
    return isOpen();
}

void OrvelinIoControl::closeDevice()
{
    if (!isOpen())
        return;
    platform::closeDriverHandle(handle);
    handle = platform::kInvalidHandle;
}

bool OrvelinIoControl::sendValue(std::uint32_t code, std::uint32_t value)
{
    if (!isOpen())
        return false;
    return platform::driverRequest(handle, code, &value, sizeof(value), nullptr, 0);
}

bool OrvelinIoControl::readValue(std::uint32_t code, std::uint32_t &value)
{
    if (!isOpen())
        return false;
    // The caller's variable changes only on success.
    std::uint32_t reply = value;
    if (!platform::driverRequest(handle, code, nullptr, 0, &reply, sizeof(reply)))
        return false;
    value = reply;
    return true;
}

bool OrvelinIoControl::sendBare(std::uint32_t code)
{
    if (!isOpen())
        return false;
    return platform::driverRequest(handle, code, nullptr, 0, nullptr, 0);
}

bool OrvelinIoControl::setSampleRate(std::uint32_t rate)
{
    return sendValue(DriverCode::SetSampleRate, rate);
}

bool OrvelinIoControl::getSampleRate(std::uint32_t &rate)
{
    return readValue(DriverCode::GetSampleRate, rate);
}

bool OrvelinIoControl::writeMixerState(const MixerStateBlock &block)
{
    if (!isOpen())
        return false;
    return platform::driverRequest(
        handle, DriverCode::WriteMixerState, block.data(), MixerStateBlock::kSize, nullptr, 0);
}

bool OrvelinIoControl::setBufferSize(std::uint32_t samples)
{
    return sendValue(DriverCode::SetBufferSize, samples);
}

bool OrvelinIoControl::getBufferSize(std::uint32_t &samples)
{
    if (!readValue(DriverCode::GetBufferSize, samples))
        return false;
    qDebug() << "Buffer size:" << samples;
    return true;
}

bool OrvelinIoControl::getUsbLatency(std::uint32_t &frames)
{
    return readValue(DriverCode::GetUsbLatency, frames);
}

bool OrvelinIoControl::setUsbLatency(std::uint32_t frames)
{
    return sendValue(DriverCode::SetUsbLatency, frames);
}

bool OrvelinIoControl::readMeters(MeterBlock &block)
{
    if (!isOpen())
        return false;
    // A driver that fails part-way (ERROR_MORE_DATA) has still written into the buffer it was given:
    // only a complete read may reach the readouts.
    MeterBlock fresh;
    if (!platform::driverRequest(handle, DriverCode::ReadMeters, nullptr, 0, fresh.data(), MeterBlock::kSize))
        return false;
    block = fresh;
    return true;
}

bool OrvelinIoControl::stopAudio()
{
    return sendBare(DriverCode::StopAudio);
}

bool OrvelinIoControl::startAudio()
{
    return sendBare(DriverCode::StartAudio);
}

bool OrvelinIoControl::getDevicePid(std::uint32_t &pid)
{
    return readValue(DriverCode::GetDevicePid, pid);
}

bool OrvelinIoControl::enableUsbSlowMode()
{
    return sendBare(DriverCode::EnableUsbSlowMode);
}

bool OrvelinIoControl::disableUsbSlowMode()
{
    return sendBare(DriverCode::DisableUsbSlowMode);
}

bool OrvelinIoControl::sendVendorCommand(const VendorCommandPacket &packet)
{
    if (!isOpen())
        return false;
    return platform::driverRequest(
        handle, DriverCode::SendVendorCommand, packet.bytes.data(), VendorCommandPacket::kSize, nullptr, 0);
}

// The vendor commands report the driver's real result: false on a closed channel (nothing is
// sent) and false when the request failed.
bool OrvelinIoControl::setMicVolume(int channel, int value)
{
    return guardedCall("Failed to set mic volume: ",
        [&] { return sendVendorCommand(device::makeValuePacket(VendorCommand::MicVolume, channel, value)); });
}

bool OrvelinIoControl::setOutVolume(int output, int value)
{
    return guardedCall("Failed to set out volume: ",
        [&] { return sendVendorCommand(device::makeValuePacket(VendorCommand::OutVolume, output, value)); });
}

bool OrvelinIoControl::setMic20dB(int channel, bool on)
{
    return guardedCall("Failed to set mic 20dB: ",
        [&] { return sendVendorCommand(device::makeSwitchPacket(VendorCommand::Mic20dB, channel, on)); });
}

bool OrvelinIoControl::setMic48V(int channel, bool on)
{
    return guardedCall("Failed to set mic 48V: ",
        [&] { return sendVendorCommand(device::makeSwitchPacket(VendorCommand::Mic48V, channel, on)); });
}

bool OrvelinIoControl::setMicInstrument(int channel, bool on)
{
    return guardedCall("Failed to switch mic instruction: ",
        [&] { return sendVendorCommand(device::makeSwitchPacket(VendorCommand::MicInstrument, channel, on)); });
}

bool OrvelinIoControl::upgradeFirmware()
{
    return guardedCall("Failed to upgrade firmware: ",
        [&] { return sendVendorCommand(device::makeBarePacket(VendorCommand::UpgradeFirmware)); });
}

bool OrvelinIoControl::getFirmwareVersion(std::uint8_t *buffer, int maxLength)
{
    return guardedCall("Failed to get firmware version: ", [&] {
        const VendorCommandPacket request = device::makeBarePacket(VendorCommand::FirmwareVersion);
        std::uint8_t reply[kFirmwareReplySize] = {};
        const bool ok = isOpen()
            && platform::driverRequest(handle, DriverCode::GetFirmwareVersion, request.bytes.data(),
                VendorCommandPacket::kSize, reply, kFirmwareReplySize);
        if (!ok) {
            std::cerr << "Failed to read firmware version from device." << std::endl;
            return false;
        }
        // The version is the first ten bytes of the zero-filled reply, however short the reply was.
        const int length = buffer ? std::clamp(maxLength, 0, kFirmwareVersionLength) : 0;
        if (length > 0)
            std::memcpy(buffer, reply, static_cast<std::size_t>(length));
        return true;
    });
}

bool OrvelinIoControl::readUsbStatus(UsbStatus &status)
{
    if (!isOpen())
        return false;
    // A failed read may have written part of its reply; the last good reply stays whole.
    std::uint8_t fresh[sizeof(statusReply)];
    std::memcpy(fresh, statusReply, sizeof(fresh));
    const bool ok = platform::driverRequest(handle, DriverCode::ReadUsbStatus, nullptr, 0, fresh, 7);
    if (ok)
        std::memcpy(statusReply, fresh, sizeof(fresh));
    // The record is filled even after a failure, from what the last good reply left.
    status = device::decodeUsbStatus(statusReply);
    return ok;
}
