#include "tests/support/TestSupport.h"

#include <QDir>
#include <QStandardPaths>

#include <cstdio>
#include <sys/stat.h>

namespace testsupport {

IsolatedEnvironment::IsolatedEnvironment()
{
    QDir(root()).mkpath(QStringLiteral("data"));
    QDir(root()).mkpath(QStringLiteral("config"));
    QDir(root()).mkpath(QStringLiteral("runtime"));
    ::chmod(QFile::encodeName(runtimeDir()).constData(), 0700);
    qputenv("XDG_DATA_HOME", QFile::encodeName(root() + QStringLiteral("/data")));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(root() + QStringLiteral("/config")));
    qputenv("ORVELIN_RUNTIME_DIR", QFile::encodeName(runtimeDir()));
}

QString IsolatedEnvironment::runtimeDir() const
{
    return root() + QStringLiteral("/runtime");
}

QString IsolatedEnvironment::appDataDir() const
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

QString screenshotPath(const QString &fileName)
{
    const QString folder = qEnvironmentVariable("ORVELIN_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}

LogCapture *LogCapture::current = nullptr;

LogCapture::LogCapture()
{
    current = this;
    previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    current = nullptr;
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (LogCapture *self = current) {
        std::lock_guard<std::mutex> lock(self->mutex);
        self->captured << message;
    }
    // Keep fatal and test-framework output visible.
    if (type == QtFatalMsg || type == QtCriticalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

QStringList LogCapture::lines() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return captured;
}

bool LogCapture::contains(const QString &text) const
{
    return indexOf(text) >= 0;
}

int LogCapture::count(const QString &text) const
{
    std::lock_guard<std::mutex> lock(mutex);
    return static_cast<int>(captured.count(text));
}

int LogCapture::indexOf(const QString &text, int from) const
{
    std::lock_guard<std::mutex> lock(mutex);
    for (int i = from; i < captured.size(); ++i)
        if (captured.at(i).contains(text))
            return i;
    return -1;
}

void LogCapture::clear()
{
    std::lock_guard<std::mutex> lock(mutex);
    captured.clear();
}

} // namespace testsupport
