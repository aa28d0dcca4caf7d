#include "panels/SingleInputPanel.h"

#include "controls/Button.h"
#include "controls/Knob.h"
#include "device/Conversions.h"
#include "device/OrvelinIoControl.h"
#include "panels/PanelKit.h"

#include <QCoreApplication>
#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

using namespace panelkit;

namespace {
// Headphone left and right on these models.
constexpr int kLeft = 0;
constexpr int kRight = 1;
} // namespace

SingleInputPanel::SingleInputPanel(const Model &model)
    : QWidget(nullptr)
    , model(model)
    , channel(std::make_unique<OrvelinIoControl>())
{
    settings = startPanel(this, *channel, model.context, { 1, 2 });
    if (!settings)
        return;
    buildWidgets();
    mixerBlock.applyInitialPattern(model.pattern);
    startMeterTimer(this, [this] { updateMeters(); });
    loadState();
}

SingleInputPanel::~SingleInputPanel()
{
    if (channel)
        channel->closeDevice();
}

QString SingleInputPanel::text(const char *source) const
{
    // The model's own class comes first, so a translation file may still word a text for one
    // model alone; the translations both models share are marked here, in this class's context.
    const QString own = QCoreApplication::translate(model.context, source);
    return own != QLatin1String(source) ? own : tr(source);
}

void SingleInputPanel::buildWidgets()
{
    const QString captionStyle = QString::fromLatin1(model.captionStyle);
    auto *root = new QHBoxLayout(this);
    root->setAlignment(Qt::AlignCenter);
    root->setContentsMargins(0, 0, 0, 0);

    auto *input = new QVBoxLayout;
    root->addLayout(input);
    input->setContentsMargins(10, 10, 20, 10);
    input->addWidget(sectionTitle(this, text(model.inputTitle)));
    micKnob = makeGainKnob(this, 42, 0);
    micKnob->setObjectName(QStringLiteral("micKnob"));
    input->addWidget(micKnob);
    micLevelLabel = readout(this);
    micLevelLabel->setObjectName(QStringLiteral("micLevelLabel"));
    input->addWidget(micLevelLabel);
    input->addWidget(caption(this, text(QT_TR_NOOP("Gain")), captionStyle));
    auto *switches = new QVBoxLayout;
    switches->setAlignment(Qt::AlignCenter);
    input->addLayout(switches);
    if (model.fullInput) {
        micInstrumentButton
            = makeSwitch(this, text(QT_TR_NOOP("MIC")), QStringLiteral("#00ff7f"), SwitchParent::AtConstruction);
        micInstrumentButton->setObjectName(QStringLiteral("micInstrumentButton"));
        switches->addWidget(micInstrumentButton);
        micPadButton
            = makeSwitch(this, QStringLiteral("20dB"), QStringLiteral("#ff7f00"), SwitchParent::AtConstruction);
        micPadButton->setObjectName(QStringLiteral("micPadButton"));
        switches->addWidget(micPadButton);
        micPhantomButton
            = makeSwitch(this, QStringLiteral("48V"), QStringLiteral("#ff1111"), SwitchParent::AtConstruction);
        micPhantomButton->setObjectName(QStringLiteral("micPhantomButton"));
        switches->addWidget(micPhantomButton);
    }
    micDirectButton
        = makeSwitch(this, text(QT_TR_NOOP("DIRECT")), QStringLiteral("#00FFFF"), SwitchParent::AtConstruction);
    micDirectButton->setObjectName(QStringLiteral("micDirectButton"));
    switches->addWidget(micDirectButton);

    root->addWidget(separator(this));

    auto *output = new QVBoxLayout;
    root->addLayout(output);
    output->setAlignment(Qt::AlignCenter);
    output->setContentsMargins(20, 10, 10, 10);
    output->addWidget(sectionTitle(
        this, model.headphoneTitleTranslated ? text(QT_TR_NOOP("HEADPHONE")) : QStringLiteral("HEADPHONE")));
    auto *knobRow = new QHBoxLayout;
    headphoneKnob = makeVolumeKnob(this);
    headphoneKnob->setObjectName(QStringLiteral("headphoneKnob"));
    knobRow->addWidget(headphoneKnob);
    output->addLayout(knobRow);
    output->addWidget(caption(this, text(QT_TR_NOOP("Volume")), captionStyle));
    auto *muteRow = new QHBoxLayout;
    muteRow->setAlignment(Qt::AlignCenter);
    headphoneMuteButton
        = makeSwitch(this, QStringLiteral("MUTE"), QStringLiteral("#00FFFF"), SwitchParent::AtConstruction);
    headphoneMuteButton->setObjectName(QStringLiteral("headphoneMuteButton"));
    headphoneMuteButton->setMinimumHeight(40);
    muteRow->addWidget(headphoneMuteButton);
    headphoneDimButton
        = makeSwitch(this, QStringLiteral("DIM"), QStringLiteral("#00FFFF"), SwitchParent::AtConstruction);
    headphoneDimButton->setObjectName(QStringLiteral("headphoneDimButton"));
    headphoneDimButton->setMinimumHeight(40);
    muteRow->addWidget(headphoneDimButton);
    output->addLayout(muteRow);
    if (model.fullInput) {
        otgToHpKnob = makePhoneKnob(this);
        otgToHpKnob->setObjectName(QStringLiteral("otgToHpKnob"));
        otgLevelLabel = readout(this);
        otgLevelLabel->setObjectName(QStringLiteral("otgLevelLabel"));
        output->addLayout(phoneRow(otgToHpKnob, otgLevelLabel,
            caption(this, text(QT_TR_NOOP("Phone To HP Volume")), QString::fromLatin1(kSmallCaptionStyle))));
    }
    output->addStretch();

    connect(micKnob, &Knob::valueChangedSig, this, &SingleInputPanel::applyMicGain);
    if (model.fullInput) {
        connect(micInstrumentButton, &Button::pressed, this, &SingleInputPanel::applyMicInstrument);
        connect(micPadButton, &Button::pressed, this, &SingleInputPanel::applyMicPad);
        connect(micPhantomButton, &Button::pressed, this, &SingleInputPanel::applyMicPhantom);
    }
    connect(micDirectButton, &Button::pressed, this, &SingleInputPanel::applyMonitorMic);
    connect(headphoneKnob, &Knob::valueChangedSig, this, &SingleInputPanel::applyHeadphoneVolume);
    connect(headphoneMuteButton, &Button::pressed, this, &SingleInputPanel::onHeadphoneMute);
    connect(headphoneDimButton, &Button::pressed, this, &SingleInputPanel::onHeadphoneDim);
    if (model.fullInput)
        connect(otgToHpKnob, &Knob::valueChangedSig, this, &SingleInputPanel::applyOtgToHp);
}

void SingleInputPanel::loadState()
{
    // The KV lacks the switches and the phone knob; restore passes them over.
    restore(*settings,
        {
            stored("Button/MicInstrIsChecked", micInstrumentButton),
            stored("Button/Mic20dBIsChecked", micPadButton),
            stored("Button/Mic48VIsChecked", micPhantomButton),
            stored("Button/MonitorMicIsChecked", micDirectButton),
            stored("Dial/MicValue", micKnob, 0),
            stored("Dial/HeadphoneValue", headphoneKnob, -80),
            stored("Button/HeadphoneMuteIsChecked", headphoneMuteButton),
            stored("Button/HeadphoneDimIsChecked", headphoneDimButton),
            stored("Dial/OtgToHpValue", otgToHpKnob, 0),
        });
}

void SingleInputPanel::applyMicGain(int value)
{
    sendMicGain(*channel, 1, value);
    save(*settings, QStringLiteral("Dial/MicValue"), micKnob->value);
}

void SingleInputPanel::applyMicInstrument(bool on)
{
    if (sendInputSwitch(*channel, InputSwitch::Instrument, 1, on))
        micInstrumentButton->setText(text(on ? QT_TR_NOOP("INST") : QT_TR_NOOP("MIC")));
    save(*settings, QStringLiteral("Button/MicInstrIsChecked"), micInstrumentButton->isSelected());
}

void SingleInputPanel::applyMicPad(bool on)
{
    sendInputSwitch(*channel, InputSwitch::Pad, 1, on);
    save(*settings, QStringLiteral("Button/Mic20dBIsChecked"), micPadButton->isSelected());
}

void SingleInputPanel::applyMicPhantom(bool on)
{
    sendInputSwitch(*channel, InputSwitch::Phantom, 1, on);
    save(*settings, QStringLiteral("Button/Mic48VIsChecked"), micPhantomButton->isSelected());
}

void SingleInputPanel::applyMonitorMic(bool on)
{
    const double cell = on ? 1.0 : 0.0;
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 0, cell);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 1, cell);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "Monitor Mic set to:" << int(on);
    else
        qDebug() << "Failed to set Monitor Mic.";
    save(*settings, QStringLiteral("Button/MonitorMicIsChecked"), micDirectButton->isSelected());
}

void SingleInputPanel::applyHeadphoneVolume(int value)
{
    const double gain = dbToGain(effectiveVolume(value, headphoneMuted, headphoneDimmed));
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kLeft, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kRight, gain);
    if (!channel->writeMixerState(mixerBlock))
        qDebug() << "Failed to set headphone volume.";
    else if (model.logsHeadphoneSuccess)
        qDebug() << "Headphone volume set to:" << gain;
    save(*settings, QStringLiteral("Dial/HeadphoneValue"), headphoneKnob->value);
}

void SingleInputPanel::onHeadphoneMute(bool on)
{
    switchOutput(
        headphoneMuted, on, [this, on] { applyHeadphoneVolume(on ? -80 : headphoneKnob->value); },
        "Headphone Mute Button Clicked: Mute ON", "Headphone Mute Button Clicked: Mute OFF");
    save(*settings, QStringLiteral("Button/HeadphoneMuteIsChecked"), headphoneMuteButton->isSelected());
}

void SingleInputPanel::onHeadphoneDim(bool on)
{
    switchOutput(
        headphoneDimmed, on, [this] { applyHeadphoneVolume(headphoneKnob->value); },
        "Headphone Dim Button Clicked: Dim ON", "Headphone Dim Button Clicked: Dim OFF");
    save(*settings, QStringLiteral("Button/HeadphoneDimIsChecked"), headphoneDimButton->isSelected());
}

void SingleInputPanel::applyOtgToHp(int value)
{
    // The phone input's left feeds the headphone's left, its right the right.
    const double gain = dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 3, gain);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "OTG to HP volume set to:" << gain;
    else
        qDebug() << "Failed to set OTG to HP volume.";
    save(*settings, QStringLiteral("Dial/OtgToHpValue"), otgToHpKnob->value);
}

void SingleInputPanel::updateMeters()
{
    if (!readMeters(*channel, meterBlock))
        return;
    showReading(micLevelLabel, meterBlock.level(0));
    if (otgLevelLabel)
        showReading(otgLevelLabel, meterBlock.phoneLevel());
}
