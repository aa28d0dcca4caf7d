#include "settings/SettingsSync.h"

#include <QByteArray>
#include <QDebug>
#include <QSaveFile>
#include <QSettings>

namespace {

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
