#pragma once

#include <QRect>
#include <QRectF>
#include <QString>
#include <QtGlobal>

#include <optional>

// Pure geometry and arithmetic of the Knob, kept apart from painting so it can be tested alone.
// Angles are in Qt's sixteenths of a degree; sizes follow the knob's pixel layout.

namespace controls {

// v bounded to minimum..maximum; minimum wins if the range is inverted.
int boundKnobValue(qint64 v, int minimum, int maximum);

// Span of the value arc from its start at 225 degrees: 0 at the minimum, -4320 (270 degrees
// clockwise) at the maximum, truncated towards zero. An empty range gives 0 instead of dividing
// by zero; a value far outside the range is limited to one full turn.
int knobArcSpan(int value, int minimum, int maximum);

// The rectangle both arcs are drawn in: the widget inset by the arc width on every side.
QRect knobArcRect(int width, int height, int arcWidth);

// The shaded body, a circle sized by the arc rectangle's width and centred in it.
QRect knobBodyRect(int width, int arcWidth, double bodyRatio);

// The darker disc behind the body, shifted right and down by 2 % of the body diameter.
QRect knobShadowRect(int width, int arcWidth, double bodyRatio);

// The number the knob shows: value + offset, except that a value of exactly 0 shows 0 whatever
// the offset.
qint64 knobShownNumber(int value, int displayOffset);

// Displayed text: the shown number and the suffix.
QString knobText(int value, int displayOffset, const QString &suffix);

// What the in-place editor starts with: value + offset, without suffix (no exception for 0).
QString knobEditorText(int value, int displayOffset);

// The editor's geometry: the text rectangle shrunk by 2.5 % of its size on each side.
QRect knobEditorRect(const QRect &textRect);

// The number in a typed text, as the in-place editor reads it: the suffix taken off its end (as
// written, case-sensitive), the rest a decimal integer. False when the rest is no number.
bool knobParseTyped(QString text, const QString &suffix, int &typed);

// A typed number back to a value: minus the offset in 64 bits, so no input can overflow, then
// bounded to the range.
int knobValueFromTyped(int typed, int displayOffset, int minimum, int maximum);

// The steps one key press moves a knob standing at value: Up and Right one up, Down and Left one
// down, Page Up and Page Down pageSteps, Home to the minimum and End to the maximum. A raise is cut
// to raiseLimit steps; lowering never is. Nothing for a key that does not move a knob.
std::optional<qint64> knobKeySteps(int key, int value, int minimum, int maximum, int pageSteps, int raiseLimit);

// The focus ring: a circle around the body, midway between it and the arc's inner edge, where
// only the background shows.
QRectF knobFocusRingRect(int width, int arcWidth, double bodyRatio);

} // namespace controls
