#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <mutex>

class QWidget;

namespace testsupport {

// Points every place the program writes (settings, runtime sockets) into a fresh temporary
// folder, so a test never touches the user's files and parallel tests never meet.
class IsolatedEnvironment
{
public:
    IsolatedEnvironment();
    QString root() const { return dir.path(); }
    QString runtimeDir() const; // the stand-in protocol's R, a 0700 folder
    QString appDataDir() const; // QStandardPaths::AppDataLocation as the program sees it

private:
    QTemporaryDir dir;
};

// The main window's background, which the controls are drawn on as users see them.
inline const QColor kBackdrop(0x2c, 0x31, 0x3c);
// Gives a top-level window that background.
void giveBackdrop(QWidget &window);
// Shows a top-level window and makes it the active one, so that its widgets take the keyboard;
// false when the window system did not.
bool showActive(QWidget &window);

// Works a control as a user does. "click", "right click", "middle click": a click of that mouse
// button; "wheel" one step up over its middle, "wheel down", "wheel right", "wheel left", and
// "wheel x10" (one event ten steps long); anything else names a key ("Up", "PgUp", "End",
// "Space", "Enter"), pressed with the control focused from the keyboard.
void act(QWidget *control, const QString &how);

// A file's bytes; empty when it cannot be read.
QByteArray onDisk(const QString &path);
// Writes a whole file, its folder made first; false when that failed.
bool writeFile(const QString &path, const QByteArray &bytes);

// Where a test saves its picture: in ORVELIN_SCREENSHOT_DIR (made if missing), else the temp folder.
QString screenshotPath(const QString &fileName);

// Compares a picture with tests/reference/NAME.png. Empty when they match: every channel of every
// pixel within kReferenceTolerance. The gcc and the sanitizer builds draw the same pixels (Qt does
// the drawing), so the match is exact; a tolerance would let a colour two steps off pass. On a
// difference, writes NAME.actual.png and NAME.diff.png (red where they differ) next to the
// screenshots and tells why. With ORVELIN_UPDATE_REFERENCES=1 the picture becomes the reference.
constexpr int kReferenceTolerance = 0;
QString differsFromReference(const QImage &actual, const QString &name);

// Collects every Qt log line (the message text, without quotes added by the stream).
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    QStringList lines() const;
    bool contains(const QString &text) const; // some line contains text
    int count(const QString &text) const; // lines equal to text
    int indexOf(const QString &text, int from = 0) const; // first line containing text
    void clear();

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &message);
    static LogCapture *current;
    mutable std::mutex mutex;
    QStringList captured;
    QtMessageHandler previous = nullptr;
};

} // namespace testsupport
