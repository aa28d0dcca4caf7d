#include "controls/Knob.h"

#include "controls/KnobGeometry.h"

#include <QConicalGradient>
#include <QFont>
#include <QFontMetrics>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPen>
#include <QRadialGradient>
#include <QWheelEvent>

namespace {
// The arcs start at the lower left and run clockwise over the top.
constexpr int kArcStart = 225 * 16;
constexpr int kTrackSpan = -270 * 16;
} // namespace

Knob::Knob(QWidget *parent)
    : QWidget(parent)
    , editor(new QLineEdit(this))
{
    editor->hide();
    connect(editor, &QLineEdit::editingFinished, this, &Knob::finishEdit);
}

void Knob::setValue(int v)
{
    changeTo(v);
}

void Knob::changeTo(qint64 v)
{
    value = boundKnobValue(v, minimum, maximum);
    emit valueChangedSig(value);
    update();
}

void Knob::paintEvent(QPaintEvent *)
{
    const int w = width();
    const int h = height();
    const int a = arcWidth;
    const double bodyWidth = w - 2 * a;
    const QRect arcRect = knobArcRect(w, h, a);

    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(QFont(fontFamily, fontSize));
    painter.setPen(Qt::NoPen);

    QPen pen;
    pen.setWidth(a);
    if (roundCap)
        pen.setCapStyle(Qt::RoundCap);

    if (showTrack) {
        pen.setColor(trackColor);
        painter.setPen(pen);
        painter.drawArc(arcRect, kArcStart, kTrackSpan);
    }

    QConicalGradient arcGradient(w / 2, h / 2, 270);
    arcGradient.setColorAt(0, arcColor);
    arcGradient.setColorAt(1, arcColor);
    pen.setBrush(arcGradient);
    painter.setPen(pen);
    painter.drawArc(arcRect, kArcStart, knobArcSpan(value, minimum, maximum));

    // The light falls from the top-left corner onto both discs.
    QRadialGradient shadowGradient(0, 0, 0.6 * bodyWidth);
    shadowGradient.setColorAt(0, QColor(255, 255, 255));
    shadowGradient.setColorAt(1, QColor(20, 20, 20));
    pen.setWidth(0);
    pen.setBrush(shadowGradient);
    painter.setPen(pen);
    painter.setBrush(shadowGradient);
    painter.drawEllipse(knobShadowRect(w, a, bodyRatio));

    QRadialGradient bodyGradient(0, 0, 0.5 * bodyWidth);
    bodyGradient.setColorAt(0, QColor(255, 255, 255));
    bodyGradient.setColorAt(1, QColor(30, 30, 30));
    pen.setBrush(bodyGradient);
    painter.setPen(pen);
    painter.setBrush(bodyGradient);
    painter.drawEllipse(knobBodyRect(w, a, bodyRatio));

    if (showText) {
        pen.setColor(textColor);
        painter.setPen(pen);
        const QString text = knobText(value, displayOffset, suffix);
        textRect = QFontMetrics(painter.font()).boundingRect(QRect(0, 0, w, h), Qt::AlignCenter, text);
        painter.drawText(textRect, Qt::AlignCenter, text);
    }
}

void Knob::mousePressEvent(QMouseEvent *event)
{
    if (event->modifiers() & Qt::ControlModifier)
        changeTo(minimum);
}

void Knob::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (showText && textRect.contains(event->position().toPoint())) {
        editor->setText(knobEditorText(value, displayOffset));
        editor->setGeometry(knobEditorRect(textRect));
        editor->show();
        editor->setFocus(Qt::OtherFocusReason);
        editor->selectAll();
        return;
    }
    changeTo(minimum);
}

void Knob::finishEdit()
{
    QString text = editor->text();
    if (text.endsWith(suffix, Qt::CaseSensitive))
        text.chop(suffix.size());
    bool ok = false;
    const int typed = text.toInt(&ok, 10);
    editor->hide();
    if (ok)
        changeTo(knobValueFromTyped(typed, displayOffset, minimum, maximum));
    else
        changeTo(value);
}

void Knob::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return;
    const QPoint pos = event->position().toPoint();
    // One step per axis per event, whatever the distance: up or right raises, down or left lowers.
    int v = value;
    if (pos.y() < lastY && v < maximum)
        ++v;
    else if (pos.y() > lastY && v > minimum)
        --v;
    if (pos.x() > lastX && v < maximum)
        ++v;
    else if (pos.x() < lastX && v > minimum)
        --v;
    lastY = pos.y();
    lastX = pos.x();
    changeTo(v);
}

void Knob::wheelEvent(QWheelEvent *event)
{
    int v = value;
    if (event->angleDelta().y() > 0) {
        if (v < maximum)
            ++v;
    } else if (v > minimum) {
        --v;
    }
    changeTo(v);
}
