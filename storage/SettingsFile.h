#pragma once

class QObject;
class QSettings;
class QString;

// The program's INI files: each panel's and the settings dialog's.

namespace storage {

// Opens the INI file at path, owned by owner. What can be read is used and the rest falls back to
// defaults, and the next write rewrites the file from that; so a file that cannot be parsed is
// first copied to PATH.damaged, with a log line, for the user to recover from.
QSettings *openSettingsFile(const QString &path, QObject *owner);

// Writes a settings store's changes to its file. When the write fails, one warning line names the
// file and the error; the values stay in memory and the next sync writes them all again.
// Returns whether everything is on disk now.
bool syncSettings(QSettings &settings);

} // namespace storage
