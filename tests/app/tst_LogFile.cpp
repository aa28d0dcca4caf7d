#include "app/LogFile.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QtTest>

#include <iostream>
#include <thread>

namespace {

QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
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
        // The lines still reach the handler that was there before.
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
