#pragma once

#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"

#include <QWidget>

#include <memory>

class Button;
class Knob;
class OrvelinIoControl;
class QLabel;
class QSettings;

// Panel of the KV: one input with gain and direct monitoring, a headphone with volume, mute
// and dim. The phone input is fixed at unity by the initial mixer cells.
class kv : public QWidget
{
    Q_OBJECT

public:
    kv();
    ~kv() override;

private:
    void buildWidgets();
    void loadState();

    void applyMicGain(int value);
    void applyMonitorMic(bool on);
    void applyHeadphoneVolume(int value);
    void onHeadphoneMute(bool on);
    void onHeadphoneDim(bool on);
    void updateMeters();

    Knob *micKnob = nullptr;
    QLabel *micLevelLabel = nullptr;
    Knob *headphoneKnob = nullptr;
    Button *headphoneMuteButton = nullptr;
    Button *headphoneDimButton = nullptr;
    Button *micDirectButton = nullptr;
    bool headphoneMuted = false;
    bool headphoneDimmed = false;
    MixerStateBlock mixerBlock;
    MeterBlock meterBlock;
    QSettings *settings = nullptr; // child of the panel
    std::unique_ptr<OrvelinIoControl> channel;
};
