#pragma once

#include "app/RepeatedLines.h"

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <iosfwd>
#include <memory>
#include <mutex>
#include <streambuf>

// Keeps a copy of everything the program logs in a file: every Qt debug and warning line (they
// still reach their usual place as well, in Qt's plain format) and every line written to
// std::cerr. A GUI program on Windows has no standard error, so without it a user's machine keeps
// no trace at all. Each line of the file starts with the local time to the millisecond and a level
// letter: "2026-12-09 10:15:02.123 D text" (D debug, I info, W warning, C critical, F fatal, E
// standard error). What repeats back to back is written once and then counted (RepeatedLines).
// The file grows to at most `limitBytes`; then it becomes the previous file (replacing the one
// before) and a new file starts. When it cannot be renamed (another program holds it open) the
// program goes on appending to it, says so once, and tries again once it has grown by another
// `limitBytes`. Only one LogFile can be active at a time.
class LogFile
{
public:
    static constexpr qint64 defaultLimitBytes = 1024 * 1024;

    // "OrvelinDriver.log" in the local application-data folder.
    static QString defaultPath();
    // The previous file kept beside `path`: "OrvelinDriver.log" keeps "OrvelinDriver.old.log".
    static QString previousPath(const QString &path);

    explicit LogFile(const QString &path = defaultPath(), qint64 limitBytes = defaultLimitBytes);
    ~LogFile();
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;

    bool isOpen() const;
    QString path() const { return filePath; }

private:
    class ErrorStreamCopy;

    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    // One line of the program's, with its level letter.
    void append(char level, const QByteArray &line);
    void write(const QByteArray &line);
    void rotate();
    bool openCurrent();

    static LogFile *active;
    const QString filePath;
    const qint64 limit;
    mutable std::recursive_mutex mutex;
    QFile file;
    RepeatedLines repeats;
    // The size at which the file is renamed: the limit, or further on after a failed rename.
    qint64 rotateAt;
    bool renameFailureSaid = false;
    QtMessageHandler previous = nullptr;
    std::unique_ptr<ErrorStreamCopy> errorCopy;
    std::streambuf *previousErrorBuffer = nullptr;
};
