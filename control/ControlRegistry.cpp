#include "control/ControlRegistry.h"

#include "controls/Button.h"
#include "controls/ButtonAccessible.h"
#include "controls/Knob.h"
#include "controls/KnobGeometry.h"
#include "device/OrvelinIoControl.h"
#include "panels/ControlTable.h"

#include <QJsonArray>

namespace {

using Row = ControlTable::Row;

QJsonObject unknownControl(const QString &name)
{
    return ControlRegistry::error(
        "unknown-control", QStringLiteral("There is no control named \"%1\" on this model.").arg(name));
}

// The lowest and highest numbers a knob shows.
qint64 shownMinimum(const Knob &knob)
{
    return knobShownNumber(knob.minimum, knob.displayOffset);
}

qint64 shownMaximum(const Knob &knob)
{
    return knobShownNumber(knob.maximum, knob.displayOffset);
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
        return QString::number(knobShownNumber(r.knob->value, r.knob->displayOffset));
    return r.button->isSelected() ? QStringLiteral("on") : QStringLiteral("off");
}

QJsonObject ControlRegistry::error(const QString &code, const QString &message)
{
    return QJsonObject { { "ok", false }, { "error", code }, { "message", message } };
}

bool ControlRegistry::parseSwitch(const QString &text, bool &on)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("on") || t == QLatin1String("true") || t == QLatin1String("1")) {
        on = true;
        return true;
    }
    if (t == QLatin1String("off") || t == QLatin1String("false") || t == QLatin1String("0")) {
        on = false;
        return true;
    }
    return false;
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
        return error("no-device", "No device is connected.");
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
        return error("no-device", "No device is connected.");
    const Row *row = table->find(name);
    if (!row)
        return unknownControl(name);
    return QJsonObject { { "ok", true }, { "name", name }, { "value", valueText(int(row - table->rows().data())) } };
}

QJsonObject ControlRegistry::check(int index, const QString &text, bool shown, int &value) const
{
    const Row &row = table->rows()[std::size_t(index)];
    const QString name = QString::fromLatin1(row.name);
    if (!row.knob) {
        if (shown && text.trimmed().compare(QLatin1String("toggle"), Qt::CaseInsensitive) == 0) {
            value = kToggle;
            return {};
        }
        bool on = false;
        if (!parseSwitch(text, on))
            return error("bad-value",
                QStringLiteral("%1 takes on, off%2, not \"%3\".")
                    .arg(name, shown ? QStringLiteral(" or toggle") : QString(), text));
        value = on ? 1 : 0;
        return {};
    }
    const Knob &knob = *row.knob;
    // A set speaks the knob's shown number, a preset the INI file's stored value.
    const qint64 low = shown ? shownMinimum(knob) : knob.minimum;
    const qint64 high = shown ? shownMaximum(knob) : knob.maximum;
    if (!parseWhole(text, value))
        return error("bad-value", QStringLiteral("%1 takes a whole number, not \"%2\".").arg(name, text));
    if (value < low || value > high)
        return error("bad-value",
            QStringLiteral("%1 takes %2 to %3; %4 is out of range.").arg(name).arg(low).arg(high).arg(value));
    // The knob's editor takes a typed number the same way.
    if (shown)
        value = knobValueFromTyped(value, knob.displayOffset, knob.minimum, knob.maximum);
    return {};
}

QJsonObject ControlRegistry::set(const Pairs &pairs)
{
    if (!connected())
        return error("no-device", "No device is connected.");
    if (pairs.isEmpty())
        return error("usage", "set needs NAME VALUE pairs.");
    QVector<Change> changes;
    for (const auto &pair : pairs) {
        const Row *row = table->find(pair.first);
        if (!row)
            return unknownControl(pair.first);
        const int index = int(row - table->rows().data());
        int value = 0;
        const QJsonObject bad = check(index, pair.second, true, value);
        if (!bad.isEmpty())
            return bad;
        changes.push_back({ index, value, false });
    }
    return apply(changes);
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
                = error("refused", QStringLiteral("The device refused the change of %1.").arg(QLatin1String(row.name)));
            reply.insert("control", QString::fromLatin1(row.name));
            return reply;
        }
    }
    return QJsonObject { { "ok", true } };
}

QJsonObject ControlRegistry::dump()
{
    if (!connected())
        return error("no-device", "No device is connected.");
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
        return error("no-device", "No device is connected.");
    if (modelKey(presetModel) != modelKey(model))
        return error(
            "wrong-model", QStringLiteral("The preset is for the %1, the device is a %2.").arg(presetModel, model));
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
        const QJsonObject bad = check(index, pair.second, false, values[index]);
        if (!bad.isEmpty())
            return error(
                "bad-value", QStringLiteral("The preset's %1: %2").arg(pair.first, bad.value("message").toString()));
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
