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

// Panel of the KA1: one input with gain, instrument, pad, phantom and direct switches; a
// headphone with volume, mute and dim; the phone input's level into the headphone.
class ka1 : public QWidget
{
    Q_OBJECT

public:
    ka1();
    ~ka1() override;

private:
    void buildWidgets();
    void loadState();

    void applyMicGain(int value);
    void applyMicInstrument(bool on);
    void applyMicPad(bool on);
    void applyMicPhantom(bool on);
    void applyMonitorMic(bool on);
    void applyHeadphoneVolume(int value);
    void onHeadphoneMute(bool on);
    void onHeadphoneDim(bool on);
    void applyOtgToHp(int value);
    void updateMeters();

    Knob *micKnob = nullptr;
    Button *micInstrumentButton = nullptr;
    Button *micPadButton = nullptr;
    Button *micPhantomButton = nullptr;
    QLabel *micLevelLabel = nullptr;
    Knob *headphoneKnob = nullptr;
    Button *headphoneMuteButton = nullptr;
    Button *headphoneDimButton = nullptr;
    Knob *otgToHpKnob = nullptr;
    QLabel *otgLevelLabel = nullptr;
    Button *micDirectButton = nullptr;
    bool headphoneMuted = false;
    bool headphoneDimmed = false;
    MixerStateBlock mixerBlock;
    MeterBlock meterBlock;
    QSettings *settings = nullptr; // child of the panel
    std::unique_ptr<OrvelinIoControl> channel;
};
