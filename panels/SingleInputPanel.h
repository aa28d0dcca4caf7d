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

// The one-input panel shared by the KA1 and the KV: an input with gain and direct monitoring, a
// headphone with volume, mute and dim. The KA1 adds instrument, pad and phantom switches and the
// phone input's level into the headphone. Texts are translated in the concrete class's context
// ("ka1" or "kv") where a translation has one there, else in this class's, where they are marked.
class SingleInputPanel : public QWidget
{
    Q_OBJECT

public:
    ~SingleInputPanel() override;

    // The panel's controls; empty when the device could not be opened.
    ControlTable &controls() { return table; }

protected:
    struct Model
    {
        const char *context; // class name: translation context, "/NAME.ini"
        MixerStateBlock::Model pattern;
        bool fullInput; // instrument, pad and phantom switches and the phone-input knob
        const char *inputTitle; // "INPUT" or "MIC", marked for translation in this class's context
        const char *captionStyle; // style of the "Gain" and "Volume" captions
        bool headphoneTitleTranslated;
        bool logsHeadphoneSuccess; // the KV logs only a failed headphone volume
    };
    explicit SingleInputPanel(const Model &model);

private:
    QString text(const char *source) const;
    QString headphoneTitle() const;
    void buildWidgets();
    void describeControls();

    // Each handler returns whether the device took its request.
    bool applyMicGain(int value);
    bool applyMicInstrument(bool on);
    bool applyMicPad(bool on);
    bool applyMicPhantom(bool on);
    bool applyMonitorMic(bool on);
    bool applyHeadphoneVolume(int value);
    bool onHeadphoneMute(bool on);
    bool onHeadphoneDim(bool on);
    bool applyOtgToHp(int value);
    void updateMeters();

    const Model model;
    ControlTable table; // no child, so a panel without a device has none

    Knob *micKnob = nullptr;
    Button *micInstrumentButton = nullptr; // KA1 only
    Button *micPadButton = nullptr; // KA1 only
    Button *micPhantomButton = nullptr; // KA1 only
    QLabel *micLevelLabel = nullptr;
    Knob *headphoneKnob = nullptr;
    Button *headphoneMuteButton = nullptr;
    Button *headphoneDimButton = nullptr;
    Knob *otgToHpKnob = nullptr; // KA1 only
    QLabel *otgLevelLabel = nullptr; // KA1 only
    Button *micDirectButton = nullptr;
    bool headphoneMuted = false;
    bool headphoneDimmed = false;
    MixerStateBlock mixerBlock;
    MeterBlock meterBlock;
    QSettings *settings = nullptr; // child of the panel
    std::unique_ptr<OrvelinIoControl> channel;
};
