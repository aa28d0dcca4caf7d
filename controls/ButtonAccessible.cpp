#include "controls/ButtonAccessible.h"

#include "controls/Button.h"

ButtonAccessible::ButtonAccessible(Button *button)
    : QAccessibleWidget(button, QAccessible::CheckBox)
{ }

QAccessible::State ButtonAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = static_cast<Button *>(widget())->isSelected();
    return s;
}

QString ButtonAccessible::text(QAccessible::Text t) const
{
    const QString own = QAccessibleWidget::text(t);
    if (t == QAccessible::Name && own.isEmpty())
        return static_cast<Button *>(widget())->text();
    return own;
}
