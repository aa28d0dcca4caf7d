#include "controls/KnobGeometry.h"

#include <Qt>

#include <algorithm>

namespace controls {

int boundKnobValue(qint64 v, int minimum, int maximum)
{
    if (v > maximum)
        v = maximum;
    if (v < minimum)
        v = minimum;
    return static_cast<int>(v);
}

int knobArcSpan(int value, int minimum, int maximum)
{
    if (maximum <= minimum)
        return 0;
    const double span = -16.0 * 270.0 * (double(value) - double(minimum)) / (double(maximum) - double(minimum));
    const double fullTurn = 16.0 * 360.0;
    if (span > fullTurn)
        return static_cast<int>(fullTurn);
    if (span < -fullTurn)
        return -static_cast<int>(fullTurn);
    return static_cast<int>(span);
}

QRect knobArcRect(int width, int height, int arcWidth)
{
    return QRect(arcWidth, arcWidth, width - 2 * arcWidth, height - 2 * arcWidth);
}

QRect knobBodyRect(int width, int arcWidth, double bodyRatio)
{
    const double w = width - 2 * arcWidth;
    const int side = static_cast<int>(bodyRatio * w);
    const int pos = arcWidth + static_cast<int>((1.0 - bodyRatio) * w * 0.5);
    return QRect(pos, pos, side, side);
}

QRect knobShadowRect(int width, int arcWidth, double bodyRatio)
{
    const double w = width - 2 * arcWidth;
    const int side = static_cast<int>(bodyRatio * w);
    const int pos = arcWidth + static_cast<int>((1.0 - bodyRatio) * w * 0.5 + bodyRatio * w * 0.02);
    return QRect(pos, pos, side, side);
}

qint64 knobShownNumber(int value, int displayOffset)
{
    return value == 0 ? 0 : qint64(value) + displayOffset;
}

QString knobText(int value, int displayOffset, const QString &suffix)
{
    return QString::number(knobShownNumber(value, displayOffset)) + suffix;
}

QString knobEditorText(int value, int displayOffset)
{
    return QString::number(qint64(value) + displayOffset);
}

QRect knobEditorRect(const QRect &textRect)
{
    const int dx = static_cast<int>(0.025 * textRect.width());
    const int dy = static_cast<int>(0.025 * textRect.height());
    return textRect.adjusted(dx, dy, -dx, -dy);
}

bool knobParseTyped(QString text, const QString &suffix, int &typed)
{
    if (!suffix.isEmpty() && text.endsWith(suffix, Qt::CaseSensitive))
        text.chop(suffix.size());
    bool ok = false;
    typed = text.toInt(&ok, 10);
    return ok;
}

int knobValueFromTyped(int typed, int displayOffset, int minimum, int maximum)
{
    return boundKnobValue(qint64(typed) - displayOffset, minimum, maximum);
}

std::optional<qint64> knobKeySteps(int key, int value, int minimum, int maximum, int pageSteps, int raiseLimit)
{
    qint64 steps = 0;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Right:
        steps = 1;
        break;
    case Qt::Key_Down:
    case Qt::Key_Left:
        steps = -1;
        break;
    case Qt::Key_PageUp:
        steps = pageSteps;
        break;
    case Qt::Key_PageDown:
        steps = -qint64(pageSteps);
        break;
    case Qt::Key_Home:
        steps = qint64(minimum) - value;
        break;
    case Qt::Key_End:
        steps = qint64(maximum) - value;
        break;
    default:
        return std::nullopt;
    }
    return std::min(steps, qint64(raiseLimit));
}

QRectF knobFocusRingRect(int width, int arcWidth, double bodyRatio)
{
    const double w = width - 2 * arcWidth;
    const double arcInside = (w - arcWidth) / 2.0;
    const double body = static_cast<int>(bodyRatio * w) / 2.0;
    const double radius = (arcInside + body) / 2.0;
    const double centre = arcWidth + w / 2.0;
    return QRectF(centre - radius, centre - radius, 2 * radius, 2 * radius);
}

} // namespace controls
