#pragma once

#include "controls/FocusMark.h"

#include <QPushButton>
#include <QString>

class QFocusEvent;
class QGraphicsDropShadowEffect;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;

// Two-state switch with its own selected flag (not QAbstractButton's checkable state), styled by a
// generated style sheet and lit by a drop-shadow glow while selected. The owner writes the colour
// members, then calls updateStyle() once.
//
// Any mouse press toggles the flag and emits pressed(bool) twice with the new state, so slots must
// be idempotent. Space or Enter on the focused switch is exactly such a press (a held key toggles
// once); an outline in its own colour shows keyboard focus (see FocusMark), the style's own focus
// frame never shows.
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
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void toggleAsPressed();
    static bool isToggleKey(const QKeyEvent &event);

    FocusMark focusMark;
    bool selectedFlag = false;
    QGraphicsDropShadowEffect *glowEffect = nullptr;
};
