#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

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

} // namespace testsupport
