#include "controls/Button.h"
#include "controls/Knob.h"
#include "tests/support/PanelRig.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QMouseEvent>
#include <QTimer>
#include <QtTest>

#include <memory>

class tst_SingleInputPanel : public QObject
{
    Q_OBJECT

private slots:
    // Both models.
    void firstStartSendsEveryControlInOrder_data();
    void firstStartSendsEveryControlInOrder();
    void restoringBoundsStoredValuesAndWritesThemBack_data();
    void restoringBoundsStoredValuesAndWritesThemBack();
    void headphoneMuteAndDim_data();
    void headphoneMuteAndDim();
    void switchPressRunsItsHandlerTwice_data();
    void switchPressRunsItsHandlerTwice();
    void knobDragSendsOneBlockPerEvent_data();
    void knobDragSendsOneBlockPerEvent();
    void inputReadout_data();
    void inputReadout();
    void failedMeterReadKeepsTheReadout_data();
    void failedMeterReadKeepsTheReadout();
    void refusedRequestsKeepAndSaveTheState_data();
    void refusedRequestsKeepAndSaveTheState();
    void refusedOutputVolumeStillBuildsThePanel_data();
    void refusedOutputVolumeStillBuildsThePanel();
    void textsAndStyles_data();
    void textsAndStyles();

    // The KA1's instrument, pad and phantom switches and its phone input.
    void ka1FirstStartRestoresTheInputSwitchesOnce();
    void ka1RestoresInstrumentAndPhoneLevel();
    void ka1PhoneReadoutAveragesBothChannels();
    void ka1RefusedInstrumentAndPhoneRequests();
};

void tst_SingleInputPanel::firstStartSendsEveryControlInOrder_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<Cells>("firstBlock");
    QTest::addColumn<Cells>("lastBlock");
    QTest::addColumn<QVariantMap>("ini"); // every key the file has
    QTest::addColumn<bool>("logsHeadphoneVolume");

    QTest::newRow("ka1") << QStringLiteral("ka1")
                         << QStringList({
                                "vendor 01 03 00 02 01 64 00", // output 1 at 100
                                "vendor 01 03 00 02 02 64 00", // output 2 at 100
                                "vendor 01 64 00 00 01 00 00", // microphone
                                "vendor 01 5A 00 00 01 00 00", // pad off
                                "vendor 01 5B 00 00 01 00 00", // phantom off
                                "block", // direct off
                                "vendor 01 07 00 02 01 00 00", // gain 0
                                "block", "block", "block", // headphone: volume, mute, dim
                                "block", // phone into headphone
                            })
                         // Direct off; the initial pattern is there from the first block.
                         << Cells { { 16384, 0.0 }, { 16648, 0.0 }, { 1024, 1.0 } } // Headphone silent, phone at 0 dB.
                         << Cells { { 65536, 0.0 }, { 65544, 0.0 }, { 16400, 1.0 }, { 16664, 1.0 }, { 65552, 1.0 },
                                { 16392, 0.0 } }
                         << QVariantMap { { "Button/MicInstrIsChecked", "false" },
                                { "Button/Mic20dBIsChecked", "false" }, { "Button/Mic48VIsChecked", "false" },
                                { "Button/MonitorMicIsChecked", "false" }, { "Button/HeadphoneMuteIsChecked", "false" },
                                { "Button/HeadphoneDimIsChecked", "false" }, { "Dial/MicValue", "0" },
                                { "Dial/HeadphoneValue", "-80" }, { "Dial/OtgToHpValue", "0" } }
                         << true;
    QTest::newRow("kv") << QStringLiteral("kv")
                        << QStringList({
                               "vendor 01 03 00 02 01 64 00", "vendor 01 03 00 02 02 64 00",
                               "block", // direct off
                               "vendor 01 07 00 02 01 00 00", // gain 0
                               "block", "block", "block", // headphone: volume, mute, dim
                           })
                        // The phone input is fixed at unity from the first block on.
                        << Cells { { 16400, 1.0 }, { 16664, 1.0 } }
                        << Cells { { 16384, 0.0 }, { 65536, 0.0 }, { 65544, 0.0 } }
                        << QVariantMap { { "Button/MonitorMicIsChecked", "false" }, { "Dial/MicValue", "0" },
                               { "Dial/HeadphoneValue", "-80" }, { "Button/HeadphoneMuteIsChecked", "false" },
                               { "Button/HeadphoneDimIsChecked", "false" } }
                        << false;
}

void tst_SingleInputPanel::firstStartSendsEveryControlInOrder()
{
    QFETCH(QString, model);
    QFETCH(QStringList, sent);
    QFETCH(Cells, firstBlock);
    QFETCH(Cells, lastBlock);
    QFETCH(QVariantMap, ini);
    QFETCH(bool, logsHeadphoneVolume);

    PanelRig rig(PanelRig::deviceCode(model));
    testsupport::LogCapture log;
    const auto panel = PanelRig::makePanel(model);

    QCOMPARE(rig.sent(), sent);
    const auto blocks = rig.blocks();
    QVERIFY(!blocks.empty());
    for (auto it = firstBlock.cbegin(); it != firstBlock.cend(); ++it)
        QCOMPARE(qMakePair(it.key(), PanelRig::cell(blocks[0], it.key())), qMakePair(it.key(), it.value()));
    for (auto it = lastBlock.cbegin(); it != lastBlock.cend(); ++it)
        QCOMPARE(qMakePair(it.key(), rig.lastCell(it.key())), qMakePair(it.key(), it.value()));

    QSettings file(rig.iniPath(PanelRig::iniName(model)), QSettings::IniFormat);
    QCOMPARE(file.allKeys().size(), ini.size());
    for (auto it = ini.cbegin(); it != ini.cend(); ++it)
        QCOMPARE(qMakePair(it.key(), file.value(it.key()).toString()), qMakePair(it.key(), it.value().toString()));

    QCOMPARE(log.contains("Headphone volume set to:"), logsHeadphoneVolume);
    QCOMPARE(log.lines().last(), QString("已从配置文件加载控件状态"));
}

void tst_SingleInputPanel::ka1FirstStartRestoresTheInputSwitchesOnce()
{
    PanelRig rig(1);
    testsupport::LogCapture log;
    ka1 panel;
    QCOMPARE(log.count("Mic Instr Button Clicked 0"), 1);
    QVERIFY(log.indexOf("Headphone Dim Button Clicked: Dim OFF") < log.indexOf("OTG to HP volume set to: 1"));
    QCOMPARE(PanelRig::child<Button>(panel, "micInstrumentButton")->text(), QString("MIC"));
}

void tst_SingleInputPanel::restoringBoundsStoredValuesAndWritesThemBack_data()
{
    PanelRig::addModelRows({ "ka1", "kv" });
}

void tst_SingleInputPanel::restoringBoundsStoredValuesAndWritesThemBack()
{
    QFETCH(QString, model);
    PanelRig rig(PanelRig::deviceCode(model));
    rig.store(PanelRig::iniName(model), { { "Dial/MicValue", 50 }, { "Dial/HeadphoneValue", "loud" } });
    const auto panel = PanelRig::makePanel(model);

    QVERIFY(rig.sent().contains("vendor 01 07 00 02 01 54 00")); // 42, the maximum, sent doubled
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/MicValue"), QString("42"));
    // Not a number: the key's default, silence.
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-80"));
    QCOMPARE(rig.lastCell(65536), 0.0);
}

void tst_SingleInputPanel::ka1RestoresInstrumentAndPhoneLevel()
{
    PanelRig rig(1);
    rig.store("/ka1.ini", { { "Dial/OtgToHpValue", -200 }, { "Button/MicInstrIsChecked", true } });
    ka1 panel;

    QVERIFY(rig.sent().contains("vendor 01 64 00 01 01 00 00"));
    QCOMPARE(PanelRig::child<Button>(panel, "micInstrumentButton")->text(), QString("INST"));
    QCOMPARE(rig.stored("/ka1.ini", "Dial/OtgToHpValue"), QString("-80"));
    QCOMPARE(rig.lastCell(16400), 0.0);
}

void tst_SingleInputPanel::headphoneMuteAndDim_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("muteLog"); // what one press of the mute switch logs

    const QString volume = QStringLiteral("Headphone volume set to: 0");
    const QString muteOn = QStringLiteral("Headphone Mute Button Clicked: Mute ON");
    QTest::newRow("ka1") << QStringLiteral("ka1") << QStringList({ volume, muteOn, volume, muteOn });
    // The KV logs only its own line, no headphone volume.
    QTest::newRow("kv") << QStringLiteral("kv") << QStringList({ muteOn, muteOn });
}

void tst_SingleInputPanel::headphoneMuteAndDim()
{
    QFETCH(QString, model);
    QFETCH(QStringList, muteLog);
    PanelRig rig(PanelRig::deviceCode(model));
    const auto panel = PanelRig::makePanel(model);
    auto *knob = PanelRig::child<Knob>(*panel, "headphoneKnob");
    auto *mute = PanelRig::child<Button>(*panel, "headphoneMuteButton");
    auto *dim = PanelRig::child<Button>(*panel, "headphoneDimButton");
    knob->setValue(-10);
    QCOMPARE(rig.lastCell(65536), 0.31622776601683794);
    QCOMPARE(rig.lastCell(65544), 0.31622776601683794);

    knob->setValue(0);
    QTest::mouseClick(dim, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.1); // -20 dB
    QCOMPARE(rig.lastCell(65544), 0.1);
    knob->setValue(-10);
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379); // -30 dB
    QCOMPARE(rig.lastCell(65544), 0.03162277660168379);

    testsupport::LogCapture log;
    QTest::mouseClick(mute, Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.lastCell(65544), 0.0);
    QCOMPARE(log.lines(), muteLog);
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-10"));

    knob->setValue(-12); // turned while muted: silent, but saved
    QCOMPARE(rig.lastCell(65536), 0.0);
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-12"));
    knob->setValue(-10);

    QTest::mouseClick(mute, Qt::LeftButton); // released while dimmed
    QCOMPARE(rig.lastCell(65536), 0.03162277660168379);
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-10"));

    knob->setValue(-70); // dimmed to -90: silence
    QCOMPARE(rig.lastCell(65536), 0.0);
}

void tst_SingleInputPanel::switchPressRunsItsHandlerTwice_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("model");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QStringList>("sent");
    QTest::addColumn<QStringList>("logged"); // each line twice
    QTest::addColumn<Cells>("cells");
    QTest::addColumn<QString>("key");

    const QStringList direct { "block", "block" };
    const QStringList directLog { "Monitor Mic set to: 1" };
    const Cells directCells { { 16384, 1.0 }, { 16648, 1.0 } };
    // A key press takes the mouse's road.
    for (const char *how : { "click", "Space", "Enter" }) {
        QTest::addRow("ka1 pad, %s", how)
            << how << QStringLiteral("ka1") << QStringLiteral("micPadButton")
            << QStringList({ "vendor 01 5A 00 01 01 00 00", "vendor 01 5A 00 01 01 00 00" })
            << QStringList({ "Mic 20dB Button Clicked 1", "Mic 20dB switched for channel 1." }) << Cells()
            << QStringLiteral("Button/Mic20dBIsChecked");
        QTest::addRow("ka1 direct, %s", how)
            << how << QStringLiteral("ka1") << QStringLiteral("micDirectButton") << direct << directLog << directCells
            << QStringLiteral("Button/MonitorMicIsChecked");
        QTest::addRow("kv direct, %s", how)
            << how << QStringLiteral("kv") << QStringLiteral("micDirectButton") << direct << directLog << directCells
            << QStringLiteral("Button/MonitorMicIsChecked");
    }
}

void tst_SingleInputPanel::switchPressRunsItsHandlerTwice()
{
    QFETCH(QString, how);
    QFETCH(QString, model);
    QFETCH(QString, button);
    QFETCH(QStringList, sent);
    QFETCH(QStringList, logged);
    QFETCH(Cells, cells);
    QFETCH(QString, key);
    PanelRig rig(PanelRig::deviceCode(model));
    const auto panel = PanelRig::makePanel(model);
    auto *target = panel->findChild<Button *>(button);
    QVERIFY(target);
    rig.emulator.clearRequests();
    testsupport::LogCapture log;

    testsupport::act(target, how);
    QCOMPARE(rig.sent(), sent);
    for (const QString &line : logged)
        QCOMPARE(qMakePair(line, log.count(line)), qMakePair(line, 2));
    for (auto it = cells.cbegin(); it != cells.cend(); ++it)
        QCOMPARE(qMakePair(it.key(), rig.lastCell(it.key())), qMakePair(it.key(), it.value()));
    QCOMPARE(rig.stored(PanelRig::iniName(model), key), QString("true"));
    // Created as the panel's child (100 wide at that moment), the switch gets a 1-pixel glow.
    auto *glow = qobject_cast<QGraphicsDropShadowEffect *>(target->graphicsEffect());
    QVERIFY(glow && glow->isEnabled());
    QCOMPARE(glow->blurRadius(), 1.0);
}

void tst_SingleInputPanel::knobDragSendsOneBlockPerEvent_data()
{
    PanelRig::addModelRows({ "ka1", "kv" });
}

void tst_SingleInputPanel::knobDragSendsOneBlockPerEvent()
{
    QFETCH(QString, model);
    PanelRig rig(PanelRig::deviceCode(model));
    const auto panel = PanelRig::makePanel(model);
    auto *knob = PanelRig::child<Knob>(*panel, "headphoneKnob");
    rig.emulator.clearRequests();
    // Right, then up twice: one step each, from -80.
    for (QPoint at : { QPoint(60, 60), QPoint(60, 50), QPoint(60, 40) }) {
        QMouseEvent move(QEvent::MouseMove, at, knob->mapToGlobal(at), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(knob, &move);
    }
    QCOMPARE(rig.sent(), QStringList({ "block", "block", "block" }));
    QCOMPARE(rig.lastCell(65536), 0.0001412537544622754); // -77 dB
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-77"));
}

void tst_SingleInputPanel::inputReadout_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("level");
    QTest::addColumn<QString>("text");
    for (const char *model : { "ka1", "kv" }) {
        QTest::addRow("%s half scale", model) << QString(model) << 1073741824 << QStringLiteral("-6.0 dB");
        QTest::addRow("%s silence", model) << QString(model) << 0 << QStringLiteral("-inf dB");
        QTest::addRow("%s one step, no floor", model) << QString(model) << 1 << QStringLiteral("-186.6 dB");
    }
}

void tst_SingleInputPanel::inputReadout()
{
    QFETCH(QString, model);
    QFETCH(int, level);
    QFETCH(QString, text);
    PanelRig rig(PanelRig::deviceCode(model));
    rig.emulator.setLevel(0, level);
    const auto panel = PanelRig::makePanel(model);
    auto *label = PanelRig::child<QLabel>(*panel, "micLevelLabel");
    QCOMPARE(label->text(), QString("-160 dB"));
    QTRY_COMPARE(label->text(), text);
    // Read again every 500 ms for as long as the panel lives.
    const QList<QTimer *> timers = panel->findChildren<QTimer *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(timers.size(), 1);
    QCOMPARE(timers.front()->interval(), 500);
    QVERIFY(timers.front()->isActive() && !timers.front()->isSingleShot());
}

void tst_SingleInputPanel::ka1PhoneReadoutAveragesBothChannels()
{
    PanelRig rig(1);
    rig.emulator.setLevel(2, 2147483647);
    rig.emulator.setLevel(3, 2147483647); // the mean must not overflow
    ka1 panel;
    QTRY_COMPARE(PanelRig::child<QLabel>(panel, "otgLevelLabel")->text(), QString("0.0 dB"));
}

void tst_SingleInputPanel::failedMeterReadKeepsTheReadout_data()
{
    PanelRig::addModelRows({ "ka1", "kv" });
}

void tst_SingleInputPanel::failedMeterReadKeepsTheReadout()
{
    QFETCH(QString, model);
    PanelRig rig(PanelRig::deviceCode(model));
    rig.emulator.fail(PanelRig::kMeterCode, emu::FaultMode::Refuse);
    testsupport::LogCapture log;
    const auto panel = PanelRig::makePanel(model);
    auto *level = PanelRig::child<QLabel>(*panel, "micLevelLabel");
    QTRY_VERIFY(log.contains("Failed to read meter data from driver."));
    QCOMPARE(level->text(), QString("-160 dB"));

    rig.emulator.fail(PanelRig::kMeterCode, emu::FaultMode::Off);
    rig.emulator.setLevel(0, 0);
    QTRY_COMPARE(level->text(), QString("-inf dB"));
}

void tst_SingleInputPanel::refusedRequestsKeepAndSaveTheState_data()
{
    PanelRig::addModelRows({ "ka1", "kv" });
}

void tst_SingleInputPanel::refusedRequestsKeepAndSaveTheState()
{
    QFETCH(QString, model);
    PanelRig rig(PanelRig::deviceCode(model));
    const auto panel = PanelRig::makePanel(model);
    testsupport::LogCapture log;
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);

    PanelRig::child<Knob>(*panel, "headphoneKnob")->setValue(-20);
    QCOMPARE(log.count("Failed to set headphone volume."), 1);
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-20"));

    // The next accepted block carries the cells of the refused one.
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Off);
    QTest::mouseClick(PanelRig::child<Button>(*panel, "micDirectButton"), Qt::LeftButton);
    QCOMPARE(rig.lastCell(65536), 0.1);
    QCOMPARE(rig.lastCell(16384), 1.0);

    // A device pulled out under the panel fails the requests; the panel goes on.
    log.clear();
    rig.emulator.unplug();
    QTest::mouseClick(PanelRig::child<Button>(*panel, "headphoneMuteButton"), Qt::LeftButton);
    QCOMPARE(log.count("Failed to set headphone volume."), 2);
    QCOMPARE(rig.stored(PanelRig::iniName(model), "Button/HeadphoneMuteIsChecked"), QString("true"));
    QTRY_VERIFY(log.contains("Failed to read meter data from driver."));
}

void tst_SingleInputPanel::ka1RefusedInstrumentAndPhoneRequests()
{
    PanelRig rig(1);
    ka1 panel;
    testsupport::LogCapture log;
    rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse);
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);

    auto *instrument = PanelRig::child<Button>(panel, "micInstrumentButton");
    QTest::mouseClick(instrument, Qt::LeftButton);
    QVERIFY(instrument->isSelected());
    QCOMPARE(instrument->text(), QString("MIC"));
    QCOMPARE(log.count("Failed to switch mic instruction."), 2);
    QCOMPARE(rig.stored("/ka1.ini", "Button/MicInstrIsChecked"), QString("true"));

    PanelRig::child<Knob>(panel, "otgToHpKnob")->setValue(-20);
    QCOMPARE(log.count("Failed to set OTG to HP volume."), 1);
    QCOMPARE(rig.stored("/ka1.ini", "Dial/OtgToHpValue"), QString("-20"));

    // The next accepted block carries the phone cells of the refused one.
    rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Off);
    PanelRig::child<Knob>(panel, "headphoneKnob")->setValue(0);
    QCOMPARE(rig.lastCell(16400), 0.1);
    QCOMPARE(rig.lastCell(65536), 1.0);
}

void tst_SingleInputPanel::refusedOutputVolumeStillBuildsThePanel_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<int>("requests");
    QTest::newRow("ka1") << QStringLiteral("ka1") << 11;
    QTest::newRow("kv") << QStringLiteral("kv") << 7;
}

void tst_SingleInputPanel::refusedOutputVolumeStillBuildsThePanel()
{
    QFETCH(QString, model);
    QFETCH(int, requests);
    PanelRig rig(PanelRig::deviceCode(model));
    rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse, 2);
    testsupport::LogCapture log;
    const auto panel = PanelRig::makePanel(model);
    QCOMPARE(log.count("Failed to set output volume."), 1);
    QVERIFY(PanelRig::child<Knob>(*panel, "micKnob"));
    QCOMPARE(rig.sent().size(), requests);
    QVERIFY(QFile::exists(rig.iniPath(PanelRig::iniName(model))));
}

void tst_SingleInputPanel::textsAndStyles_data()
{
    QTest::addColumn<QString>("model");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("captionStyle"); // of "Gain" and "Volume"
    QTest::addColumn<QString>("direct");

    QTest::newRow("ka1") << QStringLiteral("ka1")
                         << QStringList({ "ka1:INPUT", "-160 dB", "ka1:Gain", "ka1:HEADPHONE", "ka1:Volume", "-160 dB",
                                "ka1:Phone To HP Volume" })
                         << QString("font-size: 12px; color: white;") << QStringLiteral("ka1:DIRECT");
    // The KV's headphone title is not translated, and its caption style begins with a blank.
    QTest::newRow("kv") << QStringLiteral("kv")
                        << QStringList({ "kv:MIC", "-160 dB", "kv:Gain", "HEADPHONE", "kv:Volume" })
                        << QString(" font-size: 12px; color: white;") << QStringLiteral("kv:DIRECT");
}

void tst_SingleInputPanel::textsAndStyles()
{
    QFETCH(QString, model);
    QFETCH(QStringList, labels);
    QFETCH(QString, captionStyle);
    QFETCH(QString, direct);

    PanelRig rig(PanelRig::deviceCode(model));
    PanelRig::ContextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    const auto panel = PanelRig::makePanel(model);
    QCoreApplication::removeTranslator(&translator);
    QStringList texts;
    QStringList captionStyles;
    for (QLabel *label : panel->findChildren<QLabel *>()) {
        texts << label->text();
        if (label->text() == model + ":Gain" || label->text() == model + ":Volume")
            captionStyles << label->styleSheet();
    }
    QCOMPARE(texts, labels);
    QCOMPARE(captionStyles, QStringList({ captionStyle, captionStyle }));
    QCOMPARE(PanelRig::child<Button>(*panel, "micDirectButton")->text(), direct);
}

QTEST_MAIN(tst_SingleInputPanel)
#include "tst_SingleInputPanel.moc"
