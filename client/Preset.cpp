#include "client/Preset.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
const char *const kModelKey = "Preset/Model";
}

bool Preset::read(const QString &path, QString &why)
{
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        why = QStringLiteral("Cannot read %1: %2").arg(path, probe.errorString());
        return false;
    }
    probe.close();
    QSettings file(path, QSettings::IniFormat);
    if (file.status() != QSettings::NoError) {
        why = QStringLiteral("The file %1 is not a readable settings file").arg(path);
        return false;
    }
    model = file.value(QLatin1String(kModelKey)).toString().trimmed();
    if (model.isEmpty()) {
        why = QStringLiteral("The file %1 names no model (no [Preset] Model=...)").arg(path);
        return false;
    }
    values.clear();
    for (const QString &key : file.allKeys()) {
        if (key == QLatin1String(kModelKey))
            continue;
        const QVariant value = file.value(key);
        // A list or an empty key cannot be a control's value; it travels as a word the panel refuses.
        QString text = value.toString();
        if (text.isEmpty() || text.contains(QLatin1Char(' ')))
            text = QStringLiteral("?");
        values.push_back({ key, text });
    }
    return true;
}

bool Preset::write(const QString &path, const QString &model, const QJsonObject &values, QString &why)
{
    // QSettings would make the missing folders of a mistyped path; a preset goes where it is told.
    if (!QFileInfo(path).absoluteDir().exists()) {
        why = QStringLiteral("Cannot write %1: its folder does not exist").arg(path);
        return false;
    }
    QSettings file(path, QSettings::IniFormat);
    file.clear(); // an old preset's keys go; the file is replaced whole on sync
    file.setValue(QLatin1String(kModelKey), model);
    for (auto it = values.begin(); it != values.end(); ++it)
        file.setValue(it.key(), it.value().toVariant());
    file.sync();
    if (file.status() != QSettings::NoError) {
        why = QStringLiteral("Cannot write %1").arg(path);
        return false;
    }
    return true;
}
