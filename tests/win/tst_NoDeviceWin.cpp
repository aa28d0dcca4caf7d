// The Windows program on a machine without the driver package, through the real Windows driver
// and pipe ports: the main window keeps searching, the INI files live in the Windows
// application-data folder, and the control pipe's instances that Qt adds deny network logons.
#include "app/MainWindow.h"
#include "control/ControlServer.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/PanelKit.h"
#include "platform/ControlEndpoint_win.h"
#include "platform/UserToken_win.h"
#include "settings/Settings.h"
#include "storage/SettingsFile.h"
#include "tests/support/TestSupport.h"
#include "tests/win/HandleDacl.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

#include <windows.h>

class tst_NoDeviceWin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Never the Wine user's own settings.
        QStandardPaths::setTestModeEnabled(true);
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
    }

    void mainWindowKeepsSearching()
    {
        testsupport::LogCapture log;
        auto settings = std::make_unique<Settings>();
        auto window = std::make_unique<MainWindow>();
        window->setSettings(settings.get());
        QCOMPARE(window->windowTitle(), QStringLiteral("Orvelin Driver"));
        QStringList texts;
        for (QLabel *label : window->findChildren<QLabel *>())
            texts << label->text();
        QCOMPARE(texts, QStringList { QStringLiteral("No Device Connect!") });
        window->detectDevice();
        window->detectDevice();
        QCOMPARE(log.count(QStringLiteral("Failed to connect to driver.")), 2);
        // No audio service either: CreateFileW on its pipe fails with ERROR_FILE_NOT_FOUND.
        QCOMPARE(log.count(QStringLiteral("Could not open pipe. Is Audio Service running? Error: 2")), 2);
        // The detection timer itself drives the step.
        QTRY_VERIFY_WITH_TIMEOUT(log.count(QStringLiteral("Failed to connect to driver.")) >= 3, 15000);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QVERIFY(window->grab().save(testsupport::screenshotPath(QStringLiteral("MainWindow_windows_searching.png"))));
        window.reset();
        settings.reset();
    }

    // Qt adds the instances clients land on (the reserving one is kept busy); they have the
    // reservation's access list, network logons denied, and a client of this session is served.
    void controlInstancesOfQtDenyNetworkLogons()
    {
        testsupport::LogCapture log;
        ControlServer server;
        QVERIFY(server.start());
        const std::wstring path = L"\\\\.\\pipe\\" + platform::controlPipeName();
        HANDLE client = INVALID_HANDLE_VALUE;
        QVERIFY(QTest::qWaitFor([&] {
            client = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            return client != INVALID_HANDLE_VALUE;
        }));
        QCOMPARE(QString::fromStdWString(daclOf(client)),
            QStringLiteral("D:P(D;;FA;;;NU)(A;;FA;;;SY)(A;;FA;;;%1)")
                .arg(QString::fromStdWString(platform::currentUserSid())));
        QTRY_COMPARE(server.clientCount(), 1);
        QVERIFY(!log.contains(QStringLiteral("Control client refused")));
        CloseHandle(client);
    }

    void settingsFilesRoundTrip()
    {
        const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + QStringLiteral("/ka2.ini");
        {
            QWidget owner;
            QSettings *file = storage::openSettingsFile(path, &owner);
            panelkit::save(*file, QStringLiteral("Dial/MicValue"), 37);
            panelkit::save(*file, QStringLiteral("Button/Mic48VIsChecked"), true);
            // Every save replaces the file on disk, as a crash right after it would find it.
            panelkit::save(*file, QStringLiteral("Dial/MicValue"), 38);
        }
        QWidget panel;
        QSettings *file = storage::openSettingsFile(path, &panel);
        Knob knob(&panel);
        // A gain knob's range, as the panels configure it.
        knob.minimum = 0;
        knob.maximum = 100;
        Button button(QString(), &panel);
        testsupport::LogCapture log;
        panelkit::restore(*file,
            { panelkit::stored("Dial/MicValue", &knob, 0), panelkit::stored("Button/Mic48VIsChecked", &button) });
        QCOMPARE(knob.value, 38);
        QVERIFY(button.isSelected());
        QVERIFY(!log.contains(QStringLiteral("Failed to write settings file:")));
    }

    void damagedSettingsFileIsCopiedAside()
    {
        const QString path
            = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/kv.ini");
        const QByteArray damaged("\x00\xff[Dial\r\nMicValue=12\r\n", 23);
        QVERIFY(testsupport::writeFile(path, damaged));
        testsupport::LogCapture log;
        QWidget owner;
        QSettings *settings = storage::openSettingsFile(path, &owner);
        QVERIFY(log.contains(QStringLiteral("Settings file damaged, a copy is kept as:")));
        QCOMPARE(testsupport::onDisk(path + QStringLiteral(".damaged")), damaged);
        // The next write over the damaged file works, with the file of the same name still there.
        panelkit::save(*settings, QStringLiteral("Dial/HeadphoneValue"), -12);
        QCOMPARE(QSettings(path, QSettings::IniFormat).value(QStringLiteral("Dial/HeadphoneValue")).toInt(), -12);
    }
};

QTEST_MAIN(tst_NoDeviceWin)
#include "tst_NoDeviceWin.moc"
