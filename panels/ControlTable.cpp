#include "panels/ControlTable.h"

namespace controltable {

namespace {

const std::vector<Row> kKa1 = {
    { "mic.inst", "micInstrumentButton", "Button/MicInstrIsChecked", "INPUT", nullptr },
    { "mic.pad", "micPadButton", "Button/Mic20dBIsChecked", "INPUT", nullptr },
    { "mic.phantom", "micPhantomButton", "Button/Mic48VIsChecked", "INPUT", nullptr },
    { "mic.direct", "micDirectButton", "Button/MonitorMicIsChecked", "INPUT", nullptr },
    { "mic.gain", "micKnob", "Dial/MicValue", "INPUT", "Gain" },
    { "headphone.volume", "headphoneKnob", "Dial/HeadphoneValue", "HEADPHONE", "Volume" },
    { "headphone.mute", "headphoneMuteButton", "Button/HeadphoneMuteIsChecked", "HEADPHONE", nullptr },
    { "headphone.dim", "headphoneDimButton", "Button/HeadphoneDimIsChecked", "HEADPHONE", nullptr },
    { "phone.headphone", "otgToHpKnob", "Dial/OtgToHpValue", nullptr, "Phone To HP Volume" },
};

const std::vector<Row> kKv = {
    { "mic.direct", "micDirectButton", "Button/MonitorMicIsChecked", "MIC", nullptr },
    { "mic.gain", "micKnob", "Dial/MicValue", "MIC", "Gain" },
    { "headphone.volume", "headphoneKnob", "Dial/HeadphoneValue", "HEADPHONE", "Volume" },
    { "headphone.mute", "headphoneMuteButton", "Button/HeadphoneMuteIsChecked", "HEADPHONE", nullptr },
    { "headphone.dim", "headphoneDimButton", "Button/HeadphoneDimIsChecked", "HEADPHONE", nullptr },
};

// The two-input panels restore the input types first.
std::vector<Row> dualRows(bool instrumentSwitches)
{
    std::vector<Row> rows;
    if (instrumentSwitches) {
        rows.push_back({ "mic1.inst", "mic1InstrumentButton", "Button/Mic1InstrIsChecked", "MIC1", nullptr });
        rows.push_back({ "mic2.inst", "mic2InstrumentButton", "Button/Mic2InstrIsChecked", "MIC2", nullptr });
    }
    const std::vector<Row> rest = {
        { "mic1.pad", "mic1PadButton", "Button/Mic120dBIsChecked", "MIC1", nullptr },
        { "mic1.phantom", "mic1PhantomButton", "Button/Mic148VIsChecked", "MIC1", nullptr },
        { "mic1.direct", "mic1DirectButton", "Button/MonitorMic1IsChecked", "MIC1", nullptr },
        { "mic1.gain", "mic1Knob", "Dial/Mic1Value", "MIC1", "Gain" },
        { "mic2.gain", "mic2Knob", "Dial/Mic2Value", "MIC2", "Gain" },
        { "mic2.pad", "mic2PadButton", "Button/Mic220dBIsChecked", "MIC2", nullptr },
        { "mic2.phantom", "mic2PhantomButton", "Button/Mic248VIsChecked", "MIC2", nullptr },
        { "mic2.direct", "mic2DirectButton", "Button/MonitorMic2IsChecked", "MIC2", nullptr },
        { "speaker.volume", "speakerKnob", "Dial/SpeakerValue", "SPEAKER", "Volume" },
        { "speaker.mute", "speakerMuteButton", "Button/SpeakerMuteIsChecked", "SPEAKER", nullptr },
        { "speaker.dim", "speakerDimButton", "Button/SpeakerDimIsChecked", "SPEAKER", nullptr },
        { "headphone.volume", "headphoneKnob", "Dial/HeadphoneValue", "HEADPHONE", "Volume" },
        { "headphone.mute", "headphoneMuteButton", "Button/HeadphoneMuteIsChecked", "HEADPHONE", nullptr },
        { "headphone.source", "headphoneSourceButton", "Button/HeadphoneSourceIsChecked", "HEADPHONE", nullptr },
        { "phone.headphone", "otgToHpKnob", "Dial/OtgToHpValue", nullptr, "Phone To HP Volume" },
        { "phone.speaker", "otgToSpKnob", "Dial/OtgToSPValue", nullptr, "Phone To SP Volume" },
    };
    rows.insert(rows.end(), rest.begin(), rest.end());
    return rows;
}

const std::vector<Row> kNone;

} // namespace

const std::vector<Row> &rows(const QString &panelClass)
{
    static const std::vector<Row> ka2 = dualRows(false);
    static const std::vector<Row> ka2se = dualRows(true);
    if (panelClass == QLatin1String("ka1"))
        return kKa1;
    if (panelClass == QLatin1String("kv"))
        return kKv;
    if (panelClass == QLatin1String("ka2"))
        return ka2;
    if (panelClass == QLatin1String("ka2se"))
        return ka2se;
    return kNone;
}

QString modelName(const QString &panelClass)
{
    if (panelClass == QLatin1String("ka1"))
        return QStringLiteral("KA1");
    if (panelClass == QLatin1String("kv"))
        return QStringLiteral("KV");
    if (panelClass == QLatin1String("ka2"))
        return QStringLiteral("KA2");
    if (panelClass == QLatin1String("ka2se"))
        return QStringLiteral("KA2 SE");
    return QString();
}

} // namespace controltable
