#pragma once

#include "tests/support/ControlCodes.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <cstdint>

namespace testsupport {

// A table of expected device requests: one request a line ("vendor 01 03 00 02 01 64 00",
// "block"), text after '#' a comment, blank lines skipped. Empty when the file cannot be read, so
// a missing table fails the comparison instead of passing it.
inline QStringList readRequestTable(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine());
        const int comment = line.indexOf(QLatin1Char('#'));
        if (comment >= 0)
            line.truncate(comment);
        line = line.trimmed();
        if (!line.isEmpty())
            lines << line;
    }
    return lines;
}

// A vendor command or mixer block as the table names it: "vendor" and the packet's first 7 bytes
// in hex, or "block"; a wrong size or stray bytes are named as such. Empty for any other request.
inline QString describeSetting(std::uint32_t code, const QByteArray &input)
{
    if (code == Code::WriteMixerState)
        return input.size() == 66304 ? QStringLiteral("block") : QStringLiteral("block of wrong size");
    if (code != Code::SendVendorCommand)
        return QString();
    if (input.size() != 37)
        return QStringLiteral("vendor of wrong size");
    for (int i = 7; i < input.size(); ++i)
        if (input[i] != 0)
            return QStringLiteral("vendor with trailing bytes");
    return QStringLiteral("vendor ") + QString::fromLatin1(input.left(7).toHex(' ').toUpper());
}

} // namespace testsupport
