#include "controls/KnobAccessible.h"

#include "controls/Button.h"
#include "controls/ButtonAccessible.h"
#include "controls/Knob.h"
#include "controls/KnobGeometry.h"

KnobAccessible::KnobAccessible(Knob *knob)
    : QAccessibleWidget(knob, QAccessible::Dial)
{ }

Knob *KnobAccessible::knob() const
{
    return static_cast<Knob *>(widget());
}

void *KnobAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString KnobAccessible::text(QAccessible::Text t) const
{
    if (t == QAccessible::Value)
        return controls::knobText(knob()->value, knob()->displayOffset, knob()->suffix); // as painted
    return QAccessibleWidget::text(t);
}

// Values here are the numbers the knob shows: a gain painted "21dB" is 21.
QVariant KnobAccessible::currentValue() const
{
    return controls::knobShownNumber(knob()->value, knob()->displayOffset);
}

void KnobAccessible::setCurrentValue(const QVariant &value)
{
    // The same road as a typed value: the same conversion, bounded by the knob, then the panel's
    // handler runs.
    bool ok = false;
    const int v = value.toInt(&ok);
    if (ok)
        knob()->setValue(controls::knobValueFromTyped(v, knob()->displayOffset, knob()->minimum, knob()->maximum));
}

QVariant KnobAccessible::maximumValue() const
{
    return controls::knobShownNumber(knob()->maximum, knob()->displayOffset);
}

QVariant KnobAccessible::minimumValue() const
{
    return controls::knobShownNumber(knob()->minimum, knob()->displayOffset);
}

QVariant KnobAccessible::minimumStepSize() const
{
    return 1;
}

QAccessibleInterface *KnobAccessible::factory(const QString &className, QObject *object)
{
    if (className == QLatin1String("Knob") && object && object->isWidgetType())
        return new KnobAccessible(static_cast<Knob *>(object));
    if (className == QLatin1String("Button") && object && object->isWidgetType())
        return new ButtonAccessible(static_cast<Button *>(object));
    return nullptr;
}
