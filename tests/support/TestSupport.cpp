#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QKeySequence>
#include <QStandardPaths>
#include <QTest>
#include <QWheelEvent>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

void giveBackdrop(QWidget &window)
{
    QPalette palette = window.palette();
    palette.setColor(QPalette::Window, kBackdrop);
    window.setPalette(palette);
    window.setAutoFillBackground(true);
}

bool showActive(QWidget &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return false;
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

void act(QWidget *control, const QString &how)
{
    static const QHash<QString, Qt::MouseButton> clicks { { QStringLiteral("click"), Qt::LeftButton },
        { QStringLiteral("right click"), Qt::RightButton }, { QStringLiteral("middle click"), Qt::MiddleButton } };
    static const QHash<QString, QPoint> wheels { { QStringLiteral("wheel"), QPoint(0, 120) },
        { QStringLiteral("wheel down"), QPoint(0, -120) }, { QStringLiteral("wheel right"), QPoint(120, 0) },
        { QStringLiteral("wheel left"), QPoint(-120, 0) }, { QStringLiteral("wheel x10"), QPoint(0, 1200) } };
    if (clicks.contains(how)) {
        QTest::mouseClick(control, clicks.value(how));
    } else if (wheels.contains(how)) {
        const QPointF middle = QRectF(control->rect()).center();
        QWheelEvent event(middle, control->mapToGlobal(middle), QPoint(), wheels.value(how), Qt::NoButton,
            Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(control, &event);
    } else {
        const QKeySequence key(how);
        QVERIFY2(key.count() == 1, qPrintable(how));
        control->setFocus(Qt::TabFocusReason);
        QTest::keyClick(control, key[0].key());
    }
}

QByteArray onDisk(const QString &path)
{
    QFile file(path);
    return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QFile::WriteOnly) && file.write(bytes) == bytes.size()
        && file.flush();
}

QString screenshotPath(const QString &fileName)
{
    const QString folder = qEnvironmentVariable("ORVELIN_SCREENSHOT_DIR", QDir::tempPath());
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + fileName;
}

QString differsFromReference(const QImage &actual, const QString &name)
{
    const QString reference = QString::fromUtf8(ORVELIN_REFERENCE_DIR "/") + name + QStringLiteral(".png");
    const QImage shot = actual.convertToFormat(QImage::Format_ARGB32);
    shot.save(screenshotPath(name + QStringLiteral(".png")));
    if (qEnvironmentVariableIntValue("ORVELIN_UPDATE_REFERENCES") == 1) {
        QDir().mkpath(QString::fromUtf8(ORVELIN_REFERENCE_DIR));
        return shot.save(reference) ? QString() : QStringLiteral("cannot write ") + reference;
    }
    const QImage expected = QImage(reference).convertToFormat(QImage::Format_ARGB32);
    if (expected.isNull()) {
        shot.save(screenshotPath(name + QStringLiteral(".actual.png")));
        return QStringLiteral("no reference picture ") + reference;
    }
    // Compared over both pictures' extent, so a moved margin still shows where the rest differs;
    // what only one of them covers counts as differing.
    const QSize extent = shot.size().expandedTo(expected.size());
    QImage diff(extent, QImage::Format_ARGB32);
    int differing = 0;
    for (int y = 0; y < extent.height(); ++y) {
        for (int x = 0; x < extent.width(); ++x) {
            const bool inBoth = shot.rect().contains(x, y) && expected.rect().contains(x, y);
            const QRgb a = inBoth ? shot.pixel(x, y) : 0;
            const QRgb e = inBoth ? expected.pixel(x, y) : 0;
            const int worst = std::max({ std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)),
                std::abs(qBlue(a) - qBlue(e)), std::abs(qAlpha(a) - qAlpha(e)) });
            if (!inBoth || worst > kReferenceTolerance) {
                ++differing;
                diff.setPixel(x, y, qRgb(255, 0, 0));
            } else {
                diff.setPixel(x, y, qRgb(qGray(a) / 3, qGray(a) / 3, qGray(a) / 3));
            }
        }
    }
    QString why;
    if (differing)
        why = QStringLiteral("%1 pixels differ from %2").arg(differing).arg(reference);
    if (shot.size() != expected.size())
        why += QStringLiteral(" (size %1x%2, reference %3x%4)")
                   .arg(shot.width())
                   .arg(shot.height())
                   .arg(expected.width())
                   .arg(expected.height());
    if (!why.isEmpty()) {
        shot.save(screenshotPath(name + QStringLiteral(".actual.png")));
        diff.save(screenshotPath(name + QStringLiteral(".diff.png")));
    }
    return why;
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
