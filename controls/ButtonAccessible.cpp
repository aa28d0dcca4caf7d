#include "controls/ButtonAccessible.h"

#include "controls/Button.h"

#include <QCoreApplication>
#include <QMouseEvent>

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

QStringList ButtonAccessible::actionNames() const
{
    return QStringList { toggleAction() } + QAccessibleWidget::actionNames();
}

void ButtonAccessible::doAction(const QString &actionName)
{
    if (actionName == toggleAction())
        pressAsMouse(static_cast<Button *>(widget()));
    else
        QAccessibleWidget::doAction(actionName);
}

void ButtonAccessible::pressAsMouse(Button *button)
{
    const QPointF centre = QRectF(button->rect()).center();
    const QPointF global = button->mapToGlobal(centre);
    QMouseEvent press(QEvent::MouseButtonPress, centre, global, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(button, &release);
}
