#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/kv.h"
#include "tests/support/PanelRig.h"

#include <QLabel>
#include <QtTest>

class tst_kv : public QObject
{
    Q_OBJECT

private slots:
    void firstStartSendsEveryControlInOrder();
    void muteLogsOnlyItsOwnLineAndDimLowersByTwentyDb();
    void readoutsAndFailedMeterRead();
    void textsAndStyles();
};

void tst_kv::firstStartSendsEveryControlInOrder()
{
    PanelRig rig(15);
    testsupport::LogCapture log;
    kv panel;

    QCOMPARE(rig.sent(),
        QStringList({
            "vendor 01 03 00 02 01 64 00", "vendor 01 03 00 02 02 64 00",
            "block", // direct off
            "vendor 01 07 00 02 01 00 00", // gain 0
            "block", "block", "block", // headphone: volume, mute, dim
        }));
    // The phone input is fixed at unity from the first block on.
    QCOMPARE(PanelRig::cell(rig.blocks()[0], 16400), 1.0);
    QCOMPARE(PanelRig::cell(rig.blocks()[0], 16664), 1.0);
    QCOMPARE(rig.lastCell(16384), 0.0);
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.lastCell(65544), 0.0);

    QSettings ini(rig.iniPath("/kv.ini"), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), 5);
    QCOMPARE(ini.value("Button/MonitorMicIsChecked").toString(), QString("false"));
    QCOMPARE(ini.value("Dial/MicValue").toString(), QString("0"));
    QCOMPARE(ini.value("Dial/HeadphoneValue").toString(), QString("-80"));
    QCOMPARE(ini.value("Button/HeadphoneMuteIsChecked").toString(), QString("false"));
    QCOMPARE(ini.value("Button/HeadphoneDimIsChecked").toString(), QString("false"));
    QVERIFY(!log.contains("Headphone volume set to:"));
    QCOMPARE(log.lines().last(), QString("已从配置文件加载控件状态"));
}

void tst_kv::muteLogsOnlyItsOwnLineAndDimLowersByTwentyDb()
{
    PanelRig rig(15);
    kv panel;
    auto *knob = panel.findChild<Knob *>("headphoneKnob");
    knob->setValue(0);
    QTest::mouseClick(panel.findChild<Button *>("headphoneDimButton"), Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.1);
    QCOMPARE(rig.lastCell(65544), 0.1);

    testsupport::LogCapture log;
    QTest::mouseClick(panel.findChild<Button *>("headphoneMuteButton"), Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(log.lines(),
        QStringList({ "Headphone Mute Button Clicked: Mute ON", "Headphone Mute Button Clicked: Mute ON" }));
    QCOMPARE(rig.stored("/kv.ini", "Dial/HeadphoneValue"), QString("0"));

    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);
    knob->setValue(-3);
    QCOMPARE(log.count("Failed to set headphone volume."), 1);
    QCOMPARE(rig.stored("/kv.ini", "Dial/HeadphoneValue"), QString("-3"));
}

void tst_kv::readoutsAndFailedMeterRead()
{
    PanelRig rig(15);
    rig.emulator.fail(PanelRig::kMeterCode, emu::FaultMode::Refuse);
    testsupport::LogCapture log;
    kv panel;
    auto *level = panel.findChild<QLabel *>("micLevelLabel");
    QTRY_VERIFY(log.contains("Failed to read meter data from driver."));
    QCOMPARE(level->text(), QString("-160 dB"));

    rig.emulator.fail(PanelRig::kMeterCode, emu::FaultMode::Off);
    rig.emulator.setLevel(0, 0);
    QTRY_COMPARE(level->text(), QString("-inf dB"));
    rig.emulator.setLevel(0, 1);
    QTRY_COMPARE(level->text(), QString("-186.6 dB")); // no floor
}

void tst_kv::textsAndStyles()
{
    PanelRig rig(15);
    PanelRig::ContextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    kv panel;
    QCoreApplication::removeTranslator(&translator);
    QStringList texts;
    QStringList styles;
    for (QLabel *label : panel.findChildren<QLabel *>()) {
        texts << label->text();
        styles << label->styleSheet();
    }
    QCOMPARE(texts, QStringList({ "kv:MIC", "-160 dB", "kv:Gain", "HEADPHONE", "kv:Volume" }));
    QCOMPARE(styles[2], QString(" font-size: 12px; color: white;"));
    QCOMPARE(styles[4], QString(" font-size: 12px; color: white;"));
    QCOMPARE(panel.findChild<Button *>("micDirectButton")->text(), QString("kv:DIRECT"));
}

QTEST_MAIN(tst_kv)
#include "tst_kv.moc"
