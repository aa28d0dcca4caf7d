#pragma once

#include "controls/FocusMark.h"
#include "controls/KnobPaintCache.h"

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

#include <limits>

class QFocusEvent;
class QKeyEvent;
class QLineEdit;
class QMouseEvent;
class QPaintEvent;
class QWheelEvent;

// Rotary control painted by hand: a 270-degree track, a value arc, a shaded body and the value as
// text. The owner configures it by writing the public members directly after construction (this
// emits nothing), keeping maximum > minimum and writing a value inside the range. Every change made
// through the knob (setValue, mouse, wheel, keys, typing) bounds the value, emits valueChangedSig
// even when the value is unchanged, and repaints.
//
// It takes the focus with Tab or a click. Focused, Up/Right and Down/Left move it one step, Page
// Up/Page Down a page of kPageSteps, Home and End to its bounds, each press one step's way as one
// wheel step; Enter or F2 opens the editor as a double-click on the number does, Escape closes it
// unchanged. A ring in the arc colour shows keyboard focus (see FocusMark).
//
//     connect(knob, &Knob::valueChangedSig, this, [this](int v) { ... });
class Knob : public QWidget
{
    Q_OBJECT

public:
    explicit Knob(QWidget *parent = nullptr);

    void setValue(int v);

    // One Page Up or Page Down, the same on every knob.
    static constexpr int kPageSteps = 6;

    int value = -80;
    int arcWidth = 7; // pen width of both arcs and inset of the arc rectangle
    bool roundCap = true;
    int maximum = 6;
    int minimum = -80;
    QColor arcColor { "#00ffff" };
    bool showText = true; // also enables editing by double-click on the text
    QString fontFamily { "Segoe UI" };
    int fontSize = 12; // points
    QString suffix { "dB" };
    QColor textColor { "#ff79c6" };
    bool showTrack = true;
    QColor trackColor { "#44475a" };
    double bodyRatio = 0.8; // body diameter as a fraction of the arc rectangle's width
    int lastY = 0; // position of the last handled drag event, kept between drags
    int lastX = 0;
    int displayOffset = 0; // added to value for display and editing
    QLineEdit *editor = nullptr; // in-place editor, a hidden child
    QRect textRect; // where the value text was last drawn, for hit-testing double-clicks
    // The most steps one key press may raise the value; owners lower it where a jump would hurt.
    int keyRaiseLimit = std::numeric_limits<int>::max();

signals:
    void valueChangedSig(int value);

protected:
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void finishEdit();

private:
    void changeTo(qint64 v);
    // The road of one wheel step or key press: steps from the current value, then the change step.
    void stepBy(qint64 steps);
    // focusBack is the focus reason the knob takes again when the editor closes with the focus.
    void openEditor(Qt::FocusReason focusBack);
    void closeEditor();

    FocusMark focusMark;
    Qt::FocusReason editorFocusBack = Qt::MouseFocusReason;
    bool closingEditor = false;
    KnobPaintCache paintCache; // the track and the discs' shading, kept between repaints
};
