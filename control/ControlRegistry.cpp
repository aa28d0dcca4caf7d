#include "control/ControlRegistry.h"

#include "controls/Button.h"
#include "controls/ButtonAccessible.h"
#include "controls/Knob.h"
#include "controls/KnobGeometry.h"
#include "device/OrvelinIoControl.h"
#include "panels/ControlTable.h"

#include <QHash>
#include <QJsonArray>
#include <QStringList>

#include <algorithm>
#include <vector>

namespace {

using Row = ControlTable::Row;

QJsonObject unknownControl(const QString &name)
{
    return ControlRegistry::error(
        "unknown-control", QStringLiteral("There is no control named \"%1\" on this model").arg(name));
}

QJsonObject noDevice()
{
    return ControlRegistry::error("no-device", "No device is connected");
}

QJsonObject badValue(const QString &message)
{
    return ControlRegistry::error("bad-value", message);
}

// "a, b or c".
QString alternatives(const QStringList &words)
{
    if (words.size() < 2)
        return words.join(QString());
    return words.mid(0, words.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" or ") + words.back();
}

// The numbers a knob can show, as the ranges a message names: "-80 to 6", "0 or 10 to 65" (a
// value of 0 shows 0 whatever the offset, so an offset leaves a gap above it).
QString shownRanges(const Knob &knob)
{
    if (qint64(knob.maximum) - knob.minimum > 100000)
        return QStringLiteral("%1 to %2").arg(knob.minimum).arg(knob.maximum);
    std::vector<qint64> shown;
    for (qint64 v = knob.minimum; v <= knob.maximum; ++v)
        shown.push_back(controls::knobShownNumber(int(v), knob.displayOffset));
    std::sort(shown.begin(), shown.end());
    shown.erase(std::unique(shown.begin(), shown.end()), shown.end());
    QStringList runs;
    for (std::size_t i = 0; i < shown.size();) {
        std::size_t j = i;
        while (j + 1 < shown.size() && shown[j + 1] == shown[j] + 1)
            ++j;
        runs << (i == j ? QString::number(shown[i]) : QStringLiteral("%1 to %2").arg(shown[i]).arg(shown[j]));
        i = j + 1;
    }
    return alternatives(runs);
}

// A relative step as mixer tools write it: "2dB+" and "2dB-" (the unit may be left out), and on a
// knob without a unit "+2" and "-2". The size is read as the knob's editor reads a number.
bool parseStep(const QString &text, const QString &suffix, int &step)
{
    const QString t = text.trimmed();
    if (t.size() < 2)
        return false;
    QChar sign = t.back();
    QString size = t.chopped(1);
    if (sign != QLatin1Char('+') && sign != QLatin1Char('-')) {
        if (!suffix.isEmpty() || (t.front() != QLatin1Char('+') && t.front() != QLatin1Char('-')))
            return false;
        sign = t.front();
        size = t.mid(1);
    }
    if (size.startsWith(QLatin1Char('+')) || size.startsWith(QLatin1Char('-'))
        || !controls::knobParseTyped(size, suffix, step) || step < 0)
        return false;
    if (sign == QLatin1Char('-'))
        step = -step;
    return true;
}

// The lowest and highest numbers a knob shows.
qint64 shownMinimum(const Knob &knob)
{
    return controls::knobShownNumber(knob.minimum, knob.displayOffset);
}

qint64 shownMaximum(const Knob &knob)
{
    return controls::knobShownNumber(knob.maximum, knob.displayOffset);
}

// "KA2 SE", "ka2se" and "KA2SE" name the same model.
QString modelKey(QString model)
{
    return model.remove(QLatin1Char(' ')).toLower();
}

} // namespace

ControlRegistry::ControlRegistry(QObject *parent)
    : QObject(parent)
{ }

void ControlRegistry::follow(ControlTable *controls, const QString &modelName, const QString &firmwareText)
{
    forget();
    // A panel without controls: its device did not open. It is no panel at all.
    if (!controls || controls->rows().empty())
        return;
    table = controls;
    model = modelName;
    firmware = firmwareText;
    connect(controls, &ControlTable::changed, this, [this](const QString &name) {
        if (!table)
            return;
        for (std::size_t i = 0; i < table->rows().size(); ++i)
            if (name == QLatin1String(table->rows()[i].name))
                emit changed(name, valueText(int(i)));
    });
    connect(controls, &QObject::destroyed, this, [this] { forget(); });
    emit deviceChanged(true, model);
}

void ControlRegistry::forget()
{
    const bool was = !model.isEmpty();
    if (table)
        table->disconnect(this);
    table = nullptr;
    model.clear();
    firmware.clear();
    if (was)
        emit deviceChanged(false, QString());
}

bool ControlRegistry::connected() const
{
    return table && !table->rows().empty();
}

QString ControlRegistry::valueText(int row) const
{
    const Row &r = table->rows()[std::size_t(row)];
    if (r.knob)
        return QString::number(controls::knobShownNumber(r.knob->value, r.knob->displayOffset));
    return r.button->isSelected() ? QStringLiteral("on") : QStringLiteral("off");
}

QJsonObject ControlRegistry::error(const QString &code, const QString &message)
{
    return QJsonObject { { "ok", false }, { "error", code }, { "message", message } };
}

bool ControlRegistry::parseSwitch(const QString &text, bool &on)
{
    static const QStringList onWords { "on", "true", "1", "yes" };
    static const QStringList offWords { "off", "false", "0", "no" };
    const QString t = text.trimmed().toLower();
    on = onWords.contains(t);
    return on || offWords.contains(t);
}

bool ControlRegistry::parseWhole(const QString &text, int &value)
{
    // "+3" reads as three steps up to users of other mixers; no sign but the minus is taken.
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1Char('+')))
        return false;
    bool ok = false;
    value = t.toInt(&ok, 10);
    return ok;
}

QJsonObject ControlRegistry::status()
{
    QJsonObject reply { { "ok", true } };
    reply.insert("connected", connected());
    if (!connected())
        return reply;
    reply.insert("model", model);
    reply.insert("firmware", firmware);
    OrvelinIoControl channel;
    std::uint32_t rate = 0;
    if (channel.openDevice() && channel.getSampleRate(rate))
        reply.insert("sampleRate", double(rate));
    channel.closeDevice();
    return reply;
}

QJsonObject ControlRegistry::list()
{
    if (!connected())
        return noDevice();
    QJsonArray items;
    for (std::size_t i = 0; i < table->rows().size(); ++i) {
        const Row &row = table->rows()[i];
        QJsonObject item { { "name", QString::fromLatin1(row.name) }, { "label", row.label() },
            { "kind", row.knob ? "knob" : "switch" }, { "value", valueText(int(i)) } };
        if (row.knob) {
            item.insert("min", double(shownMinimum(*row.knob)));
            item.insert("max", double(shownMaximum(*row.knob)));
            item.insert("unit", row.knob->suffix);
        }
        items.append(item);
    }
    return QJsonObject { { "ok", true }, { "controls", items } };
}

QJsonObject ControlRegistry::get(const QString &name)
{
    if (!connected())
        return noDevice();
    const Row *row = table->find(name);
    if (!row)
        return unknownControl(name);
    return QJsonObject { { "ok", true }, { "name", name }, { "value", valueText(int(row - table->rows().data())) } };
}

QJsonObject ControlRegistry::check(int index, const QString &text, bool shown, int current, int &value) const
{
    const Row &row = table->rows()[std::size_t(index)];
    const QString name = QString::fromLatin1(row.name);
    if (!row.knob) {
        const QString word = text.trimmed().toLower();
        // A mute switch also takes the words mixer tools use for it.
        const bool muteSwitch = shown && name.endsWith(QLatin1String(".mute"));
        bool on = false;
        if (shown && word == QLatin1String("toggle"))
            value = kToggle;
        else if (muteSwitch && (word == QLatin1String("mute") || word == QLatin1String("unmute")))
            value = word == QLatin1String("mute") ? 1 : 0;
        else if (parseSwitch(word, on))
            value = on ? 1 : 0;
        else
            return badValue(
                QStringLiteral("The switch %1 takes %2, not \"%3\"")
                    .arg(name,
                        alternatives(QStringList { "on", "off" }
                            + (muteSwitch ? QStringList { "mute", "unmute" } : QStringList())
                            + QStringList { "yes", "no" } + (shown ? QStringList { "toggle" } : QStringList())),
                        text));
        return {};
    }
    const Knob &knob = *row.knob;
    if (!shown) {
        // A preset holds the INI file's stored value: a whole number within the knob's range.
        if (!parseWhole(text, value))
            return badValue(QStringLiteral("The knob %1 takes a whole number, not \"%2\"").arg(name, text));
        if (value < knob.minimum || value > knob.maximum)
            return badValue(QStringLiteral("The value %1 is out of range: %2 takes %3 to %4")
                                .arg(value)
                                .arg(name)
                                .arg(knob.minimum)
                                .arg(knob.maximum));
        return {};
    }
    // A step stops at the end of the range, as the wheel does.
    int step = 0;
    if (parseStep(text, knob.suffix, step)) {
        value = controls::boundKnobValue(qint64(current) + step, knob.minimum, knob.maximum);
        return {};
    }
    const QString example = QStringLiteral("1%1+").arg(knob.suffix);
    if (text.trimmed().startsWith(QLatin1Char('+')))
        return badValue(
            QStringLiteral("The knob %1 takes a step as %2 or 1%3-, not \"%4\"").arg(name, example, knob.suffix, text));
    int typed = 0;
    if (!controls::knobParseTyped(text.trimmed(), knob.suffix, typed))
        return badValue(
            QStringLiteral("The knob %1 takes a whole number such as -20 or -20%2, or a step such as %3, not \"%4\"")
                .arg(name, knob.suffix, example, text));
    // The number is taken as the knob's editor takes it; one the knob cannot show is refused, not
    // set to the nearest one it can.
    value = controls::knobValueFromTyped(typed, knob.displayOffset, knob.minimum, knob.maximum);
    if (controls::knobShownNumber(value, knob.displayOffset) != typed)
        return badValue(
            QStringLiteral("The value %1 is out of range: %2 takes %3").arg(typed).arg(name, shownRanges(knob)));
    return {};
}

QJsonObject ControlRegistry::set(const Pairs &pairs)
{
    if (!connected())
        return noDevice();
    if (pairs.isEmpty())
        return error("usage", "Set needs NAME VALUE pairs");
    QVector<Change> changes;
    // A knob named twice steps on from the value the first pair gives it.
    QHash<int, int> pending;
    QVector<int> named;
    for (const auto &pair : pairs) {
        const Row *row = table->find(pair.first);
        if (!row)
            return unknownControl(pair.first);
        const int index = int(row - table->rows().data());
        int value = 0;
        const QJsonObject bad
            = check(index, pair.second, true, pending.value(index, row->knob ? row->knob->value : 0), value);
        if (!bad.isEmpty())
            return bad;
        pending.insert(index, value);
        if (!named.contains(index))
            named.push_back(index);
        changes.push_back({ index, value, false });
    }
    QJsonObject reply = apply(changes);
    if (!reply.value("ok").toBool())
        return reply;
    // What was set, as it now is: a step past the end of the range shows where it stopped.
    QJsonArray set;
    for (int index : named)
        set.append(QJsonObject {
            { "name", QString::fromLatin1(table->rows()[std::size_t(index)].name) }, { "value", valueText(index) } });
    reply.insert("controls", set);
    return reply;
}

QJsonObject ControlRegistry::apply(const QVector<Change> &changes)
{
    for (const Change &change : changes) {
        const Row &row = table->rows()[std::size_t(change.row)];
        const bool ok = table->accepted([&] {
            if (row.knob) {
                row.knob->setValue(change.value);
            } else if (change.asRestore) {
                row.button->setSelected(change.value != 0);
            } else if (change.value == kToggle || row.button->isSelected() != (change.value != 0)) {
                // A press, as the mouse gives it: the switch toggles and its handler runs.
                ButtonAccessible::pressAsMouse(row.button);
            }
        });
        if (!ok) {
            // What follows the refused control is left as it is.
            QJsonObject reply
                = error("refused", QStringLiteral("The device refused the change of %1").arg(QLatin1String(row.name)));
            reply.insert("control", QString::fromLatin1(row.name));
            return reply;
        }
    }
    return QJsonObject { { "ok", true } };
}

QJsonObject ControlRegistry::dump()
{
    if (!connected())
        return noDevice();
    QJsonObject values;
    for (const Row &row : table->rows()) {
        const QString key = QString::fromLatin1(row.key);
        if (row.knob)
            values.insert(key, row.knob->value);
        else
            values.insert(key, row.button->isSelected());
    }
    return QJsonObject { { "ok", true }, { "model", model }, { "values", values } };
}

QJsonObject ControlRegistry::load(const QString &presetModel, const Pairs &keyValues)
{
    if (!connected())
        return noDevice();
    if (modelKey(presetModel) != modelKey(model))
        return error(
            "wrong-model", QStringLiteral("The preset is for the %1, the device is a %2").arg(presetModel, model));
    const std::vector<Row> &rows = table->rows();
    const int count = int(rows.size());
    QVector<int> values(count, 0);
    QVector<bool> given(count, false);
    QJsonArray unknown;
    for (const auto &pair : keyValues) {
        int index = -1;
        for (int i = 0; i < count; ++i)
            if (pair.first == QLatin1String(rows[std::size_t(i)].key))
                index = i;
        if (index < 0) {
            unknown.append(pair.first);
            continue;
        }
        const QJsonObject bad = check(index, pair.second, false, 0, values[index]);
        if (!bad.isEmpty())
            return error(
                "bad-value", QStringLiteral("%1 (the preset's %2)").arg(bad.value("message").toString(), pair.first));
        given[index] = true;
    }
    // Every control is replayed in the restoring order, those the preset leaves out with their
    // present value, as a restart with the preset's values stored would replay them.
    QVector<Change> changes;
    for (int i = 0; i < count; ++i)
        changes.push_back({ i, given[i] ? values[i] : rows[std::size_t(i)].storedValue(), true });
    QJsonObject reply = apply(changes);
    reply.insert("unknown", unknown);
    return reply;
}
