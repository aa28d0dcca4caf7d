#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

class Knob;

// A knob as a screen reader sees it: a focusable dial with its current, minimum and maximum value
// in the units it shows, its text as painted. A value set through this interface goes through
// setValue, so the panel's handler runs as for a typed value; the reader's own keys reach the
// focused knob as any keys do.
class KnobAccessible : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit KnobAccessible(Knob *knob);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text t) const override;

    QVariant currentValue() const override;
    void setCurrentValue(const QVariant &value) override;
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override;

    // The factory QAccessible::installFactory takes for knobs and switches.
    static QAccessibleInterface *factory(const QString &className, QObject *object);

private:
    Knob *knob() const;
};
