#include "panels/ControlTable.h"

#include "controls/Button.h"
#include "controls/Knob.h"
#include "controls/KnobGeometry.h"
#include "panels/PanelKit.h"

#include <QAccessible>
#include <QSettings>

QWidget *ControlTable::Row::widget() const
{
    return knob ? static_cast<QWidget *>(knob) : static_cast<QWidget *>(button);
}

QString ControlTable::Row::label() const
{
    return section.isEmpty() ? caption : section + QLatin1Char(' ') + caption;
}

int ControlTable::Row::storedValue() const
{
    return knob ? knob->value : int(button->isSelected());
}

ControlTable::ControlTable(QObject *parent)
    : QObject(parent)
{ }

void ControlTable::addSwitch(const char *name, const char *key, Button *button, const QString &section,
    const QString &caption, SwitchHandler handler)
{
    if (!button)
        return;
    const std::size_t index = table.size();
    table.push_back(Row { name, key, button, nullptr, 0, section, caption });
    lastTold.push_back(0);
    // A screen reader names the switch by what it switches; its state is the checked state.
    button->setAccessibleName(table.back().label());
    connect(button, &Button::pressed, this,
        [this, index, handler = std::move(handler)](bool on) { handled(index, handler(on)); });
}

void ControlTable::addKnob(const char *name, const char *key, Knob *knob, int fallback, int displayOffset,
    const QString &section, const QString &caption, KnobHandler handler)
{
    if (!knob)
        return;
    const std::size_t index = table.size();
    table.push_back(Row { name, key, nullptr, knob, fallback, section, caption });
    lastTold.push_back(0);
    knob->displayOffset = displayOffset;
    knob->setAccessibleName(table.back().label());
    connect(knob, &Knob::valueChangedSig, this,
        [this, index, handler = std::move(handler)](int value) { handled(index, handler(value)); });
}

const ControlTable::Row *ControlTable::find(const QString &name) const
{
    for (const Row &row : table)
        if (name == QLatin1String(row.name))
            return &row;
    return nullptr;
}

void ControlTable::restore(QSettings &settings)
{
    std::vector<panelkit::StoredControl> controls;
    for (const Row &row : table)
        controls.push_back(
            row.knob ? panelkit::stored(row.key, row.knob, row.fallback) : panelkit::stored(row.key, row.button));
    panelkit::restore(settings, controls);
    // What start-up restored is where changes are told from.
    for (std::size_t i = 0; i < table.size(); ++i)
        lastTold[i] = table[i].storedValue();
}

void ControlTable::save(QSettings &settings, const QWidget *widget) const
{
    for (const Row &row : table) {
        if (row.widget() != widget)
            continue;
        if (row.knob)
            panelkit::save(settings, QString::fromLatin1(row.key), row.knob->value);
        else
            panelkit::save(settings, QString::fromLatin1(row.key), row.button->isSelected());
        return;
    }
}

bool ControlTable::accepted(const std::function<void()> &change)
{
    allAccepted = true;
    change();
    const bool ok = allAccepted;
    allAccepted = true;
    return ok;
}

void ControlTable::handled(std::size_t index, bool ok)
{
    allAccepted = allAccepted && ok;
    const Row &row = table[index];
    const int value = row.storedValue();
    if (lastTold[index] == value)
        return;
    lastTold[index] = value;
    // Qt passes these on only while a screen reader listens.
    if (row.knob) {
        QAccessibleValueChangeEvent event(row.knob, int(controls::knobShownNumber(value, row.knob->displayOffset)));
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessible::State state;
        state.checked = true;
        QAccessibleStateChangeEvent event(row.button, state);
        QAccessible::updateAccessibility(&event);
    }
    emit changed(QString::fromLatin1(row.name));
}
