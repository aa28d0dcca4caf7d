#include "platform/PlatformLog.h"
#include "platform/RuntimeDir.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

class tst_RuntimeDir : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir temp;
    std::vector<std::string> logged;

    std::string base() const { return QFile::encodeName(temp.path()).toStdString(); }
    static mode_t modeOf(const std::string &path)
    {
        struct stat info;
        return ::lstat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
    }
    int loggedCount(const std::string &line) const
    {
        int n = 0;
        for (const std::string &l : logged)
            n += (l == line);
        return n;
    }

private slots:
    void init()
    {
        logged.clear();
        platform::setLogSink([this](const std::string &line) { logged.push_back(line); });
    }
    void cleanup() { platform::setLogSink(nullptr); }

    void choosesFolderFromEnvironment()
    {
        qputenv("ORVELIN_RUNTIME_DIR", "/run/x/own/");
        qputenv("XDG_RUNTIME_DIR", "/run/user/7");
        QCOMPARE(platform::runtimeDirectory(), std::string("/run/x/own"));
        QCOMPARE(platform::runtimePath("devices/{G}"), std::string("/run/x/own/devices/{G}"));
        qunsetenv("ORVELIN_RUNTIME_DIR");
        QCOMPARE(platform::runtimeDirectory(), std::string("/run/user/7/orvelin"));
        qunsetenv("XDG_RUNTIME_DIR");
        QCOMPARE(platform::runtimeDirectory(), "/tmp/orvelin-" + std::to_string(::geteuid()));
    }

    void serverCreatesPrivateFoldersDespiteUmask()
    {
        const std::string root = base() + "/created";
        qputenv("ORVELIN_RUNTIME_DIR", QByteArray::fromStdString(root));
        const mode_t old = ::umask(0);
        const bool made = platform::ensurePrivateDirectory("devices/{6EB9AB90-B331-4508-B903-48AAA26EA4F1}");
        ::umask(old);
        QVERIFY(made);
        QCOMPARE(modeOf(root), mode_t(0700));
        QCOMPARE(modeOf(root + "/devices"), mode_t(0700));
        QCOMPARE(modeOf(root + "/devices/{6EB9AB90-B331-4508-B903-48AAA26EA4F1}"), mode_t(0700));
        QVERIFY(platform::checkRuntimeDirectory("devices/{6EB9AB90-B331-4508-B903-48AAA26EA4F1}"));
        QVERIFY(logged.empty());
    }

    void clientCreatesNothing()
    {
        const std::string root = base() + "/absent";
        qputenv("ORVELIN_RUNTIME_DIR", QByteArray::fromStdString(root));
        QVERIFY(!platform::checkRuntimeDirectory("pipe"));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(root)));
        QVERIFY(logged.empty()); // absent is not refused
    }

    void refusesUnsafeFoldersOnceEach()
    {
        const std::string open = base() + "/open";
        QVERIFY(::mkdir(open.c_str(), 0700) == 0);
        ::chmod(open.c_str(), 0750);
        const std::string link = base() + "/link";
        const std::string target = base() + "/target";
        QVERIFY(::mkdir(target.c_str(), 0700) == 0);
        QVERIFY(::symlink(target.c_str(), link.c_str()) == 0);
        const std::string file = base() + "/file";
        QFile f(QString::fromStdString(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        ::chmod(file.c_str(), 0700);

        for (int i = 0; i < 3; ++i) {
            QVERIFY(!platform::checkPrivateDirectory(open));
            QVERIFY(!platform::checkPrivateDirectory(link));
            QVERIFY(!platform::checkPrivateDirectory(file));
        }
        QCOMPARE(loggedCount("Runtime directory refused: " + open), 1);
        QCOMPARE(loggedCount("Runtime directory refused: " + link), 1);
        QCOMPARE(loggedCount("Runtime directory refused: " + file), 1);

        // A server does not widen or repair an existing folder, and does not follow the link.
        qputenv("ORVELIN_RUNTIME_DIR", QByteArray::fromStdString(open));
        QVERIFY(!platform::ensurePrivateDirectory("pipe"));
        QCOMPARE(modeOf(open), mode_t(0750));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(open + "/pipe")));
        qputenv("ORVELIN_RUNTIME_DIR", QByteArray::fromStdString(link));
        QVERIFY(!platform::ensurePrivateDirectory("pipe"));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(target + "/pipe")));
    }

    void refusesFolderOfAnotherUser()
    {
        const std::string other = base() + "/other";
        QVERIFY(::mkdir(other.c_str(), 0700) == 0);
        if (::chown(other.c_str(), ::geteuid() + 1, static_cast<gid_t>(-1)) != 0)
            QSKIP("cannot hand a folder to another user here");
        QVERIFY(!platform::checkPrivateDirectory(other));
        QCOMPARE(loggedCount("Runtime directory refused: " + other), 1);
    }

    void refusedSubfolderMakesTheWholePathAbsent()
    {
        const std::string root = base() + "/sub";
        qputenv("ORVELIN_RUNTIME_DIR", QByteArray::fromStdString(root));
        QVERIFY(platform::ensurePrivateDirectory("devices"));
        ::chmod((root + "/devices").c_str(), 0705);
        QVERIFY(!platform::checkRuntimeDirectory("devices/x"));
        QVERIFY(!platform::ensurePrivateDirectory("devices/x"));
        QVERIFY(!QFileInfo::exists(QString::fromStdString(root + "/devices/x")));
    }

    void socketPathLimitIs107Bytes()
    {
        const std::string fits(107, 'a');
        const std::string tooLong(108, 'a');
        QVERIFY(platform::socketPathFits(fits));
        QVERIFY(logged.empty());
        QVERIFY(!platform::socketPathFits(tooLong));
        QCOMPARE(loggedCount("Socket path too long: " + tooLong), 1);
    }
};

QTEST_GUILESS_MAIN(tst_RuntimeDir)
#include "tst_RuntimeDir.moc"
