#pragma once

#include <QPushButton>
#include <QString>

class QGraphicsDropShadowEffect;
class QMouseEvent;

// Two-state switch with its own selected flag (not QAbstractButton's checkable state), styled by a
// generated style sheet and lit by a drop-shadow glow while selected. The owner writes the colour
// members, then calls updateStyle() once.
//
// Any mouse press toggles the flag and emits pressed(bool) twice with the new state, so slots must
// be idempotent. The keyboard does not toggle it.
//
// pressed(bool) hides QAbstractButton::pressed() in Button's scope, so a plain member pointer picks
// the bool overload:
//     connect(button, &Button::pressed, this, [this](bool on) { ... });
// Through a pointer of a base type, or when in doubt, name it explicitly:
//     connect(button, QOverload<bool>::of(&Button::pressed), this, &Panel::onSwitch);
class Button : public QPushButton
{
    Q_OBJECT

public:
    explicit Button(const QString &text = QString(), QWidget *parent = nullptr);

    void setSelected(bool on); // always restyles and emits pressed(on)
    bool isSelected() const { return selectedFlag; }
    void updateStyle();

    QString label; // copy of the caption given to the constructor
    int cornerRadius = 3; // pixels
    QString selectedTextColor { "#000000" };
    QString normalTextColor { "#00ff7f" };
    QString glowColor { "#00ff7f" };
    QString selectedBackground { "#00ff7f" };
    QString normalBackground { "#1b1e23" };

signals:
    void selected(const QString &text); // declared for callers; the button never emits it
    void pressed(bool status);

protected:
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool selectedFlag = false;
    QGraphicsDropShadowEffect *glowEffect = nullptr;
};
