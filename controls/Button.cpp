#include "controls/Button.h"

#include <QColor>
#include <QGraphicsDropShadowEffect>
#include <QMouseEvent>
#include <QPointer>

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
    // The base class is left out on purpose: the button never enters Qt's down state, so the
    // inherited clicked/pressed()/released signals stay silent for the mouse.
    const QPointer<Button> self(this);
    updateStyle();
    setSelected(!selectedFlag);
    if (self)
        emit pressed(selectedFlag);
}
