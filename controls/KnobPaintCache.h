#pragma once

#include <QBrush>
#include <QColor>
#include <QImage>
#include <QSize>

#include <functional>

class QPainter;

// What a knob's repaint would otherwise compute again and again although it changes only with
// the knob's size, arc width, track and the device's pixel ratio: the track, drawn once onto a
// transparent picture, and the two discs' radial shading, filled once into opaque pictures that
// the discs are then painted with instead of the gradients.
//
// Both give the very pixels drawing gives, which blending a whole disc from a picture would not:
// an opaque brush replaces the background by its colour in proportion to the edge's coverage in
// one rounding, while a picture holding colour times coverage blends in two, one step apart on a
// good share of the edge pixels. So the discs keep being drawn, only their colours come ready.
class KnobPaintCache
{
public:
    // Everything the cached pictures depend on.
    struct Key
    {
        QSize size;
        qreal devicePixelRatio = 0;
        int arcWidth = 0;
        bool roundCap = false;
        bool showTrack = false;
        QColor trackColor;
        bool operator==(const Key &other) const;
    };

    // Whether the pictures stand in exactly for drawing with this painter: it maps the knob's
    // pixels one to one onto whole pixels of its device (device pixel ratio 1, no scale or
    // rotation, no fractional offset). Otherwise the knob draws everything itself, as it must on
    // a scaled screen; the key still names the ratio the pictures were drawn at.
    static bool fits(const QPainter &painter);

    // Draws the pictures anew when the key differs from the one they were drawn for: the track
    // through drawTrack, the shading by filling the whole knob with each brush.
    void renew(const Key &key, const std::function<void(QPainter &)> &drawTrack, const QBrush &shadowShading,
        const QBrush &bodyShading);

    // A pen one device pixel wide or less is drawn by another path of Qt's, whose edges a picture
    // of it does not reproduce; such a track is drawn each time.
    bool laysTrack() const { return drawnFor.arcWidth * drawnFor.devicePixelRatio > 1; }
    void layTrack(QPainter &painter) const;
    const QBrush &shadowShading() const { return shadow; }
    const QBrush &bodyShading() const { return body; }

private:
    QImage picture(QImage::Format format) const;

    Key drawnFor;
    QImage track;
    QBrush shadow;
    QBrush body;
};
