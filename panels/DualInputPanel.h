#pragma once

#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"
#include "panels/ControlTable.h"

#include <QString>
#include <QWidget>

#include <array>
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
    // The widgets of one input (MIC1, MIC2).
    struct InputStrip
    {
        Knob *knob = nullptr;
        QLabel *level = nullptr;
        Button *instrument = nullptr; // KA2 SE only
        Button *pad = nullptr;
        Button *phantom = nullptr;
        Button *direct = nullptr;
    };

    InputStrip &input(int channelNumber) { return inputs[static_cast<std::size_t>(channelNumber - 1)]; }
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

    std::array<InputStrip, 2> inputs;
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
    QSettings *settings = nullptr; // child of the panel
    std::unique_ptr<OrvelinIoControl> channel;
};
