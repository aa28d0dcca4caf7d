#pragma once

#include <QAccessibleWidget>

class Button;

// A switch as a screen reader sees it: a checkable button, checked while selected. Its selected
// flag is its own, not QAbstractButton's checked state, so the stock button interface misses it.
class ButtonAccessible : public QAccessibleWidget
{
public:
    explicit ButtonAccessible(Button *button);

    QAccessible::State state() const override;
    QString text(QAccessible::Text t) const override;
};
