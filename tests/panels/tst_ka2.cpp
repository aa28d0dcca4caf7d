#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka2.h"
#include "tests/support/PanelRig.h"
#include "tests/support/RequestTable.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QtTest>

class tst_ka2 : public QObject
{
    Q_OBJECT

private slots:
    void firstStartSendsEveryControlInOrder();
    void storedGainAboveTheRangeIsBounded();
    void speakerMuteAndDim();
    void headphoneVolumeMuteAndSource();
    void inputTwoAndPhoneToSpeakerLogLess();
    void readoutsOfBothInputsAndThePhone();
    void textsAreTranslatedInTheKa2Context();
};

void tst_ka2::firstStartSendsEveryControlInOrder()
{
    PanelRig rig(2);
    testsupport::LogCapture log;
    ka2 panel;

    const QStringList expected = testsupport::readRequestTable(QStringLiteral(ORVELIN_KA2_FIRST_START));
    QVERIFY(!expected.isEmpty());
    QCOMPARE(rig.sent(), expected);
    for (std::size_t offset : { 16384, 16640, 17408, 17664, 16392, 16648, 17416, 17672 })
        QCOMPARE(rig.lastCell(offset), 0.0); // direct off
    for (std::size_t offset : { 65536, 65544, 65568, 65576, 33824, 34088 })
        QCOMPARE(rig.lastCell(offset), 0.0); // speaker, headphone silent; no ASIO 5-6
    for (std::size_t offset : { 33792, 34056, 32768, 33032, 25600, 25864, 16400, 16664, 17424, 17688 })
        QCOMPARE(rig.lastCell(offset), 1.0); // ASIO 1-2, initial pattern, phone at 0 dB

    QSettings ini(rig.iniPath("/ka2.ini"), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), 16);
    QCOMPARE(ini.value("Dial/SpeakerValue").toString(), QString("-80"));
    QCOMPARE(ini.value("Dial/HeadphoneValue").toString(), QString("-80"));
    QCOMPARE(ini.value("Dial/OtgToSPValue").toString(), QString("0"));
    QCOMPARE(ini.value("Dial/OtgToHpValue").toString(), QString("0"));
    QCOMPARE(ini.value("Dial/Mic2Value").toString(), QString("0"));
    QCOMPARE(ini.value("Button/HeadphoneSourceIsChecked").toString(), QString("false"));
    QCOMPARE(panel.findChild<Button *>("headphoneSourceButton")->text(), QString("ASIO 1-2"));
    QVERIFY(log.count("控件状态已保存到配置文件") >= 16);
    QCOMPARE(log.lines().last(), QString("已从配置文件加载控件状态"));
}

void tst_ka2::storedGainAboveTheRangeIsBounded()
{
    PanelRig rig(2);
    rig.store("/ka2.ini", { { "Dial/Mic1Value", 99 }, { "Dial/Mic2Value", "x" } });
    ka2 panel;
    QVERIFY(rig.sent().contains("vendor 01 07 00 02 01 70 00")); // 56 sent doubled
    QVERIFY(rig.sent().contains("vendor 01 07 00 02 02 00 00"));
    QCOMPARE(rig.stored("/ka2.ini", "Dial/Mic1Value"), QString("56"));
    QCOMPARE(rig.stored("/ka2.ini", "Dial/Mic2Value"), QString("0"));
    QCOMPARE(panel.findChild<Knob *>("mic1Knob")->displayOffset, 9);
}

void tst_ka2::speakerMuteAndDim()
{
    PanelRig rig(2);
    ka2 panel;
    auto *knob = panel.findChild<Knob *>("speakerKnob");
    auto *mute = panel.findChild<Button *>("speakerMuteButton");
    auto *dim = panel.findChild<Button *>("speakerDimButton");
    knob->setValue(-10);
    QTest::mouseClick(dim, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379);
    QCOMPARE(rig.lastCell(65544), 0.03162277660168379);
    // Created without a parent (640 wide at that moment), the switch gets a 6.4-pixel glow.
    auto *glow = qobject_cast<QGraphicsDropShadowEffect *>(dim->graphicsEffect());
    QVERIFY(glow && glow->isEnabled());
    QCOMPARE(glow->blurRadius(), 6.4);

    testsupport::LogCapture log;
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(log.count("Speaker Knob value changed: -80"), 2);
    QCOMPARE(log.count("Speaker volume set to: -80"), 2);
    QCOMPARE(log.count("Speaker Mute Button Clicked: Mute ON"), 2);
    QCOMPARE(rig.stored("/ka2.ini", "Dial/SpeakerValue"), QString("-10"));

    log.clear();
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379);
    QCOMPARE(log.count("Speaker volume set to: -30"), 2);
    QCOMPARE(log.count("Speaker Mute Button Clicked: Mute OFF"), 2);

    knob->setValue(-70); // dimmed to -90: silence
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.lastCell(65568), 0.0); // the headphone is untouched
}

void tst_ka2::headphoneVolumeMuteAndSource()
{
    PanelRig rig(2);
    ka2 panel;
    panel.findChild<Knob *>("headphoneKnob")->setValue(-6);
    QCOMPARE(rig.lastCell(65568), 0.5011872336272722);
    QCOMPARE(rig.lastCell(65576), 0.5011872336272722);
    QCOMPARE(rig.lastCell(65536), 0.0); // the speaker is untouched

    testsupport::LogCapture log;
    QTest::mouseClick(panel.findChild<Button *>("headphoneMuteButton"), Qt::LeftButton);
    QCOMPARE(rig.lastCell(65568), 0.0);
    QCOMPARE(log.count("Headphone volume set to: -80"), 2);
    QVERIFY(!log.contains("Mute ON"));
    QCOMPARE(rig.stored("/ka2.ini", "Dial/HeadphoneValue"), QString("-6"));

    auto *source = panel.findChild<Button *>("headphoneSourceButton");
    QTest::mouseClick(source, Qt::LeftButton);
    QCOMPARE(source->text(), QString("ASIO 5-6"));
    QCOMPARE(log.count("set Headphone Source: 1"), 2);
    QCOMPARE(rig.lastCell(33792), 0.0);
    QCOMPARE(rig.lastCell(34056), 0.0);
    QCOMPARE(rig.lastCell(33824), 1.0);
    QCOMPARE(rig.lastCell(34088), 1.0);
    QCOMPARE(rig.lastCell(32768), 1.0); // the speaker keeps playback 1-2
    QTest::mouseClick(source, Qt::LeftButton);
    QCOMPARE(source->text(), QString("ASIO 1-2"));
    QCOMPARE(rig.lastCell(33792), 1.0);
    QCOMPARE(rig.lastCell(33824), 0.0);

    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);
    QTest::mouseClick(source, Qt::LeftButton);
    QCOMPARE(log.count("Failed to set Headphone Source."), 2);
    QCOMPARE(source->text(), QString("ASIO 5-6"));
    QCOMPARE(rig.stored("/ka2.ini", "Button/HeadphoneSourceIsChecked"), QString("true"));
}

void tst_ka2::inputTwoAndPhoneToSpeakerLogLess()
{
    PanelRig rig(2);
    ka2 panel;
    rig.emulator.clearRequests();
    testsupport::LogCapture log;
    QTest::mouseClick(panel.findChild<Button *>("mic2PhantomButton"), Qt::LeftButton);
    QTest::mouseClick(panel.findChild<Button *>("mic2DirectButton"), Qt::LeftButton);
    QCOMPARE(
        rig.sent(), QStringList({ "vendor 01 5B 00 01 02 00 00", "vendor 01 5B 00 01 02 00 00", "block", "block" }));
    QCOMPARE(log.count("Mic 48V Button Clicked 1"), 2);
    QVERIFY(!log.contains("switched for channel"));
    for (std::size_t offset : { 16392, 16648, 17416, 17672 })
        QCOMPARE(rig.lastCell(offset), 1.0);
    QCOMPARE(rig.lastCell(16384), 0.0);

    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);
    log.clear();
    panel.findChild<Knob *>("otgToSpKnob")->setValue(-20);
    QVERIFY(!log.contains("SP volume")); // this one logs no failure
    QCOMPARE(log.count("控件状态已保存到配置文件"), 1);
    QCOMPARE(rig.stored("/ka2.ini", "Dial/OtgToSPValue"), QString("-20"));
    panel.findChild<Knob *>("otgToHpKnob")->setValue(-20);
    QVERIFY(log.contains("Failed to set OTG to HP volume."));
}

void tst_ka2::readoutsOfBothInputsAndThePhone()
{
    PanelRig rig(2);
    rig.emulator.setLevel(0, 2147483647);
    rig.emulator.setLevel(1, 1);
    rig.emulator.setLevel(2, -2147483647);
    rig.emulator.setLevel(3, 2147483647); // opposite signs cancel
    ka2 panel;
    QTRY_COMPARE(panel.findChild<QLabel *>("mic1LevelLabel")->text(), QString("0.0 dB"));
    QCOMPARE(panel.findChild<QLabel *>("mic2LevelLabel")->text(), QString("-186.6 dB"));
    QCOMPARE(panel.findChild<QLabel *>("otgLevelLabelHp")->text(), QString("-inf dB"));
    QCOMPARE(panel.findChild<QLabel *>("otgLevelLabelSp")->text(), QString("-inf dB"));

    // Shown, the readouts keep the places the layout gave them while their texts change, and the
    // panel looks as a fresh layout of the same texts would.
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    rig.emulator.setLevel(0, 1000);
    rig.emulator.setLevel(2, 2147483647);
    QTRY_COMPARE(panel.findChild<QLabel *>("otgLevelLabelHp")->text(), QString("0.0 dB"));
    const QImage pinned = panel.grab().toImage();
    for (QLabel *label : panel.findChildren<QLabel *>()) {
        label->setMinimumSize(0, 0);
        label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    }
    panel.layout()->activate();
    QCOMPARE(panel.grab().toImage(), pinned);
}

void tst_ka2::textsAreTranslatedInTheKa2Context()
{
    PanelRig rig(2);
    PanelRig::ContextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    ka2 panel;
    QCoreApplication::removeTranslator(&translator);
    QStringList texts;
    for (QLabel *label : panel.findChildren<QLabel *>())
        if (label->text() != "-160 dB")
            texts << label->text();
    QCOMPARE(texts,
        QStringList({ "ka2:MIC1", "ka2:Gain", "ka2:MIC2", "ka2:Gain", "ka2:SPEAKER", "ka2:Volume",
            "ka2:Phone To SP Volume", "ka2:HEADPHONE", "ka2:Volume", "ka2:Phone To HP Volume" }));
    QCOMPARE(panel.findChild<Button *>("mic1DirectButton")->text(), QString("ka2:DIRECT"));
}

QTEST_MAIN(tst_ka2)
#include "tst_ka2.moc"
