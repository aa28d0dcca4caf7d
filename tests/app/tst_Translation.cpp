#include "app/Translation.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

// The language table, the file names beside the program and the fallback to the en_US file.
class tst_Translation : public QObject
{
    Q_OBJECT

private:
    // A program folder holding copies of the built translation files of the given languages.
    static bool makeProgramFolder(QTemporaryDir &folder, const QStringList &languages)
    {
        for (const QString &language : languages) {
            const QString name = QStringLiteral("/OrvelinDriver_%1.qm").arg(language);
            if (!QFile::copy(QStringLiteral(ORVELIN_QM_DIR) + name, folder.path() + name))
                return false;
        }
        return true;
    }

private slots:
    void languageTable_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("language");
        const char *const rows[][3] = { { "zh_CN", "zh_CN", "zh_CN" }, { "zh_TW", "zh_TW", "zh_CN" },
            { "en_US", "en_US", "en_US" }, { "en_GB", "en_GB", "en_US" }, { "en_001", "en_001", "en_US" },
            { "de_DE", "de_DE", "en_US" }, { "zh_HK", "zh_HK", "en_US" }, { "other case zh_cn", "zh_cn", "en_US" },
            { "other case ZH_TW", "ZH_TW", "en_US" }, { "C", "C", "en_US" }, { "empty", "", "en_US" } };
        for (const auto &row : rows)
            QTest::newRow(row[0]) << QString::fromLatin1(row[1]) << QString::fromLatin1(row[2]);
    }
    void languageTable()
    {
        QFETCH(QString, locale);
        QFETCH(QString, language);
        QCOMPARE(app::languageForLocale(locale), language);
    }

    void chosenFileIsLoadedAndTranslates()
    {
        QTemporaryDir folder;
        QVERIFY(makeProgramFolder(folder, { QStringLiteral("zh_CN"), QStringLiteral("en_US") }));
        testsupport::LogCapture log;
        QTranslator translator;
        const QString path = folder.path() + QStringLiteral("/OrvelinDriver_zh_CN.qm");
        QCOMPARE(
            app::installTranslation(*QCoreApplication::instance(), translator, folder.path(), QStringLiteral("zh_TW")),
            path);
        QCOMPARE(log.lines(),
            QStringList({ QStringLiteral("系统返回的语言代码： zh_TW"), QStringLiteral("拼接后的路径： %1").arg(path),
                QStringLiteral("成功加载翻译文件： %1").arg(path) }));
        QCOMPARE(QCoreApplication::translate("MainWindow", "No Device Connect!"), QStringLiteral("未连接设备！"));
        QCOMPARE(QCoreApplication::translate("TrayIcon", "Quit"), QStringLiteral("退出"));
        QCoreApplication::removeTranslator(&translator);

        // The English file puts the Chinese texts into English.
        QTranslator english;
        QCOMPARE(
            app::installTranslation(*QCoreApplication::instance(), english, folder.path(), QStringLiteral("en_GB")),
            folder.path() + QStringLiteral("/OrvelinDriver_en_US.qm"));
        QCOMPARE(
            QCoreApplication::translate("MainWindow", "声卡未连接！"), QStringLiteral("Sound card not connected!"));
        QCoreApplication::removeTranslator(&english);
    }

    void qtCatalogBesideTheProgramTranslatesQtsTexts()
    {
        QTemporaryDir folder;
        QVERIFY(QFile::copy(QStringLiteral(ORVELIN_QM_DIR "/qtbase_zh_CN.qm"), folder.filePath("qtbase_zh_CN.qm")));
        QTranslator qt;
        QCOMPARE(app::installQtTranslation(*QCoreApplication::instance(), qt, folder.path(), QStringLiteral("zh_TW")),
            folder.path() + QStringLiteral("/qtbase_zh_CN.qm"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        QCoreApplication::removeTranslator(&qt);
        // English needs no catalog: none is loaded, from anywhere.
        QTranslator none;
        QVERIFY(app::installQtTranslation(*QCoreApplication::instance(), none, folder.path(), QStringLiteral("en_US"))
                    .isEmpty());
        QVERIFY(none.isEmpty());
    }

    void missingFileFallsBackToEnglish()
    {
        QTemporaryDir folder;
        QVERIFY(makeProgramFolder(folder, { QStringLiteral("en_US") }));
        testsupport::LogCapture log;
        QTranslator translator;
        const QString fallback = folder.path() + QStringLiteral("/OrvelinDriver_en_US.qm");
        QCOMPARE(
            app::installTranslation(*QCoreApplication::instance(), translator, folder.path(), QStringLiteral("zh_CN")),
            fallback);
        QCOMPARE(log.lines().last(), QStringLiteral("加载默认翻译文件： %1").arg(fallback));
        QCoreApplication::removeTranslator(&translator);
    }

    void noFilesLeavesTheTextsAsWritten()
    {
        QTemporaryDir folder;
        testsupport::LogCapture log;
        QTranslator translator;
        QVERIFY(
            app::installTranslation(*QCoreApplication::instance(), translator, folder.path(), QStringLiteral("en_US"))
                .isEmpty());
        QCOMPARE(log.lines().last(), QStringLiteral("未找到任何翻译文件，使用原始文本"));
        QCOMPARE(log.count(QStringLiteral("未找到任何翻译文件，使用原始文本")), 1);
        QVERIFY(translator.isEmpty());
        QCOMPARE(QCoreApplication::translate("MainWindow", "No Device Connect!"), QStringLiteral("No Device Connect!"));
    }
};

QTEST_GUILESS_MAIN(tst_Translation)
#include "tst_Translation.moc"
