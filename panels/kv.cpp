#include "panels/kv.h"

#include "controls/Button.h"
#include "controls/Knob.h"
#include "device/Conversions.h"
#include "device/OrvelinIoControl.h"
#include "panels/PanelKit.h"

#include <QDebug>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QVBoxLayout>

using namespace panelkit;

namespace {
// Headphone left and right on this model.
constexpr int kLeft = 0;
constexpr int kRight = 1;
// This panel's captions have always carried a leading blank in their style.
const char *const kKvCaptionStyle = " font-size: 12px; color: white;";
} // namespace

kv::kv()
    : QWidget(nullptr)
    , channel(std::make_unique<OrvelinIoControl>())
{
    settings = startPanel(this, *channel, "kv", { 1, 2 });
    if (!settings)
        return;
    buildWidgets();
    mixerBlock.applyInitialPattern(MixerStateBlock::Model::KV);
    startMeterTimer(this, [this] { updateMeters(); });
    loadState();
}

kv::~kv()
{
    if (channel)
        channel->closeDevice();
}

void kv::buildWidgets()
{
    auto *root = new QHBoxLayout(this);
    root->setAlignment(Qt::AlignCenter);
    root->setContentsMargins(0, 0, 0, 0);

    auto *input = new QVBoxLayout;
    root->addLayout(input);
    input->setContentsMargins(10, 10, 20, 10);
    input->addWidget(sectionTitle(this, tr("MIC")));
    micKnob = makeGainKnob(this, 42, 0);
    micKnob->setObjectName(QStringLiteral("micKnob"));
    input->addWidget(micKnob);
    micLevelLabel = readout(this);
    micLevelLabel->setObjectName(QStringLiteral("micLevelLabel"));
    input->addWidget(micLevelLabel);
    input->addWidget(caption(this, tr("Gain"), QString::fromLatin1(kKvCaptionStyle)));
    auto *switches = new QVBoxLayout;
    switches->setAlignment(Qt::AlignCenter);
    input->addLayout(switches);
    micDirectButton = makeSwitch(this, tr("DIRECT"), QStringLiteral("#00FFFF"), SwitchParent::AtConstruction);
    micDirectButton->setObjectName(QStringLiteral("micDirectButton"));
    switches->addWidget(micDirectButton);

    root->addWidget(separator(this));

    auto *output = new QVBoxLayout;
    root->addLayout(output);
    output->setAlignment(Qt::AlignCenter);
    output->setContentsMargins(20, 10, 10, 10);
    output->addWidget(sectionTitle(this, QStringLiteral("HEADPHONE")));
    auto *knobRow = new QHBoxLayout;
    headphoneKnob = makeVolumeKnob(this);
    headphoneKnob->setObjectName(QStringLiteral("headphoneKnob"));
    knobRow->addWidget(headphoneKnob);
    output->addLayout(knobRow);
    output->addWidget(caption(this, tr("Volume"), QString::fromLatin1(kKvCaptionStyle)));
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
    output->addStretch();

    connect(micKnob, &Knob::valueChangedSig, this, &kv::applyMicGain);
    connect(micDirectButton, &Button::pressed, this, &kv::applyMonitorMic);
    connect(headphoneKnob, &Knob::valueChangedSig, this, &kv::applyHeadphoneVolume);
    connect(headphoneMuteButton, &Button::pressed, this, &kv::onHeadphoneMute);
    connect(headphoneDimButton, &Button::pressed, this, &kv::onHeadphoneDim);
}

void kv::loadState()
{
    restore(*settings,
        {
            stored("Button/MonitorMicIsChecked", micDirectButton),
            stored("Dial/MicValue", micKnob, 0),
            stored("Dial/HeadphoneValue", headphoneKnob, -80),
            stored("Button/HeadphoneMuteIsChecked", headphoneMuteButton),
            stored("Button/HeadphoneDimIsChecked", headphoneDimButton),
        });
}

void kv::applyMicGain(int value)
{
    // The device receives twice the knob value.
    if (channel->setMicVolume(1, 2 * value))
        qDebug() << "Mic volume set to:" << value;
    else
        qDebug() << "Failed to set mic volume.";
    save(*settings, QStringLiteral("Dial/MicValue"), micKnob->value);
}

void kv::applyMonitorMic(bool on)
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

void kv::applyHeadphoneVolume(int value)
{
    const double gain = dbToGain(effectiveVolume(value, headphoneMuted, headphoneDimmed));
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kLeft, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kRight, gain);
    // This panel logs only the failure.
    if (!channel->writeMixerState(mixerBlock))
        qDebug() << "Failed to set headphone volume.";
    save(*settings, QStringLiteral("Dial/HeadphoneValue"), headphoneKnob->value);
}

void kv::onHeadphoneMute(bool on)
{
    headphoneMuted = on;
    if (on) {
        applyHeadphoneVolume(-80);
        qDebug() << "Headphone Mute Button Clicked: Mute ON";
    } else {
        applyHeadphoneVolume(headphoneKnob->value);
        qDebug() << "Headphone Mute Button Clicked: Mute OFF";
    }
    save(*settings, QStringLiteral("Button/HeadphoneMuteIsChecked"), headphoneMuteButton->isSelected());
}

void kv::onHeadphoneDim(bool on)
{
    headphoneDimmed = on;
    applyHeadphoneVolume(headphoneKnob->value);
    qDebug() << (on ? "Headphone Dim Button Clicked: Dim ON" : "Headphone Dim Button Clicked: Dim OFF");
    save(*settings, QStringLiteral("Button/HeadphoneDimIsChecked"), headphoneDimButton->isSelected());
}

void kv::updateMeters()
{
    if (readMeters(*channel, meterBlock))
        micLevelLabel->setText(MeterBlock::readoutText(meterBlock.level(0)));
}
