#pragma once

#include <QString>

class QCoreApplication;
class QTranslator;

namespace app {

// The language whose translation file is loaded for a system locale name. Exact, case-sensitive
// match; every other name gets "en_US".
QString languageForLocale(const QString &localeName);

// The translation file of a language in a folder: folder + "/OrvelinDriver_<language>.qm".
QString translationFilePath(const QString &folder, const QString &language);

// Logs the locale, loads the language's file from folder (or the en_US file when that fails) into
// translator and installs it on app. Returns the path installed, or an empty string when the
// program goes on untranslated.
QString installTranslation(
    QCoreApplication &app, QTranslator &translator, const QString &folder, const QString &localeName);

// Qt's own texts (message-box buttons and the like) in the chosen language: loads Qt's catalog
// "qtbase_<language>.qm" from folder, shipped beside the program, or else from Qt's own
// translations folder, into translator and installs it on app. Nothing for "en_US", whose texts
// Qt writes already. Returns the path installed, or an empty string.
QString installQtTranslation(
    QCoreApplication &app, QTranslator &translator, const QString &folder, const QString &localeName);

} // namespace app
