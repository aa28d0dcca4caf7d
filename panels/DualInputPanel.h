#pragma once

#include "device/MeterBlock.h"
#include "device/MixerStateBlock.h"

#include <QString>
#include <QVariant>
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
    void loadState();
    void save(const QString &key, const QVariant &value);

    void applyMicGain(int channelNumber, int value);
    void applyMicInstrument(int channelNumber, bool on);
    void applyMicPad(int channelNumber, bool on);
    void applyMicPhantom(int channelNumber, bool on);
    void applyMonitorMic1(bool on);
    void applyMonitorMic2(bool on);
    void applyMonitorMic(int column, bool on);
    void applyOtgToSp(int value);
    void applyOtgToHp(int value);
    void applySpeakerVolume(int value);
    void onSpeakerMute(bool on);
    void onSpeakerDim(bool on);
    void applyHeadphoneVolume(int value);
    void onHeadphoneMute(bool on);
    void onHeadphoneSource(bool on);
    void updateMeters();

    const Model model;

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
