#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <iosfwd>
#include <memory>
#include <mutex>
#include <streambuf>

// Keeps a copy of everything the program logs in a file: every Qt debug and warning line (they
// still reach their usual place as well) and every line written to std::cerr. A GUI program on
// Windows has no standard error, so without it a user's machine keeps no trace at all.
// The file grows to at most `limitBytes`; then it becomes the previous file (replacing the one
// before) and a new file starts. Only one LogFile can be active at a time.
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
    void append(const QByteArray &line);
    bool openCurrent();

    static LogFile *active;
    const QString filePath;
    const qint64 limit;
    mutable std::recursive_mutex mutex;
    QFile file;
    QtMessageHandler previous = nullptr;
    std::unique_ptr<ErrorStreamCopy> errorCopy;
    std::streambuf *previousErrorBuffer = nullptr;
};
