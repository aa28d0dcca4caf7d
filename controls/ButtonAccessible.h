#pragma once

#include <QAccessibleWidget>

class Button;

// A switch as a screen reader sees it: a checkable button, checked while selected. Its selected
// flag is its own, not QAbstractButton's checked state, so the stock button interface misses it.
// Its toggle action is a mouse press, so the panel's handler runs as for a click.
class ButtonAccessible : public QAccessibleWidget
{
public:
    explicit ButtonAccessible(Button *button);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;

    // A left press and release, as the mouse gives them.
    static void pressAsMouse(Button *button);
};
