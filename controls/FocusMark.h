#pragma once

#include <QColor>
#include <QtGlobal>

class QPainter;
class QPainterPath;
class QWidget;

// Whether a control shows that it has the focus. The mark is for people who move the focus
// without a mouse: it shows after Tab or Shift+Tab and when a screen reader moves the focus
// (Qt's accessibility bridges call setFocus, whose reason is "other"), never after a mouse
// click and never just because the window became active. Coming back to an active window keeps
// whatever the control showed before.
class FocusMark
{
public:
    // Call from the control's focusInEvent.
    void focusIn(Qt::FocusReason reason);
    bool shown(const QWidget &control) const;

    // Strokes outline with a line of two logical pixels, so it stays as clear at 200 % as at 100 %.
    static void draw(QPainter &painter, const QPainterPath &outline, const QColor &colour);

private:
    bool fromKeyboard = false;
};
