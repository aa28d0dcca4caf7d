#include "controls/KnobPaintCache.h"

#include <QPaintDevice>
#include <QPainter>
#include <QTransform>

#include <cmath>

bool KnobPaintCache::Key::operator==(const Key &other) const
{
    return size == other.size && devicePixelRatio == other.devicePixelRatio && arcWidth == other.arcWidth
        && roundCap == other.roundCap && showTrack == other.showTrack && trackColor == other.trackColor;
}

bool KnobPaintCache::fits(const QPainter &painter)
{
    const QTransform t = painter.deviceTransform();
    const qreal ratio = painter.device()->devicePixelRatio();
    // At any other ratio than 1 (150 %, 200 %) Qt's scaled drawing of the discs and the track
    // does not match the pictures drawn at that ratio: up to 900 edge pixels come out a step apart.
    return ratio == 1 && t.type() <= QTransform::TxTranslate && std::floor(t.dx()) == t.dx()
        && std::floor(t.dy()) == t.dy();
}

QImage KnobPaintCache::picture(QImage::Format format) const
{
    QImage image(static_cast<int>(std::ceil(drawnFor.size.width() * drawnFor.devicePixelRatio)),
        static_cast<int>(std::ceil(drawnFor.size.height() * drawnFor.devicePixelRatio)), format);
    image.setDevicePixelRatio(drawnFor.devicePixelRatio);
    return image;
}

void KnobPaintCache::renew(const Key &key, const std::function<void(QPainter &)> &drawTrack,
    const QBrush &shadowShading, const QBrush &bodyShading)
{
    if (key == drawnFor && !track.isNull())
        return;
    drawnFor = key;

    track = picture(QImage::Format_ARGB32_Premultiplied);
    track.fill(Qt::transparent);
    QPainter painter(&track);
    painter.setRenderHint(QPainter::Antialiasing);
    drawTrack(painter);
    painter.end();

    // Opaque pictures, so painting with them blends as the opaque gradients did.
    const QRectF whole(QPointF(0, 0), QSizeF(key.size));
    for (const auto &[brush, shading] : { std::pair<QBrush *, const QBrush *> { &shadow, &shadowShading },
             std::pair<QBrush *, const QBrush *> { &body, &bodyShading } }) {
        QImage image = picture(QImage::Format_RGB32);
        QPainter fill(&image);
        fill.fillRect(whole, *shading);
        fill.end();
        *brush = QBrush(image);
    }
}

void KnobPaintCache::layTrack(QPainter &painter) const
{
    painter.drawImage(QPointF(0, 0), track);
}
