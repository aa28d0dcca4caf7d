#pragma once

#include "device/UsbStatus.h"
#include "device/VendorCommandPacket.h"
#include "platform/PortHandle.h"

#include <cstdint>

class MixerStateBlock;
class MeterBlock;

// The one channel to the kernel driver. Every owner (main window, each panel, the settings
// dialog, each tray action) keeps its own; channels are never shared.
class OrvelinIoControl
{
public:
    OrvelinIoControl();
    ~OrvelinIoControl();
    OrvelinIoControl(const OrvelinIoControl &) = delete;
    OrvelinIoControl &operator=(const OrvelinIoControl &) = delete;

    bool openDevice();
    void closeDevice();
    bool isOpen() const { return handle != platform::kInvalidHandle; }

    bool setSampleRate(std::uint32_t rate);
    bool getSampleRate(std::uint32_t &rate);
    bool writeMixerState(const MixerStateBlock &block);
    bool setBufferSize(std::uint32_t samples);
    bool getBufferSize(std::uint32_t &samples);
    bool getUsbLatency(std::uint32_t &frames);
    bool setUsbLatency(std::uint32_t frames);
    bool readMeters(MeterBlock &block);
    bool stopAudio();
    bool startAudio();
    bool getDevicePid(std::uint32_t &pid);
    bool enableUsbSlowMode();
    bool disableUsbSlowMode();

    bool sendVendorCommand(const VendorCommandPacket &packet);
    bool setMicVolume(int channel, int value);
    bool setOutVolume(int output, int value);
    bool setMic20dB(int channel, bool on);
    bool setMic48V(int channel, bool on);
    bool setMicInstrument(int channel, bool on);
    bool upgradeFirmware();

    bool getFirmwareVersion(std::uint8_t *buffer, int maxLength);
    bool readUsbStatus(UsbStatus &status);

private:
    bool sendValue(std::uint32_t code, std::uint32_t value);
    bool readValue(std::uint32_t code, std::uint32_t &value);
    bool sendBare(std::uint32_t code);

    platform::PortHandle handle;
    std::uint8_t statusReply[7];
};
