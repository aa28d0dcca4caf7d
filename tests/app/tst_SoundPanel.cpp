#include "platform/PlatformLog.h"
#include "platform/SoundPanel.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <string>
#include <vector>

// The Linux stand-in for the Windows sound control panel: the first sound settings program found
// on PATH is started detached; failure is reported only when none could be started.
class tst_SoundPanel : public QObject
{
    Q_OBJECT

private:
    QByteArray savedPath;
    std::vector<std::string> logged;

    static void writeScript(const QString &path, const QByteArray &body, bool executable = true)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(body);
        file.close();
        file.setPermissions(
            executable ? QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner : QFile::ReadOwner | QFile::WriteOwner);
    }

    static QByteArray recorder(const QString &marker)
    {
        return "#!/bin/sh\necho \"${0##*/} $*\" > '" + QFile::encodeName(marker) + "'\n";
    }

    static QString readMarker(const QString &marker)
    {
        return QString::fromUtf8(testsupport::onDisk(marker)).trimmed();
    }

private slots:
    void init()
    {
        savedPath = qgetenv("PATH");
        logged.clear();
        platform::setLogSink([this](const std::string &line) { logged.push_back(line); });
    }
    void cleanup()
    {
        qputenv("PATH", savedPath);
        platform::setLogSink(nullptr);
    }

    void startsFirstInstalledProgramWithItsArguments()
    {
        QTemporaryDir bin;
        const QString marker = bin.filePath(QStringLiteral("started"));
        writeScript(bin.filePath(QStringLiteral("gnome-control-center")), recorder(marker));
        // An empty entry and a missing folder on PATH are skipped.
        qputenv("PATH", "::/nonexistent-folder:" + QFile::encodeName(bin.path()));
        QVERIFY(platform::openSoundPanel());
        QTRY_COMPARE(readMarker(marker), QStringLiteral("gnome-control-center sound"));
        QVERIFY(logged.empty());

        // pavucontrol comes first when both are there.
        QFile::remove(marker);
        writeScript(bin.filePath(QStringLiteral("pavucontrol")), recorder(marker));
        QVERIFY(platform::openSoundPanel());
        QTRY_COMPARE(readMarker(marker), QStringLiteral("pavucontrol"));
    }

    void programThatCannotRunFallsThroughToTheNext()
    {
        QTemporaryDir bin;
        const QString marker = bin.filePath(QStringLiteral("started"));
        // Found on PATH, but exec fails (missing interpreter) or it is not executable.
        writeScript(bin.filePath(QStringLiteral("pavucontrol")), "#!/nonexistent/interpreter\n");
        writeScript(bin.filePath(QStringLiteral("pavucontrol-qt")), recorder(marker), false);
        writeScript(bin.filePath(QStringLiteral("mate-volume-control")), recorder(marker));
        qputenv("PATH", QFile::encodeName(bin.path()));
        QVERIFY(platform::openSoundPanel());
        QTRY_COMPARE(readMarker(marker), QStringLiteral("mate-volume-control"));
    }

    void reportsFailureWhenNothingCanBeOpened()
    {
        QTemporaryDir bin;
        writeScript(bin.filePath(QStringLiteral("pavucontrol")), "#!/nonexistent/interpreter\n");
        qputenv("PATH", QFile::encodeName(bin.path()));
        QVERIFY(!platform::openSoundPanel());
        qunsetenv("PATH");
        QVERIFY(!platform::openSoundPanel());
        QCOMPARE(logged.size(), std::size_t(2));
        QCOMPARE(logged.back(),
            std::string("No sound settings program could be started (tried pavucontrol, pavucontrol-qt, "
                        "gnome-control-center, systemsettings, mate-volume-control)"));
    }
};

QTEST_GUILESS_MAIN(tst_SoundPanel)
#include "tst_SoundPanel.moc"
