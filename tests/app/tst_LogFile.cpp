#include "app/LogFile.h"
#include "app/RepeatedLines.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <iostream>
#include <thread>

namespace {

// "2026-12-09 10:15:02.123 D "
constexpr int kStampLength = 26;

QStringList rawLinesOf(const QString &path)
{
    QStringList lines = QString::fromUtf8(testsupport::onDisk(path)).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The lines without their time and level.
QStringList linesOf(const QString &path)
{
    QStringList lines = rawLinesOf(path);
    for (QString &line : lines)
        line.remove(0, kStampLength);
    return lines;
}

// Feeds one line per letter; the lines written come back as their letters, a count as "3" or,
// for a group of two, "3/2".
QString feed(RepeatedLines &repeats, const QByteArray &texts, qint64 nowMs = 0, bool end = false)
{
    QList<QByteArray> out;
    for (char text : texts)
        out += repeats.add("t ", QByteArray("D ") + text, nowMs);
    if (end)
        out += repeats.flush("t ");
    QStringList tokens;
    static const QRegularExpression count(QStringLiteral("^t D \\((?:last (\\d) lines )?repeated (\\d+) times?\\)$"));
    for (const QByteArray &line : out) {
        const QRegularExpressionMatch m = count.match(QString::fromLatin1(line));
        tokens << (!m.hasMatch()          ? QString::fromLatin1(line.mid(4))
                : m.captured(1).isEmpty() ? m.captured(2)
                                          : m.captured(2) + QLatin1Char('/') + m.captured(1));
    }
    return tokens.join(QLatin1Char(' '));
}

// Logs numbered lines of 50 bytes into a file of that size limit, quietly.
void logNumberedLines(const QString &path, int limit, int count)
{
    testsupport::LogCapture quiet;
    LogFile log(path, limit);
    for (int i = 0; i < count; ++i)
        qDebug().noquote() << QStringLiteral("line %1 ").arg(i, 4, 10, QLatin1Char('0')) + QString(40, 'y');
}

} // namespace

// The log file holds what the program logs, stays within its size and keeps one previous file.
class tst_LogFile : public QObject
{
    Q_OBJECT

private slots:
    void holdsEveryLogLine()
    {
        testsupport::IsolatedEnvironment env;
        testsupport::LogCapture capture;
        // Windows keeps the folder outside the isolated environment.
        QFile::remove(LogFile::defaultPath());
        QString path;
        {
            LogFile log;
            path = log.path();
            QVERIFY(path.endsWith(QStringLiteral("/OrvelinDriver.log")));
            QVERIFY(log.isOpen());
            qDebug() << "Headphone volume set to:" << 0.5;
            qWarning().noquote() << "无法连接音频服务管道";
            std::cerr << "Failed to set mic 48V: " << std::string("device gone") << std::endl;
            std::cerr << "partial ";
            std::cerr << "line" << std::endl;
            // The pipe listener logs from its own thread.
            std::thread([] { qDebug() << "Listener" << 2; }).join();
        }
        qDebug() << "after the log file is gone";
        const QStringList expected { QStringLiteral("Headphone volume set to: 0.5"),
            QStringLiteral("无法连接音频服务管道"), QStringLiteral("Failed to set mic 48V: device gone"),
            QStringLiteral("partial line"), QStringLiteral("Listener 2") };
        QCOMPARE(linesOf(path), expected);
        // Local time to the millisecond, then the level; standard error is level E.
        QString levels;
        for (const QString &line : rawLinesOf(path))
            levels += QDateTime::fromString(line.left(23), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).isValid()
                    && line.at(23) == QLatin1Char(' ')
                ? line.at(24)
                : QLatin1Char('?');
        QCOMPARE(levels, QStringLiteral("DWEED"));
        // The lines still reach the handler that was there before, in Qt's plain format.
        QVERIFY(capture.lines().contains(QStringLiteral("Headphone volume set to: 0.5")));
        QVERIFY(capture.contains(QStringLiteral("Headphone volume set to:")));
        QVERIFY(capture.contains(QStringLiteral("after the log file is gone")));
        // A second run appends.
        {
            LogFile log(path);
            qDebug() << "second run";
        }
        QCOMPARE(linesOf(path).size(), expected.size() + 1);
    }

    void rotation_data()
    {
        QTest::addColumn<int>("existingBytes");
        QTest::addColumn<int>("lines");
        QTest::newRow("within the limit") << 0 << 10;
        QTest::newRow("several rotations") << 0 << 200;
        QTest::newRow("file from an earlier run over the limit") << 5000 << 1;
    }
    void rotation()
    {
        QFETCH(int, existingBytes);
        QFETCH(int, lines);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sub/OrvelinDriver.log"));
        const QString previous = dir.filePath(QStringLiteral("sub/OrvelinDriver.old.log"));
        QCOMPARE(LogFile::previousPath(path), previous);
        QDir().mkpath(dir.filePath(QStringLiteral("sub")));
        if (existingBytes)
            QVERIFY(testsupport::writeFile(path, QByteArray(existingBytes, 'x') + '\n'));
        const int limit = 2048;
        logNumberedLines(path, limit, lines);
        QVERIFY(QFileInfo(path).size() <= limit);
        const QStringList current = linesOf(path);
        QCOMPARE(current.last().left(9), QStringLiteral("line %1").arg(lines - 1, 4, 10, QLatin1Char('0')));
        QStringList all = linesOf(previous) + current;
        if (existingBytes == 0 && lines * 50 <= limit)
            QVERIFY(!QFile::exists(previous));
        else
            QVERIFY(QFileInfo(previous).size() <= qMax(limit, existingBytes + 1));
        // Nothing lost between the two files, and nothing but the two files.
        for (int i = 1; i < all.size(); ++i)
            if (all.at(i - 1).startsWith(QStringLiteral("line ")))
                QCOMPARE(all.at(i).left(9),
                    QStringLiteral("line %1").arg(all.at(i - 1).mid(5, 4).toInt() + 1, 4, 10, QLatin1Char('0')));
        QCOMPARE(
            QDir(dir.filePath(QStringLiteral("sub"))).entryList(QDir::Files).size(), QFile::exists(previous) ? 2 : 1);
    }

    void repeatsAreCounted_data()
    {
        QTest::addColumn<QByteArray>("texts");
        QTest::addColumn<QString>("written");
        QTest::newRow("nothing repeats") << QByteArray("abcab") << "a b c a b";
        QTest::newRow("one line") << QByteArray("aaaab") << "a 3 b";
        QTest::newRow("two lines taking turns") << QByteArray("abababc") << "a b 2/2 c";
        QTest::newRow("a group broken off half way") << QByteArray("abcabcabd") << "a b c 1/3 a b d";
        QTest::newRow("a false start loses nothing") << QByteArray("abad") << "a b a d";
        QTest::newRow("a group broken off by another") << QByteArray("abaac") << "a b a 1 c";
        QTest::newRow("four lines") << QByteArray("abcdabcdx") << "a b c d 1/4 x";
        QTest::newRow("five are too many") << QByteArray("abcdeab") << "a b c d e a b";
        QTest::newRow("held back at the end") << QByteArray("aaaba") << "a 2 b a";
    }
    void repeatsAreCounted()
    {
        QFETCH(QByteArray, texts);
        QFETCH(QString, written);
        RepeatedLines repeats;
        QCOMPARE(feed(repeats, texts, 0, true), written);
    }

    void repeatsAreCountedOnceAMinute()
    {
        RepeatedLines repeats;
        QCOMPARE(feed(repeats, "aaaa", 0), QStringLiteral("a"));
        QCOMPARE(feed(repeats, "a", 60000), QStringLiteral("4"));
        QCOMPARE(feed(repeats, "ab", 60001), QStringLiteral("1 b"));
    }

    void repeatedLinesInTheFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvelinDriver.log"));
        {
            testsupport::LogCapture capture;
            LogFile log(path);
            for (int i = 0; i < 100; ++i) {
                qDebug() << "Failed to connect to driver.";
                qWarning() << "Could not open pipe.";
            }
            // Standard error still gets every line.
            QCOMPARE(capture.count(QStringLiteral("Failed to connect to driver.")), 100);
        }
        // The count is written when the program ends, with the level of the group's first line.
        QCOMPARE(rawLinesOf(path).join(QLatin1Char('|')).remove(QRegularExpression(QStringLiteral("\\d[-\\d: .]{23}"))),
            QStringLiteral("D Failed to connect to driver.|W Could not open pipe.|D (last 2 lines repeated 99 times)"));
    }

    // Another program holds the file (here: a folder where the previous file goes): the file is
    // never cut short and keeps every line; the failure is said once.
    void failedRenameKeepsAppending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvelinDriver.log"));
        QVERIFY(QDir().mkpath(LogFile::previousPath(path) + QStringLiteral("/held")));
        logNumberedLines(path, 2048, 200);
        const QStringList lines = linesOf(path);
        QCOMPARE(lines.filter(QStringLiteral("Log file could not be renamed to OrvelinDriver.old.log")).size(), 1);
        const QStringList kept = lines.filter(QRegularExpression(QStringLiteral("^line ")));
        QCOMPARE(kept.size(), 200);
        QVERIFY(kept.first().startsWith(QStringLiteral("line 0000")));
        QVERIFY(QFileInfo(path).size() > 200 * 50);
    }

    void unwritableFolderIsLoggedNotFatal()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvelinDriver.log"));
        QVERIFY(QDir().mkpath(path)); // a folder where the file should be
        testsupport::LogCapture capture;
        LogFile log(path);
        QVERIFY(!log.isOpen());
        QVERIFY(capture.contains(QStringLiteral("Log file not writable: ") + path));
        qDebug() << "still logged";
        QVERIFY(capture.contains(QStringLiteral("still logged")));
    }
};

QTEST_GUILESS_MAIN(tst_LogFile)
#include "tst_LogFile.moc"
