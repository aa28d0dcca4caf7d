#include "panels/DualInputPanel.h"

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
// Output gain vector entries of the speaker and the headphone pair on the two-input models.
constexpr int kSpeakerLeft = 0;
constexpr int kHeadphoneLeft = 4;
} // namespace

DualInputPanel::DualInputPanel(const Model &model)
    : QWidget(nullptr)
    , model(model)
    , channel(std::make_unique<OrvelinIoControl>())
{
    settings = startPanel(this, *channel, model.context, { 1, 2, 5, 6 });
    if (!settings)
        return;
    buildWidgets();
    mixerBlock.applyInitialPattern(MixerStateBlock::Model::KA2);
    startMeterTimer(this, [this] { updateMeters(); });
    loadState();
}

DualInputPanel::~DualInputPanel()
{
    if (channel)
        channel->closeDevice();
}

QString DualInputPanel::text(const char *source) const
{
    // The model's own class comes first, so a translation file may still word a text for one
    // model alone; the translations both models share are marked here, in this class's context.
    const QString own = QCoreApplication::translate(model.context, source);
    return own != QLatin1String(source) ? own : tr(source);
}

void DualInputPanel::buildWidgets()
{
    auto *root = new QHBoxLayout(this);
    root->setAlignment(Qt::AlignCenter);
    root->setContentsMargins(0, 0, 0, 0);
    root->addLayout(buildInputColumn(1), 0);
    root->addLayout(buildInputColumn(2), 0);
    root->addWidget(separator(this));
    root->addLayout(buildOutputColumn(true), 0);
    root->addLayout(buildOutputColumn(false), 0);

    connect(mic1Knob, &Knob::valueChangedSig, this, [this](int v) { applyMicGain(1, v); });
    connect(mic1PadButton, &Button::pressed, this, [this](bool on) { applyMicPad(1, on); });
    connect(mic1PhantomButton, &Button::pressed, this, [this](bool on) { applyMicPhantom(1, on); });
    connect(mic1DirectButton, &Button::pressed, this, &DualInputPanel::applyMonitorMic1);
    connect(mic2Knob, &Knob::valueChangedSig, this, [this](int v) { applyMicGain(2, v); });
    connect(mic2PadButton, &Button::pressed, this, [this](bool on) { applyMicPad(2, on); });
    connect(mic2PhantomButton, &Button::pressed, this, [this](bool on) { applyMicPhantom(2, on); });
    connect(mic2DirectButton, &Button::pressed, this, &DualInputPanel::applyMonitorMic2);
    connect(speakerKnob, &Knob::valueChangedSig, this, &DualInputPanel::applySpeakerVolume);
    connect(speakerMuteButton, &Button::pressed, this, &DualInputPanel::onSpeakerMute);
    connect(speakerDimButton, &Button::pressed, this, &DualInputPanel::onSpeakerDim);
    connect(otgToSpKnob, &Knob::valueChangedSig, this, &DualInputPanel::applyOtgToSp);
    connect(headphoneKnob, &Knob::valueChangedSig, this, &DualInputPanel::applyHeadphoneVolume);
    connect(headphoneMuteButton, &Button::pressed, this, &DualInputPanel::onHeadphoneMute);
    connect(headphoneSourceButton, &Button::pressed, this, &DualInputPanel::onHeadphoneSource);
    connect(otgToHpKnob, &Knob::valueChangedSig, this, &DualInputPanel::applyOtgToHp);
}

QVBoxLayout *DualInputPanel::buildInputColumn(int channelNumber)
{
    const bool first = channelNumber == 1;
    const QString prefix = first ? QStringLiteral("mic1") : QStringLiteral("mic2");
    auto *column = new QVBoxLayout;
    column->setContentsMargins(10, 10, 20, 10);
    column->addWidget(sectionTitle(this, first ? text(QT_TR_NOOP("MIC1")) : text(QT_TR_NOOP("MIC2"))));
    Knob *knob = makeGainKnob(this, 56, 9);
    knob->setObjectName(prefix + QStringLiteral("Knob"));
    column->addWidget(knob);
    QLabel *level = readout(this);
    level->setObjectName(prefix + QStringLiteral("LevelLabel"));
    column->addWidget(level);
    column->addWidget(caption(this, text(QT_TR_NOOP("Gain")), QString::fromLatin1(kCaptionStyle)));

    auto *switches = new QVBoxLayout;
    switches->setAlignment(Qt::AlignCenter);
    column->addLayout(switches);
    Button *instrument = nullptr;
    if (model.instrumentSwitches) {
        instrument
            = makeSwitch(this, text(QT_TR_NOOP("MIC")), QStringLiteral("#00ff7f"), SwitchParent::AfterConstruction);
        instrument->setObjectName(prefix + QStringLiteral("InstrumentButton"));
        switches->addWidget(instrument);
        connect(instrument, &Button::pressed, this,
            [this, channelNumber](bool on) { applyMicInstrument(channelNumber, on); });
    }
    Button *pad = makeSwitch(this, QStringLiteral("20dB"), QStringLiteral("#ff7f00"), SwitchParent::AfterConstruction);
    pad->setObjectName(prefix + QStringLiteral("PadButton"));
    switches->addWidget(pad);
    Button *phantom
        = makeSwitch(this, QStringLiteral("48V"), QStringLiteral("#ff1111"), SwitchParent::AfterConstruction);
    phantom->setObjectName(prefix + QStringLiteral("PhantomButton"));
    switches->addWidget(phantom);
    Button *direct
        = makeSwitch(this, text(QT_TR_NOOP("DIRECT")), QStringLiteral("#00FFFF"), SwitchParent::AfterConstruction);
    direct->setObjectName(prefix + QStringLiteral("DirectButton"));
    switches->addWidget(direct);
    column->addStretch();

    (first ? mic1Knob : mic2Knob) = knob;
    (first ? mic1LevelLabel : mic2LevelLabel) = level;
    (first ? mic1InstrumentButton : mic2InstrumentButton) = instrument;
    (first ? mic1PadButton : mic2PadButton) = pad;
    (first ? mic1PhantomButton : mic2PhantomButton) = phantom;
    (first ? mic1DirectButton : mic2DirectButton) = direct;
    return column;
}

QVBoxLayout *DualInputPanel::buildOutputColumn(bool speaker)
{
    auto *column = new QVBoxLayout;
    column->setAlignment(Qt::AlignCenter);
    column->setContentsMargins(20, 10, 10, 10);
    column->addWidget(sectionTitle(this, speaker ? text(QT_TR_NOOP("SPEAKER")) : text(QT_TR_NOOP("HEADPHONE"))));
    Knob *knob = makeVolumeKnob(this);
    auto *knobRow = new QHBoxLayout;
    knobRow->addWidget(knob);
    column->addLayout(knobRow);
    column->addWidget(caption(this, text(QT_TR_NOOP("Volume")), QString::fromLatin1(kCaptionStyle)));

    auto *switchRow = new QHBoxLayout;
    switchRow->setAlignment(Qt::AlignCenter);
    Button *mute = makeSwitch(this, QStringLiteral("MUTE"), QStringLiteral("#00FFFF"), SwitchParent::AfterConstruction);
    mute->setMinimumHeight(40);
    switchRow->addWidget(mute);
    Button *second = makeSwitch(this, speaker ? QStringLiteral("DIM") : QStringLiteral("ASIO 1-2"),
        QStringLiteral("#00FFFF"), SwitchParent::AfterConstruction);
    second->setMinimumHeight(40);
    switchRow->addWidget(second);
    column->addLayout(switchRow);

    Knob *phone = makePhoneKnob(this);
    QLabel *level = readout(this);
    column->addLayout(phoneRow(phone, level,
        caption(this, speaker ? text(QT_TR_NOOP("Phone To SP Volume")) : text(QT_TR_NOOP("Phone To HP Volume")),
            QString::fromLatin1(kSmallCaptionStyle))));
    column->addStretch();

    if (speaker) {
        speakerKnob = knob;
        speakerMuteButton = mute;
        speakerDimButton = second;
        otgToSpKnob = phone;
        otgLevelLabelSp = level;
    } else {
        headphoneKnob = knob;
        headphoneMuteButton = mute;
        headphoneSourceButton = second;
        otgToHpKnob = phone;
        otgLevelLabelHp = level;
    }
    const QString prefix = speaker ? QStringLiteral("speaker") : QStringLiteral("headphone");
    knob->setObjectName(prefix + QStringLiteral("Knob"));
    mute->setObjectName(prefix + QStringLiteral("MuteButton"));
    second->setObjectName(speaker ? QStringLiteral("speakerDimButton") : QStringLiteral("headphoneSourceButton"));
    phone->setObjectName(speaker ? QStringLiteral("otgToSpKnob") : QStringLiteral("otgToHpKnob"));
    level->setObjectName(speaker ? QStringLiteral("otgLevelLabelSp") : QStringLiteral("otgLevelLabelHp"));
    return column;
}

void DualInputPanel::loadState()
{
    // The input types go first, so the device knows them before any pad, phantom or gain.
    if (model.instrumentSwitches) {
        mic1InstrumentButton->setSelected(storedSwitch(*settings, QStringLiteral("Button/Mic1InstrIsChecked"), false));
        mic2InstrumentButton->setSelected(storedSwitch(*settings, QStringLiteral("Button/Mic2InstrIsChecked"), false));
    }
    restore(*settings,
        {
            stored("Button/Mic120dBIsChecked", mic1PadButton),
            stored("Button/Mic148VIsChecked", mic1PhantomButton),
            stored("Button/MonitorMic1IsChecked", mic1DirectButton),
            stored("Dial/Mic1Value", mic1Knob, 0),
            stored("Dial/Mic2Value", mic2Knob, 0),
            stored("Button/Mic220dBIsChecked", mic2PadButton),
            stored("Button/Mic248VIsChecked", mic2PhantomButton),
            stored("Button/MonitorMic2IsChecked", mic2DirectButton),
            stored("Dial/SpeakerValue", speakerKnob, -80),
            stored("Button/SpeakerMuteIsChecked", speakerMuteButton),
            stored("Button/SpeakerDimIsChecked", speakerDimButton),
            stored("Dial/HeadphoneValue", headphoneKnob, -80),
            stored("Button/HeadphoneMuteIsChecked", headphoneMuteButton),
            stored("Button/HeadphoneSourceIsChecked", headphoneSourceButton),
            stored("Dial/OtgToHpValue", otgToHpKnob, 0),
            stored("Dial/OtgToSPValue", otgToSpKnob, 0),
        });
}

void DualInputPanel::save(const QString &key, const QVariant &value)
{
    panelkit::save(*settings, key, value);
    qDebug() << "控件状态已保存到配置文件";
}

void DualInputPanel::applyMicGain(int channelNumber, int value)
{
    sendMicGain(*channel, channelNumber, value);
    Knob *knob = channelNumber == 1 ? mic1Knob : mic2Knob;
    save(channelNumber == 1 ? QStringLiteral("Dial/Mic1Value") : QStringLiteral("Dial/Mic2Value"), knob->value);
}

void DualInputPanel::applyMicInstrument(int channelNumber, bool on)
{
    Button *button = channelNumber == 1 ? mic1InstrumentButton : mic2InstrumentButton;
    if (sendInputSwitch(*channel, InputSwitch::Instrument, channelNumber, on))
        button->setText(text(on ? QT_TR_NOOP("INST") : QT_TR_NOOP("MIC")));
    save(channelNumber == 1 ? QStringLiteral("Button/Mic1InstrIsChecked") : QStringLiteral("Button/Mic2InstrIsChecked"),
        button->isSelected());
}

void DualInputPanel::applyMicPad(int channelNumber, bool on)
{
    sendInputSwitch(*channel, InputSwitch::Pad, channelNumber, on);
    Button *button = channelNumber == 1 ? mic1PadButton : mic2PadButton;
    save(channelNumber == 1 ? QStringLiteral("Button/Mic120dBIsChecked") : QStringLiteral("Button/Mic220dBIsChecked"),
        button->isSelected());
}

void DualInputPanel::applyMicPhantom(int channelNumber, bool on)
{
    sendInputSwitch(*channel, InputSwitch::Phantom, channelNumber, on);
    Button *button = channelNumber == 1 ? mic1PhantomButton : mic2PhantomButton;
    save(channelNumber == 1 ? QStringLiteral("Button/Mic148VIsChecked") : QStringLiteral("Button/Mic248VIsChecked"),
        button->isSelected());
}

void DualInputPanel::applyMonitorMic1(bool on)
{
    applyMonitorMic(0, on);
    save(QStringLiteral("Button/MonitorMic1IsChecked"), mic1DirectButton->isSelected());
}

void DualInputPanel::applyMonitorMic2(bool on)
{
    applyMonitorMic(1, on);
    save(QStringLiteral("Button/MonitorMic2IsChecked"), mic2DirectButton->isSelected());
}

void DualInputPanel::applyMonitorMic(int column, bool on)
{
    // Direct monitoring puts the input at unity on both speaker and both headphone channels.
    const double cell = on ? 1.0 : 0.0;
    for (int row : { 0, 1, 4, 5 })
        mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, row, column, cell);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "Monitor Mic set to:" << int(on);
    else
        qDebug() << "Failed to set Monitor Mic.";
}

void DualInputPanel::applyOtgToSp(int value)
{
    const double gain = dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 3, gain);
    // A refused send has never been logged here.
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "OTG to SP volume set to:" << gain;
    save(QStringLiteral("Dial/OtgToSPValue"), otgToSpKnob->value);
}

void DualInputPanel::applyOtgToHp(int value)
{
    const double gain = dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 4, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 5, 3, gain);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "OTG to HP volume set to:" << gain;
    else
        qDebug() << "Failed to set OTG to HP volume.";
    save(QStringLiteral("Dial/OtgToHpValue"), otgToHpKnob->value);
}

void DualInputPanel::applySpeakerVolume(int value)
{
    qDebug() << "Speaker Knob value changed:" << value;
    const int level = effectiveVolume(value, speakerMuted, speakerDimmed);
    const double gain = dbToGain(level);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kSpeakerLeft, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kSpeakerLeft + 1, gain);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "Speaker volume set to:" << level;
    else
        qDebug() << "Failed to set speaker volume.";
    save(QStringLiteral("Dial/SpeakerValue"), speakerKnob->value);
}

void DualInputPanel::onSpeakerMute(bool on)
{
    switchOutput(
        speakerMuted, on, [this, on] { applySpeakerVolume(on ? -80 : speakerKnob->value); },
        "Speaker Mute Button Clicked: Mute ON", "Speaker Mute Button Clicked: Mute OFF");
    save(QStringLiteral("Button/SpeakerMuteIsChecked"), speakerMuteButton->isSelected());
}

void DualInputPanel::onSpeakerDim(bool on)
{
    switchOutput(speakerDimmed, on, [this] { applySpeakerVolume(speakerKnob->value); });
    save(QStringLiteral("Button/SpeakerDimIsChecked"), speakerDimButton->isSelected());
}

void DualInputPanel::applyHeadphoneVolume(int value)
{
    qDebug() << "Headphone Knob value changed:" << value;
    // The headphone has no dim on these models.
    const int level = effectiveVolume(value, headphoneMuted, false);
    const double gain = dbToGain(level);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kHeadphoneLeft, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kHeadphoneLeft + 1, gain);
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "Headphone volume set to:" << level;
    else
        qDebug() << "Failed to set headphone volume.";
    save(QStringLiteral("Dial/HeadphoneValue"), headphoneKnob->value);
}

void DualInputPanel::onHeadphoneMute(bool on)
{
    switchOutput(headphoneMuted, on, [this] { applyHeadphoneVolume(headphoneKnob->value); });
    save(QStringLiteral("Button/HeadphoneMuteIsChecked"), headphoneMuteButton->isSelected());
}

void DualInputPanel::onHeadphoneSource(bool on)
{
    // The headphone plays either playback channels 1-2 or 5-6.
    const double first = on ? 0.0 : 1.0;
    const double fifth = on ? 1.0 : 0.0;
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 4, 0, first);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 5, 1, first);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 4, 4, fifth);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 5, 5, fifth);
    headphoneSourceButton->setText(on ? QStringLiteral("ASIO 5-6") : QStringLiteral("ASIO 1-2"));
    if (channel->writeMixerState(mixerBlock))
        qDebug() << "set Headphone Source:" << int(on);
    else
        qDebug() << "Failed to set Headphone Source.";
    save(QStringLiteral("Button/HeadphoneSourceIsChecked"), headphoneSourceButton->isSelected());
}

void DualInputPanel::updateMeters()
{
    if (!readMeters(*channel, meterBlock))
        return;
    showReading(mic1LevelLabel, meterBlock.level(0));
    showReading(mic2LevelLabel, meterBlock.level(1));
    showReading(otgLevelLabelHp, meterBlock.phoneLevel());
    showReading(otgLevelLabelSp, meterBlock.phoneLevel());
}
