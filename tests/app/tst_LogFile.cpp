#include "app/LogFile.h"
#include "app/RepeatedLines.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <cctype>
#include <iostream>
#include <thread>

namespace {

// "2026-12-09 10:15:02.123 D "
constexpr int kStampLength = 26;

QStringList rawLinesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
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

QList<QByteArray> feed(RepeatedLines &repeats, const QByteArray &texts, qint64 nowMs = 0)
{
    QList<QByteArray> out;
    for (char text : texts)
        out += repeats.add("t ", QByteArray("D ") + text, nowMs);
    return out;
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
            std::cerr << "Failed to set mic 48V: "
                      << "device gone" << std::endl;
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
        for (const QString &line : rawLinesOf(path)) {
            const QDateTime time
                = QDateTime::fromString(line.left(kStampLength - 3), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
            QVERIFY2(time.isValid() && qAbs(time.secsTo(QDateTime::currentDateTime())) < 3600, qPrintable(line));
            QCOMPARE(line.mid(kStampLength - 3, 1), QStringLiteral(" "));
            levels += line.at(kStampLength - 2);
        }
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
        if (existingBytes) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(existingBytes, 'x') + '\n');
        }
        const int limit = 2048;
        {
            testsupport::LogCapture quiet;
            LogFile log(path, limit);
            for (int i = 0; i < lines; ++i)
                qDebug().noquote() << QStringLiteral("line %1 ").arg(i, 4, 10, QLatin1Char('0')) + QString(40, 'y');
        }
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
        QTest::addColumn<QByteArray>("written");
        // Each letter a line; in `written` a digit n is "(repeated n times)", and "n/k" is
        // "(last k lines repeated n times)".
        QTest::newRow("nothing repeats") << QByteArray("abcab") << QByteArray("abcab");
        QTest::newRow("one line") << QByteArray("aaaab") << QByteArray("a3b");
        QTest::newRow("once is counted too") << QByteArray("aab") << QByteArray("a1b");
        QTest::newRow("two lines taking turns") << QByteArray("abababc") << QByteArray("ab2/2c");
        QTest::newRow("a group broken off half way") << QByteArray("abcabcabd") << QByteArray("abc1/3abd");
        QTest::newRow("a false start loses nothing") << QByteArray("abad") << QByteArray("abad");
        QTest::newRow("four lines") << QByteArray("abcdabcdx") << QByteArray("abcd1/4x");
        QTest::newRow("five are too many") << QByteArray("abcdeabcde") << QByteArray("abcdeabcde");
        QTest::newRow("held back at the end") << QByteArray("aaaba") << QByteArray("a2ba");
    }
    void repeatsAreCounted()
    {
        QFETCH(QByteArray, texts);
        QFETCH(QByteArray, written);
        RepeatedLines repeats;
        QList<QByteArray> out = feed(repeats, texts);
        out += repeats.flush("t ");
        QList<QByteArray> expected;
        for (int i = 0; i < written.size(); ++i) {
            const char c = written.at(i);
            if (!std::isdigit(static_cast<unsigned char>(c))) {
                expected << QByteArray("t D ") + c;
                continue;
            }
            const QByteArray times = QByteArray(1, c) + (c == '1' ? " time)" : " times)");
            if (i + 2 < written.size() && written.at(i + 1) == '/') {
                expected << "t D (last " + QByteArray(1, written.at(i + 2)) + " lines repeated " + times;
                i += 2;
            } else {
                expected << "t D (repeated " + times;
            }
        }
        QCOMPARE(out, expected);
    }

    void repeatsAreCountedOnceAMinute()
    {
        RepeatedLines repeats;
        QCOMPARE(feed(repeats, "aa", 0), QList<QByteArray> { "t D a" });
        QVERIFY(feed(repeats, "aaa", 59999).isEmpty());
        QCOMPARE(feed(repeats, "a", 60000), QList<QByteArray> { "t D (repeated 5 times)" });
        QVERIFY(feed(repeats, "a", 60001).isEmpty());
        QCOMPARE(feed(repeats, "b", 60002), (QList<QByteArray> { "t D (repeated 1 time)", "t D b" }));
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
                qWarning() << "Could not open pipe. Is Audio Service running? Error:" << 2;
            }
            qDebug() << "Device found with PID:" << 2;
            qDebug() << "Meter driver handle deleted.";
            qDebug() << "Meter driver handle deleted.";
            // Standard error still gets every line.
            QCOMPARE(capture.count(QStringLiteral("Failed to connect to driver.")), 100);
        }
        QCOMPARE(linesOf(path),
            QStringList({ QStringLiteral("Failed to connect to driver."),
                QStringLiteral("Could not open pipe. Is Audio Service running? Error: 2"),
                QStringLiteral("(last 2 lines repeated 99 times)"), QStringLiteral("Device found with PID: 2"),
                QStringLiteral("Meter driver handle deleted."), QStringLiteral("(repeated 1 time)") }));
        QCOMPARE(rawLinesOf(path).at(2).at(kStampLength - 2), QLatin1Char('D'));
    }

    // Another program holds the file (here: a folder where the previous file goes): the file is
    // never cut short and keeps every line; the failure is said once.
    void failedRenameKeepsAppending()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("OrvelinDriver.log"));
        QVERIFY(QDir().mkpath(LogFile::previousPath(path) + QStringLiteral("/held")));
        const int limit = 2048;
        {
            testsupport::LogCapture quiet;
            LogFile log(path, limit);
            for (int i = 0; i < 200; ++i)
                qDebug().noquote() << QStringLiteral("line %1 ").arg(i, 4, 10, QLatin1Char('0')) + QString(40, 'y');
        }
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
        // A folder where the file should be.
        const QString path = dir.filePath(QStringLiteral("OrvelinDriver.log"));
        QVERIFY(QDir().mkpath(path));
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
