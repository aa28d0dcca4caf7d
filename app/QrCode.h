#pragma once

#include <QImage>
#include <QString>

namespace app {

// The QR code of text (libqrencode, error correction M), black modules on white with the quiet
// zone of four modules the standard asks for, each module scale pixels wide. A null image when
// the text does not fit in a QR code.
QImage qrCodeImage(const QString &text, int scale);

} // namespace app
