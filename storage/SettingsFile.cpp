#include "storage/SettingsFile.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QSettings>

namespace {

// A file this program wrote holds printable text only, and some key when it is not empty.
bool looksDamaged(const QString &path, const QSettings &settings)
{
    QFile file(path);
    if (!file.open(QFile::ReadOnly))
        return false;
    const QByteArray content = file.readAll();
    if (!content.isEmpty() && settings.allKeys().isEmpty())
        return true;
    for (char c : content)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\n' && c != '\r' && c != '\t')
            return true;
    return false;
}

// QSettings only knows that the write failed; a trial write beside the file (never over it)
// meets the same obstacle and names it: a missing folder, no permission, a full disk.
QString writeError(const QString &path, QSettings::Status status)
{
    // Unbuffered, so a failing write reports its own error rather than a later flush's.
    QSaveFile trial(path);
    const QByteArray block(4096, ' ');
    QString reason;
    if (!trial.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || trial.write(block) != block.size())
        reason = trial.errorString();
    trial.cancelWriting();
    if (!reason.isEmpty())
        return reason;
    return status == QSettings::FormatError ? QStringLiteral("format error") : QStringLiteral("access error");
}

} // namespace

namespace storage {

QSettings *openSettingsFile(const QString &path, QObject *owner)
{
    auto *settings = new QSettings(path, QSettings::IniFormat, owner);
    if (settings->status() == QSettings::FormatError || looksDamaged(path, *settings)) {
        const QString copy = path + QStringLiteral(".damaged");
        QFile::remove(copy);
        QFile::copy(path, copy);
        qDebug() << "Settings file damaged, a copy is kept as:" << qPrintable(copy);
    }
    return settings;
}

bool syncSettings(QSettings &settings)
{
    settings.sync();
    if (settings.status() == QSettings::NoError)
        return true;
    // A QSettings keeps the first error it ever met. A second reader of the same file shares the
    // unsaved values and tries them again, so its status is about this write alone.
    QSettings now(settings.fileName(), settings.format());
    now.sync();
    if (now.status() == QSettings::NoError)
        return true;
    qWarning().noquote() << "Failed to write settings file:" << settings.fileName()
                         << QStringLiteral("(%1)").arg(writeError(settings.fileName(), now.status()));
    return false;
}

} // namespace storage
