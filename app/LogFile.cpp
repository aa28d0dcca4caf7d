#include "app/LogFile.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <chrono>
#include <iostream>

// Passes every character on to the stream's own buffer and hands each finished line to the log.
class LogFile::ErrorStreamCopy : public std::streambuf
{
public:
    ErrorStreamCopy(LogFile &log, std::streambuf *target)
        : log(log)
        , target(target)
    { }

protected:
    int_type overflow(int_type ch) override
    {
        if (traits_type::eq_int_type(ch, traits_type::eof()))
            return traits_type::not_eof(ch);
        if (target)
            target->sputc(traits_type::to_char_type(ch));
        if (ch == '\n') {
            log.append('E', pending);
            pending.clear();
        } else {
            pending.append(traits_type::to_char_type(ch));
        }
        return ch;
    }

    int sync() override { return target ? target->pubsync() : 0; }

private:
    LogFile &log;
    std::streambuf *target;
    QByteArray pending;
};

LogFile *LogFile::active = nullptr;

namespace {

QByteArray timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz ")).toLatin1();
}

qint64 steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

char levelLetter(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 'D';
    case QtInfoMsg:
        return 'I';
    case QtWarningMsg:
        return 'W';
    case QtCriticalMsg:
        return 'C';
    case QtFatalMsg:
        return 'F';
    }
    return '?';
}

} // namespace

QString LogFile::defaultPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation)
        + QStringLiteral("/OrvelinDriver.log");
}

QString LogFile::previousPath(const QString &path)
{
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + QStringLiteral(".old.") + info.suffix());
}

LogFile::LogFile(const QString &path, qint64 limitBytes)
    : filePath(path)
    , limit(qMax<qint64>(limitBytes, 1024))
    , file(path)
    , rotateAt(limit)
{
    Q_ASSERT(!active);
    const QString folder = QFileInfo(path).absolutePath();
    const bool opened = QDir().mkpath(folder) && openCurrent();
    if (!opened) {
        // Said through whatever handler is there, before ours: the file cannot hold it.
        qWarning().noquote() << "Log file not writable:" << path;
        return;
    }
    active = this;
    previous = qInstallMessageHandler(&LogFile::handler);
    previousErrorBuffer = std::cerr.rdbuf();
    errorCopy = std::make_unique<ErrorStreamCopy>(*this, previousErrorBuffer);
    std::cerr.rdbuf(errorCopy.get());
}

LogFile::~LogFile()
{
    if (active != this)
        return;
    qInstallMessageHandler(previous);
    std::cerr.rdbuf(previousErrorBuffer);
    std::lock_guard<std::recursive_mutex> lock(mutex);
    active = nullptr;
    for (const QByteArray &line : repeats.flush(timeStamp()))
        write(line);
    file.close();
}

bool LogFile::isOpen() const
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    return file.isOpen();
}

bool LogFile::openCurrent()
{
    return file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
}

void LogFile::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    LogFile *log = active;
    if (!log)
        return;
    if (log->previous)
        log->previous(type, context, message);
    log->append(levelLetter(type), qFormatLogMessage(type, context, message).toUtf8());
}

void LogFile::append(char level, const QByteArray &line)
{
    std::lock_guard<std::recursive_mutex> lock(mutex);
    // A failure below could log through Qt and so come back here.
    static thread_local bool inside = false;
    if (inside || !file.isOpen())
        return;
    inside = true;
    for (const QByteArray &out : repeats.add(timeStamp(), level + (' ' + line), steadyMs()))
        write(out);
    inside = false;
}

void LogFile::write(const QByteArray &line)
{
    if (file.isOpen() && file.size() > 0 && file.size() + line.size() + 1 > rotateAt)
        rotate();
    if (file.isOpen()) {
        file.write(line);
        file.write("\n", 1);
    }
}

void LogFile::rotate()
{
    file.close();
    const QString old = previousPath(filePath);
    QFile::remove(old);
    const bool renamed = QFile::rename(filePath, old);
    // Appends in either case: a file that could not be renamed is never cut short.
    openCurrent();
    rotateAt = renamed ? limit : file.size() + limit;
    if (renamed || renameFailureSaid || !file.isOpen())
        return;
    renameFailureSaid = true;
    const QByteArray said = timeStamp() + "W Log file could not be renamed to " + QFileInfo(old).fileName().toUtf8()
        + " (another program may hold it open): it goes on growing.\n";
    file.write(said);
}
