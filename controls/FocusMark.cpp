#include "controls/FocusMark.h"

#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QWidget>

void FocusMark::focusIn(Qt::FocusReason reason)
{
    switch (reason) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
    case Qt::OtherFocusReason:
        fromKeyboard = true;
        break;
    case Qt::MouseFocusReason:
        fromKeyboard = false;
        break;
    default: // the window or a popup gave the focus back: it looks as it did
        break;
    }
}

bool FocusMark::shown(const QWidget &control) const
{
    return fromKeyboard && control.hasFocus();
}

void FocusMark::draw(QPainter &painter, const QPainterPath &outline, const QColor &colour)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(colour, 2.0));
    painter.drawPath(outline);
    painter.restore();
}
