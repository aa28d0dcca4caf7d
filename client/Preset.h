#pragma once

#include <QJsonObject>
#include <QString>
#include <QVector>

#include <utility>

// A preset file: the panel's own INI keys and values, plus [Preset] Model=NAME. orvelinctl reads
// and writes it; the panel only ever sees its contents.
class Preset
{
public:
    QString model;
    QVector<std::pair<QString, QString>> values; // INI key, value as text

    // False, with the reason, when the file cannot be read or names no model.
    bool read(const QString &path, QString &why);
    // values as dump gives them: {"Button/X": true, "Dial/Y": -10}.
    static bool write(const QString &path, const QString &model, const QJsonObject &values, QString &why);
};
