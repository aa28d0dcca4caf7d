#include "app/QrCode.h"

#include <qrencode.h>

#include <algorithm>
#include <memory>

namespace app {

QImage qrCodeImage(const QString &text, int scale)
{
    const QByteArray bytes = text.toUtf8();
    const std::unique_ptr<QRcode, void (*)(QRcode *)> code(
        QRcode_encodeString8bit(bytes.constData(), 0, QR_ECLEVEL_M), QRcode_free);
    if (!code || scale < 1)
        return QImage();
    constexpr int kQuiet = 4;
    const int modules = code->width;
    const int side = (modules + 2 * kQuiet) * scale;
    QImage image(side, side, QImage::Format_Grayscale8);
    image.fill(255);
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x)
            if (code->data[y * modules + x] & 1) // the lowest bit of a module: dark
                for (int dy = 0; dy < scale; ++dy) {
                    uchar *line = image.scanLine((y + kQuiet) * scale + dy);
                    std::fill(line + (x + kQuiet) * scale, line + (x + kQuiet + 1) * scale, uchar(0));
                }
    return image;
}

} // namespace app
