#include "app/Translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {

QString languageForLocale(const QString &localeName)
{
    static const struct
    {
        const char *locale;
        const char *language;
    } table[] = {
        { "en_001", "en_US" },
        { "en_US", "en_US" },
        { "en_GB", "en_US" },
        { "zh_CN", "zh_CN" },
        { "zh_TW", "zh_CN" },
    };
    for (const auto &entry : table) {
        if (localeName == QLatin1String(entry.locale))
            return QString::fromLatin1(entry.language);
    }
    return QStringLiteral("en_US");
}

QString translationFilePath(const QString &folder, const QString &language)
{
    return folder + QStringLiteral("/OrvelinDriver_%1.qm").arg(language);
}

QString installTranslation(
    QCoreApplication &app, QTranslator &translator, const QString &folder, const QString &localeName)
{
    qDebug().noquote() << "系统返回的语言代码：" << localeName;
    const QString path = translationFilePath(folder, languageForLocale(localeName));
    qDebug().noquote() << "拼接后的路径：" << path;
    if (translator.load(path)) {
        app.installTranslator(&translator);
        qDebug().noquote() << "成功加载翻译文件：" << path;
        return path;
    }
    const QString fallback = translationFilePath(folder, QStringLiteral("en_US"));
    if (translator.load(fallback)) {
        app.installTranslator(&translator);
        qDebug().noquote() << "加载默认翻译文件：" << fallback;
        return fallback;
    }
    qWarning() << "未找到任何翻译文件，使用原始文本";
    return QString();
}

QString installQtTranslation(
    QCoreApplication &app, QTranslator &translator, const QString &folder, const QString &localeName)
{
    const QString language = languageForLocale(localeName);
    if (language == QLatin1String("en_US"))
        return QString();
    const QString name = QStringLiteral("/qtbase_%1.qm").arg(language);
    for (const QString &place : { folder, QLibraryInfo::path(QLibraryInfo::TranslationsPath) }) {
        if (translator.load(place + name)) {
            app.installTranslator(&translator);
            qDebug().noquote() << "Qt's own texts translated by" << place + name;
            return place + name;
        }
    }
    qDebug().noquote() << "Qt's own texts stay in English: no" << name.mid(1);
    return QString();
}

} // namespace app
