#pragma once

class QSettings;

// Writes a settings store's changes to its file. When the write fails, one warning line names the
// file and the error; the values stay in memory and the next sync writes them all again.
// Returns whether everything is on disk now.
bool syncSettings(QSettings &settings);
