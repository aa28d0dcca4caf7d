#include "controls/Button.h"

#include <QColor>
#include <QFocusEvent>
#include <QGraphicsDropShadowEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStylePainter>

Button::Button(const QString &text, QWidget *parent)
    : QPushButton(parent)
    , label(text)
    , glowEffect(new QGraphicsDropShadowEffect(this))
{
    setText(text);
    setCursor(Qt::PointingHandCursor);
    glowEffect->setBlurRadius(width() * 0.01);
    glowEffect->setOffset(0, 0);
    glowEffect->setColor(QColor(glowColor));
    setGraphicsEffect(glowEffect);
    // A new button shows no glow until it is selected.
    glowEffect->setEnabled(false);
}

void Button::setSelected(bool on)
{
    selectedFlag = on;
    glowEffect->setEnabled(on);
    updateStyle();
    emit pressed(on);
}

void Button::updateStyle()
{
    const QString &textColor = selectedFlag ? selectedTextColor : normalTextColor;
    const QString &background = selectedFlag ? selectedBackground : normalBackground;
    // All fields in one pass, so a '%' inside a colour string is never taken for a field.
    setStyleSheet(QStringLiteral("QPushButton {   color: %1;   background-color: %2;   border-radius: %3px;}"
                                 "QPushButton:pressed {   background-color: %4;}")
                      .arg(textColor, background, QString::number(cornerRadius), background));
    glowEffect->setEnabled(selectedFlag);
    glowEffect->setColor(QColor(glowColor));
}

void Button::mousePressEvent(QMouseEvent *)
{
    toggleAsPressed();
}

void Button::toggleAsPressed()
{
    // The base class is left out on purpose: the button never enters Qt's down state, so the
    // inherited clicked/pressed()/released signals stay silent.
    const QPointer<Button> self(this);
    updateStyle();
    setSelected(!selectedFlag);
    if (self)
        emit pressed(selectedFlag);
}

bool Button::isToggleKey(const QKeyEvent &event)
{
    const int key = event.key();
    return key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter;
}

void Button::keyPressEvent(QKeyEvent *event)
{
    if (!isToggleKey(*event)) {
        QPushButton::keyPressEvent(event);
        return;
    }
    // A held key would flip the switch on and off as fast as the key repeats.
    if (!event->isAutoRepeat())
        toggleAsPressed();
}

void Button::keyReleaseEvent(QKeyEvent *event)
{
    // The base class would finish a click it never started.
    if (!isToggleKey(*event))
        QPushButton::keyReleaseEvent(event);
}

void Button::focusInEvent(QFocusEvent *event)
{
    focusMark.focusIn(event->reason());
    QPushButton::focusInEvent(event); // repaints
}

void Button::paintEvent(QPaintEvent *)
{
    // As QPushButton paints, without the style's focus frame: Windows draws it dotted on
    // whichever switch the window hands the focus to at start, mouse user or not.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.state &= ~QStyle::State_HasFocus;
    painter.drawControl(QStyle::CE_PushButton, option);
    if (!focusMark.shown(*this))
        return;
    // Inside the edge, in the switch's own colour (its glow); while selected in the selected
    // caption's colour, which its look keeps readable on the selected background.
    QPainterPath outline;
    outline.addRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius, cornerRadius);
    FocusMark::draw(painter, outline, QColor(selectedFlag ? selectedTextColor : glowColor));
}
