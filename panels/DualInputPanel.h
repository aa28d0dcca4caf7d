#pragma once

#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"
#include "panels/ControlTable.h"

#include <QString>
#include <QWidget>

#include <memory>

class Button;
class Knob;
class OrvelinIoControl;
class QLabel;
class QSettings;
class QVBoxLayout;

// The two-input panel shared by the KA2 and the KA2 SE; the SE adds an instrument switch on
// each input. Texts are translated in the concrete class's context ("ka2" or "ka2se") where a
// translation has one there, else in this class's, where they are marked.
class DualInputPanel : public QWidget
{
    Q_OBJECT

public:
    ~DualInputPanel() override;

    // The panel's controls; empty when the device could not be opened.
    ControlTable &controls() { return table; }

protected:
    struct Model
    {
        const char *context; // class name: translation context, log texts, "/NAME.ini"
        bool instrumentSwitches;
    };
    explicit DualInputPanel(const Model &model);

private:
    QString text(const char *source) const;
    void buildWidgets();
    QVBoxLayout *buildInputColumn(int channelNumber);
    QVBoxLayout *buildOutputColumn(bool speaker);
    void describeControls();
    void save(const QWidget *control);

    // Each handler returns whether the device took its request.
    bool applyMicGain(int channelNumber, int value);
    bool applyMicInstrument(int channelNumber, bool on);
    bool applyMicPad(int channelNumber, bool on);
    bool applyMicPhantom(int channelNumber, bool on);
    bool applyMonitorMic(int channelNumber, bool on);
    bool applyOtgToSp(int value);
    bool applyOtgToHp(int value);
    // Sets the output pair starting at vector entry left to level dB, sends the block and logs.
    bool writeOutputGain(int left, int level, const char *setLine, const char *failureLine);
    bool applySpeakerVolume(int value);
    bool onSpeakerMute(bool on);
    bool onSpeakerDim(bool on);
    bool applyHeadphoneVolume(int value);
    bool onHeadphoneMute(bool on);
    bool onHeadphoneSource(bool on);
    void updateMeters();

    const Model model;
    ControlTable table; // no child, so a panel without a device has none

    Knob *mic1Knob = nullptr;
    Button *mic1PadButton = nullptr;
    Button *mic1PhantomButton = nullptr;
    Button *mic1DirectButton = nullptr;
    QLabel *mic1LevelLabel = nullptr;
    Knob *mic2Knob = nullptr;
    Button *mic2PadButton = nullptr;
    Button *mic2PhantomButton = nullptr;
    Button *mic2DirectButton = nullptr;
    QLabel *mic2LevelLabel = nullptr;
    Knob *headphoneKnob = nullptr;
    Button *headphoneMuteButton = nullptr;
    Button *headphoneSourceButton = nullptr;
    Knob *speakerKnob = nullptr;
    Button *speakerMuteButton = nullptr;
    Button *speakerDimButton = nullptr;
    bool speakerMuted = false;
    bool speakerDimmed = false;
    bool headphoneMuted = false;
    MixerStateBlock mixerBlock;
    MeterBlock meterBlock;
    Knob *otgToHpKnob = nullptr;
    QLabel *otgLevelLabelHp = nullptr;
    Knob *otgToSpKnob = nullptr;
    QLabel *otgLevelLabelSp = nullptr;
    Button *mic1InstrumentButton = nullptr; // KA2 SE only
    Button *mic2InstrumentButton = nullptr; // KA2 SE only
    QSettings *settings = nullptr; // child of the panel
    std::unique_ptr<OrvelinIoControl> channel;
};
