#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka1.h"
#include "tests/support/PanelRig.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest>

class tst_ka1 : public QObject
{
    Q_OBJECT

private slots:
    void firstStartSendsEveryControlInOrder();
    void restoringBoundsStoredValuesAndWritesThemBack();
    void muteAndDimSetTheHeadphoneCells();
    void switchPressRunsItsHandlerTwice();
    void knobDragSendsOneBlockPerEvent();
    void readoutsShowInputAndPhoneLevels();
    void refusedRequestsKeepAndSaveTheState();
    void refusedOutputVolumeStillBuildsThePanel();
};

void tst_ka1::firstStartSendsEveryControlInOrder()
{
    PanelRig rig(1);
    testsupport::LogCapture log;
    ka1 panel;

    QCOMPARE(rig.sent(),
        QStringList({
            "vendor 01 03 00 02 01 64 00", // output 1 at 100
            "vendor 01 03 00 02 02 64 00", // output 2 at 100
            "vendor 01 64 00 00 01 00 00", // microphone
            "vendor 01 5A 00 00 01 00 00", // pad off
            "vendor 01 5B 00 00 01 00 00", // phantom off
            "block", // direct off
            "vendor 01 07 00 02 01 00 00", // gain 0
            "block", "block", "block", // headphone: volume, mute, dim
            "block", // phone into headphone
        }));
    const auto blocks = rig.blocks();
    QCOMPARE(PanelRig::cell(blocks[0], 16384), 0.0);
    QCOMPARE(PanelRig::cell(blocks[0], 16648), 0.0);
    QCOMPARE(PanelRig::cell(blocks[0], 1024), 1.0); // the initial pattern is there from the first block
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.lastCell(65544), 0.0);
    QCOMPARE(rig.lastCell(16400), 1.0); // phone at 0 dB
    QCOMPARE(rig.lastCell(16664), 1.0);
    QCOMPARE(rig.lastCell(65552), 1.0);
    QCOMPARE(rig.lastCell(16392), 0.0);

    QSettings ini(rig.iniPath("/ka1.ini"), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), 9);
    for (const char *key : { "Button/MicInstrIsChecked", "Button/Mic20dBIsChecked", "Button/Mic48VIsChecked",
             "Button/MonitorMicIsChecked", "Button/HeadphoneMuteIsChecked", "Button/HeadphoneDimIsChecked" })
        QCOMPARE(ini.value(key).toString(), QString("false"));
    QCOMPARE(ini.value("Dial/MicValue").toString(), QString("0"));
    QCOMPARE(ini.value("Dial/HeadphoneValue").toString(), QString("-80"));
    QCOMPARE(ini.value("Dial/OtgToHpValue").toString(), QString("0"));

    QCOMPARE(log.count("Mic Instr Button Clicked 0"), 1);
    QVERIFY(log.indexOf("Headphone Dim Button Clicked: Dim OFF") < log.indexOf("OTG to HP volume set to: 1"));
    QCOMPARE(log.lines().last(), QString("已从配置文件加载控件状态"));
    QCOMPARE(panel.findChild<Button *>("micInstrumentButton")->text(), QString("MIC"));
}

void tst_ka1::restoringBoundsStoredValuesAndWritesThemBack()
{
    PanelRig rig(1);
    rig.store("/ka1.ini",
        { { "Dial/MicValue", 50 }, { "Dial/HeadphoneValue", "loud" }, { "Dial/OtgToHpValue", -200 },
            { "Button/MicInstrIsChecked", true } });
    ka1 panel;

    QVERIFY(rig.sent().contains("vendor 01 07 00 02 01 54 00")); // 42, the maximum, sent doubled
    QVERIFY(rig.sent().contains("vendor 01 64 00 01 01 00 00"));
    QCOMPARE(panel.findChild<Button *>("micInstrumentButton")->text(), QString("INST"));
    QCOMPARE(rig.stored("/ka1.ini", "Dial/MicValue"), QString("42"));
    QCOMPARE(rig.stored("/ka1.ini", "Dial/HeadphoneValue"), QString("-80")); // not a number: the key's default, silence
    QCOMPARE(rig.stored("/ka1.ini", "Dial/OtgToHpValue"), QString("-80"));
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.lastCell(16400), 0.0);
}

void tst_ka1::muteAndDimSetTheHeadphoneCells()
{
    PanelRig rig(1);
    ka1 panel;
    auto *knob = panel.findChild<Knob *>("headphoneKnob");
    auto *mute = panel.findChild<Button *>("headphoneMuteButton");
    auto *dim = panel.findChild<Button *>("headphoneDimButton");
    knob->setValue(-10);
    QCOMPARE(rig.lastCell(65536), 0.31622776601683794);

    QTest::mouseClick(dim, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379); // -30 dB
    QCOMPARE(rig.lastCell(65544), 0.03162277660168379);

    testsupport::LogCapture log;
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(log.count("Headphone volume set to: 0"), 2);
    QCOMPARE(log.count("Headphone Mute Button Clicked: Mute ON"), 2);
    QVERIFY(log.indexOf("Headphone volume set to: 0") < log.indexOf("Mute ON"));

    knob->setValue(-12); // turned while muted: silent, but saved
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.stored("/ka1.ini", "Dial/HeadphoneValue"), QString("-12"));
    knob->setValue(-10);

    QTest::mouseClick(mute, Qt::LeftButton); // released while dimmed
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379);
    QCOMPARE(rig.stored("/ka1.ini", "Dial/HeadphoneValue"), QString("-10"));

    knob->setValue(-70); // dimmed to -90: silence
    QCOMPARE(rig.lastCell(65536), 0.0);
}

void tst_ka1::switchPressRunsItsHandlerTwice()
{
    PanelRig rig(1);
    ka1 panel;
    rig.emulator.clearRequests();
    testsupport::LogCapture log;

    QTest::mouseClick(panel.findChild<Button *>("micPadButton"), Qt::LeftButton);
    QTest::mouseClick(panel.findChild<Button *>("micDirectButton"), Qt::LeftButton);
    QCOMPARE(
        rig.sent(), QStringList({ "vendor 01 5A 00 01 01 00 00", "vendor 01 5A 00 01 01 00 00", "block", "block" }));
    QCOMPARE(log.count("Mic 20dB Button Clicked 1"), 2);
    QCOMPARE(log.count("Mic 20dB switched for channel 1."), 2);
    QCOMPARE(log.count("Monitor Mic set to: 1"), 2);
    QCOMPARE(rig.lastCell(16384), 1.0);
    QCOMPARE(rig.lastCell(16648), 1.0);
    QCOMPARE(rig.stored("/ka1.ini", "Button/Mic20dBIsChecked"), QString("true"));
    QCOMPARE(rig.stored("/ka1.ini", "Button/MonitorMicIsChecked"), QString("true"));
    // Created as the panel's child (100 wide at that moment), the switch gets a 1-pixel glow.
    auto *glow = qobject_cast<QGraphicsDropShadowEffect *>(panel.findChild<Button *>("micPadButton")->graphicsEffect());
    QVERIFY(glow && glow->isEnabled());
    QCOMPARE(glow->blurRadius(), 1.0);
}

void tst_ka1::knobDragSendsOneBlockPerEvent()
{
    PanelRig rig(1);
    ka1 panel;
    auto *knob = panel.findChild<Knob *>("headphoneKnob");
    rig.emulator.clearRequests();
    // Right, then up twice: one step each, from -80.
    for (QPoint at : { QPoint(60, 60), QPoint(60, 50), QPoint(60, 40) }) {
        QMouseEvent move(QEvent::MouseMove, at, knob->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(knob, &move);
    }
    QCOMPARE(rig.sent(), QStringList({ "block", "block", "block" }));
    QCOMPARE(rig.lastCell(65536), 0.0001412537544622754); // -77 dB
    QCOMPARE(rig.stored("/ka1.ini", "Dial/HeadphoneValue"), QString("-77"));
}

void tst_ka1::readoutsShowInputAndPhoneLevels()
{
    PanelRig rig(1);
    rig.emulator.setLevel(0, 1073741824);
    rig.emulator.setLevel(2, 2147483647);
    rig.emulator.setLevel(3, 2147483647); // the mean must not overflow
    ka1 panel;
    QCOMPARE(panel.findChild<QLabel *>("micLevelLabel")->text(), QString("-160 dB"));
    QTRY_COMPARE(panel.findChild<QLabel *>("micLevelLabel")->text(), QString("-6.0 dB"));
    QCOMPARE(panel.findChild<QLabel *>("otgLevelLabel")->text(), QString("0.0 dB"));
    // Read again every 500 ms for as long as the panel lives.
    const QList<QTimer *> timers = panel.findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.front()->interval(), 500);
    QVERIFY(timers.front()->isActive() && !timers.front()->isSingleShot());
}

void tst_ka1::refusedRequestsKeepAndSaveTheState()
{
    PanelRig rig(1);
    ka1 panel;
    testsupport::LogCapture log;
    rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse);
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);

    auto *instrument = panel.findChild<Button *>("micInstrumentButton");
    QTest::mouseClick(instrument, Qt::LeftButton);
    QVERIFY(instrument->isSelected());
    QCOMPARE(instrument->text(), QString("MIC"));
    QCOMPARE(log.count("Failed to switch mic instruction."), 2);
    QCOMPARE(rig.stored("/ka1.ini", "Button/MicInstrIsChecked"), QString("true"));

    panel.findChild<Knob *>("otgToHpKnob")->setValue(-20);
    QCOMPARE(log.count("Failed to set OTG to HP volume."), 1);
    QCOMPARE(rig.stored("/ka1.ini", "Dial/OtgToHpValue"), QString("-20"));

    // The next accepted block carries the cells of the refused one.
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Off);
    panel.findChild<Knob *>("headphoneKnob")->setValue(0);
    QCOMPARE(rig.lastCell(16400), 0.1);
    QCOMPARE(rig.lastCell(65536), 1.0);

    // A device pulled out under the panel fails the requests; the panel goes on.
    rig.emulator.unplug();
    QTest::mouseClick(panel.findChild<Button *>("headphoneMuteButton"), Qt::LeftButton);
    QCOMPARE(log.count("Failed to set headphone volume."), 2);
    QCOMPARE(rig.stored("/ka1.ini", "Button/HeadphoneMuteIsChecked"), QString("true"));
    QTRY_VERIFY(log.contains("Failed to read meter data from driver."));
}

void tst_ka1::refusedOutputVolumeStillBuildsThePanel()
{
    PanelRig rig(1);
    rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse, 2);
    testsupport::LogCapture log;
    ka1 panel;
    QCOMPARE(log.count("Failed to set output volume."), 1);
    QVERIFY(panel.findChild<Knob *>("micKnob"));
    QCOMPARE(rig.sent().size(), 11);
    QVERIFY(QFile::exists(rig.iniPath("/ka1.ini")));
}

QTEST_MAIN(tst_ka1)
#include "tst_ka1.moc"
