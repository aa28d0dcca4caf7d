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
    describeControls();
    mixerBlock.applyInitialPattern(model.pattern);
    startMeterTimer(this, [this] { updateMeters(); });
    table.restore(*settings);
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

QString SingleInputPanel::headphoneTitle() const
{
    return model.headphoneTitleTranslated ? text(QT_TR_NOOP("HEADPHONE")) : QStringLiteral("HEADPHONE");
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
    micKnob = makeGainKnob(this, 42);
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
    output->addWidget(sectionTitle(this, headphoneTitle()));
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
}

void SingleInputPanel::describeControls()
{
    // In the order start-up restores them. The KV lacks the instrument, pad and phantom switches
    // and the phone knob; the table passes them over.
    const QString input = text(model.inputTitle);
    const QString headphone = headphoneTitle();
    ControlTable &t = table;
    t.addSwitch("mic.inst", "Button/MicInstrIsChecked", micInstrumentButton, input,
        text(QT_TR_NOOP("instrument input")), [this](bool on) { return applyMicInstrument(on); });
    t.addSwitch("mic.pad", "Button/Mic20dBIsChecked", micPadButton, input, QStringLiteral("20dB"),
        [this](bool on) { return applyMicPad(on); });
    t.addSwitch("mic.phantom", "Button/Mic48VIsChecked", micPhantomButton, input, QStringLiteral("48V"),
        [this](bool on) { return applyMicPhantom(on); });
    t.addSwitch("mic.direct", "Button/MonitorMicIsChecked", micDirectButton, input, text(QT_TR_NOOP("DIRECT")),
        [this](bool on) { return applyMonitorMic(on); });
    t.addKnob("mic.gain", "Dial/MicValue", micKnob, 0, 0, input, text(QT_TR_NOOP("Gain")),
        [this](int v) { return applyMicGain(v); });
    t.addKnob("headphone.volume", "Dial/HeadphoneValue", headphoneKnob, -80, 0, headphone, text(QT_TR_NOOP("Volume")),
        [this](int v) { return applyHeadphoneVolume(v); });
    t.addSwitch("headphone.mute", "Button/HeadphoneMuteIsChecked", headphoneMuteButton, headphone,
        QStringLiteral("MUTE"), [this](bool on) { return onHeadphoneMute(on); });
    t.addSwitch("headphone.dim", "Button/HeadphoneDimIsChecked", headphoneDimButton, headphone, QStringLiteral("DIM"),
        [this](bool on) { return onHeadphoneDim(on); });
    t.addKnob("phone.headphone", "Dial/OtgToHpValue", otgToHpKnob, 0, 0, QString(),
        text(QT_TR_NOOP("Phone To HP Volume")), [this](int v) { return applyOtgToHp(v); });
}

bool SingleInputPanel::applyMicGain(int value)
{
    const bool ok = sendMicGain(*channel, 1, value);
    table.save(*settings, micKnob);
    return ok;
}

bool SingleInputPanel::applyMicInstrument(bool on)
{
    const bool ok = sendInputSwitch(*channel, InputSwitch::Instrument, 1, on);
    if (ok)
        micInstrumentButton->setText(text(on ? QT_TR_NOOP("INST") : QT_TR_NOOP("MIC")));
    table.save(*settings, micInstrumentButton);
    return ok;
}

bool SingleInputPanel::applyMicPad(bool on)
{
    const bool ok = sendInputSwitch(*channel, InputSwitch::Pad, 1, on);
    table.save(*settings, micPadButton);
    return ok;
}

bool SingleInputPanel::applyMicPhantom(bool on)
{
    const bool ok = sendInputSwitch(*channel, InputSwitch::Phantom, 1, on);
    table.save(*settings, micPhantomButton);
    return ok;
}

bool SingleInputPanel::applyMonitorMic(bool on)
{
    const double cell = on ? 1.0 : 0.0;
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 0, cell);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 1, cell);
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set Monitor Mic.");
    if (ok)
        qDebug() << "Monitor Mic set to:" << int(on);
    table.save(*settings, micDirectButton);
    return ok;
}

bool SingleInputPanel::applyHeadphoneVolume(int value)
{
    const double gain = device::dbToGain(effectiveVolume(value, headphoneMuted, headphoneDimmed));
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kLeft, gain);
    mixerBlock.setVectorEntry(MixerStateBlock::kOutputGainVector, kRight, gain);
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set headphone volume.");
    if (ok && model.logsHeadphoneSuccess)
        qDebug() << "Headphone volume set to:" << gain;
    table.save(*settings, headphoneKnob);
    return ok;
}

bool SingleInputPanel::onHeadphoneMute(bool on)
{
    const bool ok = switchOutput(
        headphoneMuted, on, [this, on] { return applyHeadphoneVolume(on ? -80 : headphoneKnob->value); },
        "Headphone Mute Button Clicked: Mute ON", "Headphone Mute Button Clicked: Mute OFF");
    table.save(*settings, headphoneMuteButton);
    return ok;
}

bool SingleInputPanel::onHeadphoneDim(bool on)
{
    const bool ok = switchOutput(
        headphoneDimmed, on, [this] { return applyHeadphoneVolume(headphoneKnob->value); },
        "Headphone Dim Button Clicked: Dim ON", "Headphone Dim Button Clicked: Dim OFF");
    table.save(*settings, headphoneDimButton);
    return ok;
}

bool SingleInputPanel::applyOtgToHp(int value)
{
    // The phone input's left feeds the headphone's left, its right the right.
    const double gain = device::dbToGain(value);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 0, 2, gain);
    mixerBlock.setMatrixCell(MixerStateBlock::kMonitorMatrix, 1, 3, gain);
    const bool ok = writeBlock(*channel, mixerBlock, "Failed to set OTG to HP volume.");
    if (ok)
        qDebug() << "OTG to HP volume set to:" << gain;
    table.save(*settings, otgToHpKnob);
    return ok;
}

void SingleInputPanel::updateMeters()
{
    if (!readMeters(*channel, meterBlock))
        return;
    showReading(micLevelLabel, meterBlock.level(0));
    if (otgLevelLabel)
        showReading(otgLevelLabel, meterBlock.phoneLevel());
}
