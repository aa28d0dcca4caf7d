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
    describeControls();
    mixerBlock.applyInitialPattern(MixerStateBlock::Model::KA2);
    startMeterTimer(this, [this] { updateMeters(); });
    table.restore(*settings);
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
}

QVBoxLayout *DualInputPanel::buildInputColumn(int channelNumber)
{
    static const char *const titles[] = { QT_TR_NOOP("MIC1"), QT_TR_NOOP("MIC2") };
    InputStrip &strip = input(channelNumber);
    const QString prefix = QStringLiteral("mic") + QString::number(channelNumber);
    auto *column = new QVBoxLayout;
    column->setContentsMargins(10, 10, 20, 10);
    column->addWidget(sectionTitle(this, text(titles[channelNumber - 1])));
    strip.knob = makeGainKnob(this, 56);
    strip.knob->setObjectName(prefix + QStringLiteral("Knob"));
    column->addWidget(strip.knob);
    strip.level = readout(this);
    strip.level->setObjectName(prefix + QStringLiteral("LevelLabel"));
    column->addWidget(strip.level);
    column->addWidget(caption(this, text(QT_TR_NOOP("Gain")), QString::fromLatin1(kCaptionStyle)));

    auto *switches = new QVBoxLayout;
    switches->setAlignment(Qt::AlignCenter);
    column->addLayout(switches);
    const auto addSwitch = [&](Button *&button, const QString &label, const char *colour, const char *name) {
        button = makeSwitch(this, label, QString::fromLatin1(colour), SwitchParent::AfterConstruction);
        button->setObjectName(prefix + QLatin1String(name));
        switches->addWidget(button);
    };
    if (model.instrumentSwitches)
        addSwitch(strip.instrument, text(QT_TR_NOOP("MIC")), "#00ff7f", "InstrumentButton");
    addSwitch(strip.pad, QStringLiteral("20dB"), "#ff7f00", "PadButton");
    addSwitch(strip.phantom, QStringLiteral("48V"), "#ff1111", "PhantomButton");
    addSwitch(strip.direct, text(QT_TR_NOOP("DIRECT")), "#00FFFF", "DirectButton");
    column->addStretch();
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

void DualInputPanel::describeControls()
{
    // In the order start-up restores them: the input types go first, so the device knows them
    // before any pad, phantom or gain. The KA2 lacks the instrument switches; the table passes
    // them over. The device shows a gain 9 dB above the knob's value.
    const QString mic1 = text(QT_TR_NOOP("MIC1"));
    const QString mic2 = text(QT_TR_NOOP("MIC2"));
    const QString speaker = text(QT_TR_NOOP("SPEAKER"));
    const QString headphone = text(QT_TR_NOOP("HEADPHONE"));
    const QString instrument = text(QT_TR_NOOP("instrument input"));
    const QString gain = text(QT_TR_NOOP("Gain"));
    const QString direct = text(QT_TR_NOOP("DIRECT"));
    const QString volume = text(QT_TR_NOOP("Volume"));
    const QString pad = QStringLiteral("20dB");
    const QString phantom = QStringLiteral("48V");
    const QString mute = QStringLiteral("MUTE");
    ControlTable &t = table;
    t.addSwitch("mic1.inst", "Button/Mic1InstrIsChecked", inputs[0].instrument, mic1, instrument,
        [this](bool on) { return applyMicInstrument(1, on); });
    t.addSwitch("mic2.inst", "Button/Mic2InstrIsChecked", inputs[1].instrument, mic2, instrument,
        [this](bool on) { return applyMicInstrument(2, on); });
    t.addSwitch("mic1.pad", "Button/Mic120dBIsChecked", inputs[0].pad, mic1, pad,
        [this](bool on) { return applyMicPad(1, on); });
    t.addSwitch("mic1.phantom", "Button/Mic148VIsChecked", inputs[0].phantom, mic1, phantom,
        [this](bool on) { return applyMicPhantom(1, on); });
    t.addSwitch("mic1.direct", "Button/MonitorMic1IsChecked", inputs[0].direct, mic1, direct,
        [this](bool on) { return applyMonitorMic(1, on); });
    t.addKnob(
        "mic1.gain", "Dial/Mic1Value", inputs[0].knob, 0, 9, mic1, gain, [this](int v) { return applyMicGain(1, v); });
    t.addKnob(
        "mic2.gain", "Dial/Mic2Value", inputs[1].knob, 0, 9, mic2, gain, [this](int v) { return applyMicGain(2, v); });
    t.addSwitch("mic2.pad", "Button/Mic220dBIsChecked", inputs[1].pad, mic2, pad,
        [this](bool on) { return applyMicPad(2, on); });
    t.addSwitch("mic2.phantom", "Button/Mic248VIsChecked", inputs[1].phantom, mic2, phantom,
        [this](bool on) { return applyMicPhantom(2, on); });
    t.addSwitch("mic2.direct", "Button/MonitorMic2IsChecked", inputs[1].direct, mic2, direct,
        [this](bool on) { return applyMonitorMic(2, on); });
    t.addKnob("speaker.volume", "Dial/SpeakerValue", speakerKnob, -80, 0, speaker, volume,
        [this](int v) { return applySpeakerVolume(v); });
    t.addSwitch("speaker.mute", "Button/SpeakerMuteIsChecked", speakerMuteButton, speaker, mute,
        [this](bool on) { return onSpeakerMute(on); });
    t.addSwitch("speaker.dim", "Button/SpeakerDimIsChecked", speakerDimButton, speaker, QStringLiteral("DIM"),
        [this](bool on) { return onSpeakerDim(on); });
    t.addKnob("headphone.volume", "Dial/HeadphoneValue", headphoneKnob, -80, 0, headphone, volume,
        [this](int v) { return applyHeadphoneVolume(v); });
    t.addSwitch("headphone.mute", "Button/HeadphoneMuteIsChecked", headphoneMuteButton, headphone, mute,
        [this](bool on) { return onHeadphoneMute(on); });
    // Selected, the headphone plays ASIO 5-6; the switch's caption follows its state.
    t.addSwitch("headphone.source", "Button/HeadphoneSourceIsChecked", headphoneSourceButton, headphone,
        QStringLiteral("ASIO 5-6"), [this](bool on) { return onHeadphoneSource(on); });
    t.addKnob("phone.headphone", "Dial/OtgToHpValue", otgToHpKnob, 0, 0, QString(),
        text(QT_TR_NOOP("Phone To HP Volume")), [this](int v) { return applyOtgToHp(v); });
    t.addKnob("phone.speaker", "Dial/OtgToSPValue", otgToSpKnob, 0, 0, QString(),
        text(QT_TR_NOOP("Phone To SP Volume")), [this](int v) { return applyOtgToSp(v); });
}

void DualInputPanel::save(const QWidget *control)
{
    table.save(*settings, control);
    qDebug() << "控件状态已保存到配置文件";
}

bool DualInputPanel::applyMicGain(int channelNumber, int value)
{
    const bool ok = sendMicGain(*channel, channelNumber, value);
    save(input(channelNumber).knob);
    return ok;
}

bool DualInputPanel::applyMicInstrument(int channelNumber, bool on)
{
    Button *button = input(channelNumber).instrument;
    const bool ok = sendInputSwitch(*channel, InputSwitch::Instrument, channelNumber, on);
    if (ok)
        button->setText(text(on ? QT_TR_NOOP("INST") : QT_TR_NOOP("MIC")));
    save(button);
    return ok;
}

bool DualInputPanel::applyMicPad(int channelNumber, bool on)
{
    const bool ok = sendInputSwitch(*channel, InputSwitch::Pad, channelNumber, on);
    save(input(channelNumber).pad);
    return ok;
}

bool DualInputPanel::applyMicPhantom(int channelNumber, bool on)
{
    const bool ok = sendInputSwitch(*channel, InputSwitch::Phantom, channelNumber, on);
    save(input(channelNumber).phantom);
    return ok;
}

bool DualInputPanel::applyMonitorMic(int channelNumber, bool on)
{
    // Direct monitoring puts the input at unity on both speaker and both headphone channels.
    const double cell = on ? 1.0 : 0.0;
    for (int row : { 0, 1, 4, 5 })
        mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, row, channelNumber - 1, cell);
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set Monitor Mic.");
    if (ok)
        qDebug() << "Monitor Mic set to:" << int(on);
    save(input(channelNumber).direct);
    return ok;
}

bool DualInputPanel::applyOtgToSp(int value)
{
    const double gain = device::dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 3, gain);
    // This control logs no refused send; the result still goes back to the caller.
    const bool ok = writeBlock(*channel, mixerBlock, nullptr);
    if (ok)
        qDebug() << "OTG to SP volume set to:" << gain;
    save(otgToSpKnob);
    return ok;
}

bool DualInputPanel::applyOtgToHp(int value)
{
    const double gain = device::dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 4, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 5, 3, gain);
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set OTG to HP volume.");
    if (ok)
        qDebug() << "OTG to HP volume set to:" << gain;
    save(otgToHpKnob);
    return ok;
}

bool DualInputPanel::writeOutputGain(int left, int level, const char *setLine, const char *failureLine)
{
    // Both channels of the stereo output get the same gain.
    const double gain = device::dbToGain(level);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, left, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, left + 1, gain);
    const bool ok = writeBlock(*channel, mixerBlock, failureLine);
    if (ok)
        qDebug() << setLine << level;
    return ok;
}

bool DualInputPanel::applySpeakerVolume(int value)
{
    qDebug() << "Speaker Knob value changed:" << value;
    const bool ok = writeOutputGain(kSpeakerLeft, effectiveVolume(value, speakerMuted, speakerDimmed),
        "Speaker volume set to:", "Failed to set speaker volume.");
    save(speakerKnob);
    return ok;
}

bool DualInputPanel::onSpeakerMute(bool on)
{
    const bool ok = switchOutput(
        speakerMuted, on, [this, on] { return applySpeakerVolume(on ? -80 : speakerKnob->value); },
        "Speaker Mute Button Clicked: Mute ON", "Speaker Mute Button Clicked: Mute OFF");
    save(speakerMuteButton);
    return ok;
}

bool DualInputPanel::onSpeakerDim(bool on)
{
    const bool ok = switchOutput(speakerDimmed, on, [this] { return applySpeakerVolume(speakerKnob->value); });
    save(speakerDimButton);
    return ok;
}

bool DualInputPanel::applyHeadphoneVolume(int value)
{
    qDebug() << "Headphone Knob value changed:" << value;
    // The headphone has no dim on these models.
    const bool ok = writeOutputGain(kHeadphoneLeft, effectiveVolume(value, headphoneMuted, false),
        "Headphone volume set to:", "Failed to set headphone volume.");
    save(headphoneKnob);
    return ok;
}

bool DualInputPanel::onHeadphoneMute(bool on)
{
    const bool ok = switchOutput(headphoneMuted, on, [this] { return applyHeadphoneVolume(headphoneKnob->value); });
    save(headphoneMuteButton);
    return ok;
}

bool DualInputPanel::onHeadphoneSource(bool on)
{
    // The headphone plays either playback channels 1-2 or 5-6.
    const double first = on ? 0.0 : 1.0;
    const double fifth = on ? 1.0 : 0.0;
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 4, 0, first);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 5, 1, first);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 4, 4, fifth);
    mixerBlock.setMatrixCell(MixerStateBlock::kPlaybackMatrix, 5, 5, fifth);
    headphoneSourceButton->setText(on ? QStringLiteral("ASIO 5-6") : QStringLiteral("ASIO 1-2"));
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set Headphone Source.");
    if (ok)
        qDebug() << "set Headphone Source:" << int(on);
    save(headphoneSourceButton);
    return ok;
}

void DualInputPanel::updateMeters()
{
    if (!readMeters(*channel, meterBlock))
        return;
    showReading(inputs[0].level, meterBlock.level(0));
    showReading(inputs[1].level, meterBlock.level(1));
    showReading(otgLevelLabelHp, meterBlock.phoneLevel());
    showReading(otgLevelLabelSp, meterBlock.phoneLevel());
}
