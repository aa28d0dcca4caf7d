#include "controls/Knob.h"

#include "controls/KnobGeometry.h"

#include <QConicalGradient>
#include <QFocusEvent>
#include <QFont>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QWheelEvent>

namespace {
// The arcs start at the lower left and run clockwise over the top.
constexpr int kArcStart = 225 * 16;
constexpr int kTrackSpan = -270 * 16;

QPen arcPen(const Knob &knob)
{
    QPen pen;
    pen.setWidth(knob.arcWidth);
    if (knob.roundCap)
        pen.setCapStyle(Qt::RoundCap);
    return pen;
}

void drawTrack(QPainter &painter, const Knob &knob)
{
    if (!knob.showTrack)
        return;
    QPen pen = arcPen(knob);
    pen.setColor(knob.trackColor);
    painter.setPen(pen);
    painter.drawArc(controls::knobArcRect(knob.width(), knob.height(), knob.arcWidth), kArcStart, kTrackSpan);
}

// The light falls from the top-left corner onto both discs.
QRadialGradient discShading(const Knob &knob, bool shadow)
{
    const double bodyWidth = knob.width() - 2 * knob.arcWidth;
    QRadialGradient gradient(0, 0, (shadow ? 0.6 : 0.5) * bodyWidth);
    gradient.setColorAt(0, QColor(255, 255, 255));
    gradient.setColorAt(1, shadow ? QColor(20, 20, 20) : QColor(30, 30, 30));
    return gradient;
}

// A disc is filled with its shading and outlined one pixel wide with the same.
void drawDisc(QPainter &painter, const Knob &knob, bool shadow, const QBrush &shading)
{
    QPen pen = arcPen(knob);
    pen.setWidth(0);
    pen.setBrush(shading);
    painter.setPen(pen);
    painter.setBrush(shading);
    painter.drawEllipse(shadow ? controls::knobShadowRect(knob.width(), knob.arcWidth, knob.bodyRatio)
                               : controls::knobBodyRect(knob.width(), knob.arcWidth, knob.bodyRatio));
}
} // namespace

Knob::Knob(QWidget *parent)
    : QWidget(parent)
    , editor(new QLineEdit(this))
{
    setFocusPolicy(Qt::StrongFocus);
    editor->hide();
    editor->installEventFilter(this); // for Escape and Enter
    connect(editor, &QLineEdit::editingFinished, this, &Knob::finishEdit);
}

void Knob::setValue(int v)
{
    changeTo(v);
}

void Knob::changeTo(qint64 v)
{
    value = controls::boundKnobValue(v, minimum, maximum);
    emit valueChangedSig(value);
    update();
}

void Knob::stepBy(qint64 steps)
{
    changeTo(qint64(value) + steps);
}

void Knob::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(QFont(fontFamily, fontSize));
    painter.setPen(Qt::NoPen);

    // The track and the discs' shading are kept between repaints wherever the kept pictures give
    // the very pixels drawing would; a resize or another look renews them.
    const bool cached = KnobPaintCache::fits(painter);
    if (cached)
        paintCache.renew(
            { size(), painter.device()->devicePixelRatio(), arcWidth, roundCap, showTrack, trackColor },
            [this](QPainter &p) { drawTrack(p, *this); }, discShading(*this, true), discShading(*this, false));
    if (cached && paintCache.laysTrack())
        paintCache.layTrack(painter);
    else
        drawTrack(painter, *this);

    const int w = width();
    const int h = height();
    QPen pen = arcPen(*this);
    QConicalGradient arcGradient(w / 2, h / 2, 270);
    arcGradient.setColorAt(0, arcColor);
    arcGradient.setColorAt(1, arcColor);
    pen.setBrush(arcGradient);
    painter.setPen(pen);
    painter.drawArc(controls::knobArcRect(w, h, arcWidth), kArcStart, controls::knobArcSpan(value, minimum, maximum));

    drawDisc(painter, *this, true, cached ? paintCache.shadowShading() : QBrush(discShading(*this, true)));
    drawDisc(painter, *this, false, cached ? paintCache.bodyShading() : QBrush(discShading(*this, false)));

    if (focusMark.shown(*this)) {
        QPainterPath ring;
        ring.addEllipse(controls::knobFocusRingRect(w, arcWidth, bodyRatio));
        FocusMark::draw(painter, ring, arcColor);
    }

    if (showText) {
        pen.setWidth(0);
        pen.setColor(textColor);
        painter.setPen(pen);
        const QString text = controls::knobText(value, displayOffset, suffix);
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
        openEditor(Qt::MouseFocusReason);
        return;
    }
    changeTo(minimum);
}

void Knob::openEditor(Qt::FocusReason focusBack)
{
    editorFocusBack = focusBack;
    editor->setText(controls::knobEditorText(value, displayOffset));
    editor->setGeometry(controls::knobEditorRect(textRect));
    editor->show();
    editor->setFocus(Qt::OtherFocusReason);
    editor->selectAll();
}

void Knob::closeEditor()
{
    // Hiding the focused editor would hand the focus on to the next control; it goes back to the
    // knob, marked only if the keyboard opened the editor. The editor's own farewell on losing
    // the focus is no second edit.
    closingEditor = true;
    if (editor->hasFocus())
        setFocus(editorFocusBack);
    editor->hide();
    closingEditor = false;
}

bool Knob::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != editor || event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    switch (static_cast<QKeyEvent *>(event)->key()) {
    case Qt::Key_Escape:
        closeEditor();
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // Ended here rather than by the editor, which would pass the key on to the knob, where
        // Enter opens the editor again.
        finishEdit();
        return true;
    default:
        return false;
    }
}

void Knob::finishEdit()
{
    if (closingEditor)
        return;
    int typed = 0;
    const bool ok = controls::knobParseTyped(editor->text(), suffix, typed);
    closeEditor();
    if (ok)
        changeTo(controls::knobValueFromTyped(typed, displayOffset, minimum, maximum));
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
    // One event is one step, whatever its size; a horizontal or empty delta lowers.
    stepBy(event->angleDelta().y() > 0 ? 1 : -1);
}

void Knob::keyPressEvent(QKeyEvent *event)
{
    // A held key repeats as presses, each its own step.
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) {
        if (showText)
            openEditor(Qt::OtherFocusReason);
        else
            event->ignore();
        return;
    }
    const std::optional<qint64> steps = controls::knobKeySteps(key, value, minimum, maximum, kPageSteps, keyRaiseLimit);
    if (!steps) {
        QWidget::keyPressEvent(event);
        return;
    }
    stepBy(*steps);
}

void Knob::focusInEvent(QFocusEvent *event)
{
    focusMark.focusIn(event->reason());
    QWidget::focusInEvent(event); // repaints, as losing the focus does
}
