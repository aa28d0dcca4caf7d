#include "panels/PanelKit.h"

#include "controls/Button.h"
#include "controls/Knob.h"
#include "device/MeterBlock.h"
#include "device/OrvelinIoControl.h"
#include "storage/SettingsFile.h"

#include <QDebug>
#include <QDir>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

namespace panelkit {

const char *const kCaptionStyle = "font-size: 12px; color: white;";
const char *const kSmallCaptionStyle = "font-size: 10px; color: white;";

QLabel *caption(QWidget *panel, const QString &text, const QString &styleSheet)
{
    auto *label = new QLabel(text, panel);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(styleSheet);
    return label;
}

QLabel *sectionTitle(QWidget *panel, const QString &text)
{
    return caption(panel, text, QStringLiteral("font-weight: bold; font-size: 12px; color: white;"));
}

QLabel *readout(QWidget *panel)
{
    return caption(panel, QStringLiteral("-160 dB"), QStringLiteral("color: #888888; font-size: 8px;"));
}

void showReading(QLabel *readout, std::int32_t level)
{
    const QString text = MeterBlock::readoutText(level);
    if (readout->text() == text)
        return;
    // A label whose text changes asks its layout to run again, and with it every label of the
    // panel measures its text anew, twice a second for each readout. A reading never moves or
    // resizes its readout, so once the shown panel is laid out the readout keeps the size it was
    // given: a widget of fixed size does not disturb its layout.
    if (readout->isVisible() && readout->minimumSize() != readout->size())
        readout->setFixedSize(readout->size());
    readout->setText(text);
}

QFrame *separator(QWidget *panel)
{
    auto *line = new QFrame(panel);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setFixedWidth(1);
    line->setStyleSheet(QStringLiteral("background-color: #555555;"));
    return line;
}

Button *makeSwitch(QWidget *panel, const QString &text, const QString &selectedColour, SwitchParent parenting)
{
    Button *button;
    if (parenting == SwitchParent::AtConstruction) {
        button = new Button(text, panel);
    } else {
        button = new Button(text);
        button->setParent(panel);
    }
    button->cornerRadius = 3;
    button->normalTextColor = QStringLiteral("#8a95aa");
    button->selectedBackground = QStringLiteral("#1b1e23");
    button->normalBackground = QStringLiteral("#1b1e23");
    button->selectedTextColor = selectedColour;
    button->glowColor = selectedColour;
    button->setFixedWidth(80);
    button->updateStyle();
    return button;
}

Knob *makeGainKnob(QWidget *panel, int maximum)
{
    auto *knob = new Knob(panel);
    knob->setFixedSize(120, 120);
    knob->minimum = 0;
    knob->maximum = maximum;
    knob->value = 0;
    knob->textColor = QColor(QStringLiteral("#00ff7f"));
    knob->arcColor = QColor(QStringLiteral("#f1fa8c"));
    return knob;
}

namespace {

// A knob of a level that reaches ears: an output's volume or the phone input into it, in decibels.
// One key press raises it by a page at most, so a stray End cannot take a headphone from -40 to
// +6; lowering, the mouse and typed values are not held back.
Knob *makeOutputKnob(QWidget *panel, int side)
{
    auto *knob = new Knob(panel);
    knob->setFixedSize(side, side);
    knob->minimum = -80;
    knob->maximum = 6;
    knob->value = -80;
    knob->textColor = QColor(QStringLiteral("#00ff7f"));
    knob->keyRaiseLimit = Knob::kPageSteps;
    return knob;
}

} // namespace

Knob *makeVolumeKnob(QWidget *panel)
{
    return makeOutputKnob(panel, 120);
}

Knob *makePhoneKnob(QWidget *panel)
{
    Knob *knob = makeOutputKnob(panel, 70);
    knob->arcWidth = 3;
    knob->fontSize = 10;
    return knob;
}

QHBoxLayout *phoneRow(Knob *knob, QLabel *level, QLabel *captionLabel)
{
    auto *row = new QHBoxLayout;
    row->setAlignment(Qt::AlignCenter);
    row->setSpacing(8);
    row->addWidget(knob);
    auto *texts = new QVBoxLayout;
    texts->setAlignment(Qt::AlignCenter);
    texts->addWidget(level);
    texts->addWidget(captionLabel);
    row->addLayout(texts);
    return row;
}

QSettings *startPanel(QWidget *panel, OrvelinIoControl &channel, const char *name, const std::vector<int> &outputs)
{
    if (!channel.openDevice()) {
        qDebug().noquote() << QStringLiteral("Failed to create device in %1.").arg(QLatin1String(name));
        return nullptr;
    }
    bool volumeSet = true;
    for (int output : outputs)
        volumeSet = channel.setOutVolume(output, 100);
    if (!volumeSet)
        qDebug() << "Failed to set output volume.";
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(folder);
    return storage::openSettingsFile(folder + QStringLiteral("/%1.ini").arg(QLatin1String(name)), panel);
}

void startMeterTimer(QWidget *panel, std::function<void()> tick)
{
    auto *meterTimer = new QTimer(panel);
    QObject::connect(meterTimer, &QTimer::timeout, panel, std::move(tick));
    meterTimer->start(500);
}

void save(QSettings &settings, const QString &key, const QVariant &value)
{
    settings.setValue(key, value);
    storage::syncSettings(settings);
}

StoredControl stored(const char *key, Button *button)
{
    return StoredControl { key, button, nullptr, 0 };
}

StoredControl stored(const char *key, Knob *knob, int fallback)
{
    return StoredControl { key, nullptr, knob, fallback };
}

namespace {

void logUnreadable(const QString &key)
{
    qDebug().noquote() << QStringLiteral("Unreadable stored value for %1, its default is used.").arg(key);
}

// Text as read from the file, or a switch or number a writer in this process left in the shared
// cache; a list or any other type is unreadable.
QString storedText(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::QString:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString();
    default:
        return QString();
    }
}

} // namespace

bool storedSwitch(const QSettings &settings, const QString &key, bool fallback)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    const QString text = storedText(value);
    if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const qlonglong number = text.toLongLong(&ok);
    if (ok)
        return number != 0;
    logUnreadable(key);
    return fallback;
}

int storedNumber(const QSettings &settings, const QString &key, int fallback)
{
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const int number = storedText(value).toInt(&ok);
    if (ok)
        return number;
    logUnreadable(key);
    return fallback;
}

void restore(QSettings &settings, const std::vector<StoredControl> &controls)
{
    for (const StoredControl &control : controls) {
        const QString key = QString::fromLatin1(control.key);
        if (control.button)
            control.button->setSelected(storedSwitch(settings, key, false));
        else if (control.knob)
            control.knob->setValue(storedNumber(settings, key, control.fallback));
    }
    qDebug() << "已从配置文件加载控件状态";
}

int effectiveVolume(int knobValue, bool muted, bool dimmed)
{
    if (muted)
        return -80;
    return dimmed ? knobValue - 20 : knobValue;
}

bool sendMicGain(OrvelinIoControl &channel, int input, int value)
{
    const bool ok = channel.setMicVolume(input, 2 * value);
    if (ok)
        qDebug() << "Mic volume set to:" << value;
    else
        qDebug() << "Failed to set mic volume.";
    return ok;
}

bool sendInputSwitch(OrvelinIoControl &channel, InputSwitch which, int input, bool on)
{
    struct Kind
    {
        const char *clicked;
        const char *switched;
        const char *failed;
        bool (OrvelinIoControl::*request)(int, bool);
    };
    // In the order of InputSwitch.
    static const Kind kinds[] = {
        { "Mic Instr Button Clicked", "Mic instruction switched for channel 1.", "Failed to switch mic instruction.",
            &OrvelinIoControl::setMicInstrument },
        { "Mic 20dB Button Clicked", "Mic 20dB switched for channel 1.", "Failed to switch mic 20dB.",
            &OrvelinIoControl::setMic20dB },
        { "Mic 48V Button Clicked", "Mic 48V switched for channel 1.", "Failed to switch mic 48V.",
            &OrvelinIoControl::setMic48V },
    };
    const Kind &kind = kinds[static_cast<int>(which)];
    qDebug() << kind.clicked << int(on);
    const bool ok = (channel.*kind.request)(input, on);
    if (!ok)
        qDebug() << kind.failed;
    else if (input == 1)
        qDebug() << kind.switched;
    return ok;
}

bool switchOutput(
    bool &state, bool on, const std::function<bool()> &replayVolume, const char *onLine, const char *offLine)
{
    state = on;
    const bool ok = replayVolume();
    if (const char *line = on ? onLine : offLine)
        qDebug() << line;
    return ok;
}

bool writeBlock(OrvelinIoControl &channel, const MixerStateBlock &block, const char *failureLine)
{
    if (channel.writeMixerState(block))
        return true;
    if (failureLine)
        qDebug() << failureLine;
    return false;
}

bool readMeters(OrvelinIoControl &channel, MeterBlock &block)
{
    if (channel.readMeters(block))
        return true;
    qDebug() << "Failed to read meter data from driver.";
    return false;
}

} // namespace panelkit
