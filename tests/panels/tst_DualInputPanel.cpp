#include "controls/Button.h"
#include "controls/Knob.h"
#include "tests/support/PanelRig.h"
#include "tests/support/RequestTable.h"

#include <QGraphicsDropShadowEffect>
#include <QLabel>
#include <QLayout>
#include <QWheelEvent>
#include <QtTest>

#include <memory>

class tst_DualInputPanel : public QObject
{
    Q_OBJECT

private slots:
    void firstStartSendsEveryControlInOrder_data()
    {
        QTest::addColumn<QString>("model");
        QTest::addColumn<QStringList>("inputTypes"); // sent after the output volumes, before anything else
        QTest::addColumn<int>("keys");
        QTest::addColumn<QVariantMap>("buttons"); // texts
        QTest::addColumn<QString>("otherIni");

        const QString source = QStringLiteral("ASIO 1-2");
        QTest::newRow("ka2") << QStringLiteral("ka2") << QStringList() << 16
                             << QVariantMap { { "headphoneSourceButton", source } } << QStringLiteral("/ka2se.ini");
        QTest::newRow("ka2se") << QStringLiteral("ka2se")
                               << QStringList({ "vendor 01 64 00 00 01 00 00", "vendor 01 64 00 00 02 00 00" }) << 18
                               << QVariantMap { { "headphoneSourceButton", source }, { "mic1InstrumentButton", "MIC" },
                                      { "mic2InstrumentButton", "MIC" } }
                               << QStringLiteral("/ka2.ini");
    }
    void firstStartSendsEveryControlInOrder()
    {
        QFETCH(QString, model);
        QFETCH(QStringList, inputTypes);
        QFETCH(int, keys);
        QFETCH(QVariantMap, buttons);
        QFETCH(QString, otherIni);

        PanelRig rig(PanelRig::deviceCode(model));
        testsupport::LogCapture log;
        const auto panel = PanelRig::makePanel(model);

        // The KA2's sequence is one table, shared with the end-to-end tests.
        QStringList expected = testsupport::readRequestTable(QStringLiteral(ORVELIN_KA2_FIRST_START));
        QVERIFY(!expected.isEmpty());
        for (int i = 0; i < inputTypes.size(); ++i)
            expected.insert(4 + i, inputTypes[i]);
        QCOMPARE(rig.sent(), expected);
        // Off: direct monitoring, speaker, headphone, ASIO 5-6. On: ASIO 1-2, the initial pattern, phone at 0 dB.
        for (std::size_t offset :
            { 16384, 16640, 17408, 17664, 16392, 16648, 17416, 17672, 65536, 65544, 65568, 65576, 33824, 34088 })
            QCOMPARE(qMakePair(offset, rig.lastCell(offset)), qMakePair(offset, 0.0));
        for (std::size_t offset : { 33792, 34056, 32768, 33032, 25600, 25864, 16400, 16664, 17424, 17688 })
            QCOMPARE(qMakePair(offset, rig.lastCell(offset)), qMakePair(offset, 1.0));

        QSettings ini(rig.iniPath(PanelRig::iniName(model)), QSettings::IniFormat);
        QCOMPARE(ini.allKeys().size(), keys);
        const QString instrument = model == "ka2se" ? QString("false") : QString();
        for (const auto &[key, value] : { std::pair<const char *, QString> { "Dial/SpeakerValue", "-80" },
                 { "Dial/HeadphoneValue", "-80" }, { "Dial/OtgToSPValue", "0" }, { "Dial/OtgToHpValue", "0" },
                 { "Dial/Mic2Value", "0" }, { "Button/HeadphoneSourceIsChecked", "false" },
                 { "Button/Mic1InstrIsChecked", instrument }, { "Button/Mic2InstrIsChecked", instrument } })
            QCOMPARE(qMakePair(QString(key), ini.value(key).toString()), qMakePair(QString(key), value));
        for (auto it = buttons.cbegin(); it != buttons.cend(); ++it)
            QCOMPARE(panel->findChild<Button *>(it.key())->text(), it.value().toString());
        QVERIFY(!QFile::exists(rig.iniPath(otherIni)));
        QVERIFY(log.count("控件状态已保存到配置文件") >= keys);
        QCOMPARE(log.lines().last(), QString("已从配置文件加载控件状态"));
    }

    void storedGainAboveTheRangeIsBounded_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void storedGainAboveTheRangeIsBounded()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        rig.store(PanelRig::iniName(model), { { "Dial/Mic1Value", 99 }, { "Dial/Mic2Value", "x" } });
        const auto panel = PanelRig::makePanel(model);
        QVERIFY(rig.sent().contains("vendor 01 07 00 02 01 70 00")); // 56 sent doubled
        QVERIFY(rig.sent().contains("vendor 01 07 00 02 02 00 00"));
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/Mic1Value"), QString("56"));
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/Mic2Value"), QString("0"));
        QCOMPARE(PanelRig::child<Knob>(*panel, "mic1Knob")->displayOffset, 9);
    }

    void refusedGainIsStillSaved_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void refusedGainIsStillSaved()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        const auto panel = PanelRig::makePanel(model);
        testsupport::LogCapture log;
        rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse);
        PanelRig::child<Knob>(*panel, "mic2Knob")->setValue(20);
        QCOMPARE(log.count("Failed to set mic volume."), 1);
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/Mic2Value"), QString("20"));
    }

    void speakerMuteAndDim_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void speakerMuteAndDim()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        const auto panel = PanelRig::makePanel(model);
        auto *knob = PanelRig::child<Knob>(*panel, "speakerKnob");
        auto *mute = PanelRig::child<Button>(*panel, "speakerMuteButton");
        auto *dim = PanelRig::child<Button>(*panel, "speakerDimButton");
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
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/SpeakerValue"), QString("-10"));

        log.clear();
        QTest::mouseClick(mute, Qt::LeftButton);
        QCOMPARE(rig.lastCell(65536), 0.03162277660168379);
        QCOMPARE(log.count("Speaker volume set to: -30"), 2);
        QCOMPARE(log.count("Speaker Mute Button Clicked: Mute OFF"), 2);

        knob->setValue(-70); // dimmed to -90: silence
        QCOMPARE(rig.lastCell(65536), 0.0);
        QCOMPARE(rig.lastCell(65568), 0.0); // the headphone is untouched
    }

    void headphoneVolumeMuteAndSource_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void headphoneVolumeMuteAndSource()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        const auto panel = PanelRig::makePanel(model);
        PanelRig::child<Knob>(*panel, "headphoneKnob")->setValue(-6);
        QCOMPARE(rig.lastCell(65568), 0.5011872336272722);
        QCOMPARE(rig.lastCell(65576), 0.5011872336272722);
        QCOMPARE(rig.lastCell(65536), 0.0); // the speaker is untouched

        testsupport::LogCapture log;
        QTest::mouseClick(PanelRig::child<Button>(*panel, "headphoneMuteButton"), Qt::LeftButton);
        QCOMPARE(rig.lastCell(65568), 0.0);
        QCOMPARE(log.count("Headphone volume set to: -80"), 2);
        QVERIFY(!log.contains("Mute ON"));
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/HeadphoneValue"), QString("-6"));

        auto *source = PanelRig::child<Button>(*panel, "headphoneSourceButton");
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
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Button/HeadphoneSourceIsChecked"), QString("true"));
    }

    void inputTwoAndPhoneToSpeakerLogLess_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void inputTwoAndPhoneToSpeakerLogLess()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        const auto panel = PanelRig::makePanel(model);
        rig.emulator.clearRequests();
        testsupport::LogCapture log;
        QTest::mouseClick(PanelRig::child<Button>(*panel, "mic2PhantomButton"), Qt::LeftButton);
        QTest::mouseClick(PanelRig::child<Button>(*panel, "mic2DirectButton"), Qt::LeftButton);
        QCOMPARE(rig.sent(),
            QStringList({ "vendor 01 5B 00 01 02 00 00", "vendor 01 5B 00 01 02 00 00", "block", "block" }));
        QCOMPARE(log.count("Mic 48V Button Clicked 1"), 2);
        QVERIFY(!log.contains("switched for channel"));
        for (std::size_t offset : { 16392, 16648, 17416, 17672 })
            QCOMPARE(qMakePair(offset, rig.lastCell(offset)), qMakePair(offset, 1.0));
        QCOMPARE(rig.lastCell(16384), 0.0);

        rig.emulator.fail(PanelRig::kBlockCode, emu::FaultMode::Refuse);
        log.clear();
        PanelRig::child<Knob>(*panel, "otgToSpKnob")->setValue(-20);
        QVERIFY(!log.contains("SP volume")); // this one logs no failure
        QCOMPARE(log.count("控件状态已保存到配置文件"), 1);
        QCOMPARE(rig.stored(PanelRig::iniName(model), "Dial/OtgToSPValue"), QString("-20"));
        PanelRig::child<Knob>(*panel, "otgToHpKnob")->setValue(-20);
        QVERIFY(log.contains("Failed to set OTG to HP volume."));
    }

    void readoutsOfBothInputsAndThePhone_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void readoutsOfBothInputsAndThePhone()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        rig.emulator.setLevel(0, 2147483647);
        rig.emulator.setLevel(1, 1);
        rig.emulator.setLevel(2, -2147483647);
        rig.emulator.setLevel(3, 2147483647); // opposite signs cancel
        const auto panel = PanelRig::makePanel(model);
        QTRY_COMPARE(PanelRig::child<QLabel>(*panel, "mic1LevelLabel")->text(), QString("0.0 dB"));
        QCOMPARE(PanelRig::child<QLabel>(*panel, "mic2LevelLabel")->text(), QString("-186.6 dB"));
        QCOMPARE(PanelRig::child<QLabel>(*panel, "otgLevelLabelHp")->text(), QString("-inf dB"));
        QCOMPARE(PanelRig::child<QLabel>(*panel, "otgLevelLabelSp")->text(), QString("-inf dB"));

        // Shown, the readouts keep the places the layout gave them while their texts change, and the
        // panel looks as a fresh layout of the same texts would.
        panel->show();
        QVERIFY(QTest::qWaitForWindowExposed(panel.get()));
        rig.emulator.setLevel(0, 1000);
        rig.emulator.setLevel(2, 2147483647);
        QTRY_COMPARE(PanelRig::child<QLabel>(*panel, "otgLevelLabelHp")->text(), QString("0.0 dB"));
        const QImage pinned = panel->grab().toImage();
        for (QLabel *label : panel->findChildren<QLabel *>()) {
            label->setMinimumSize(0, 0);
            label->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        }
        panel->layout()->activate();
        QCOMPARE(panel->grab().toImage(), pinned);
    }

    void textsAreTranslatedInTheModelsContext_data() { PanelRig::addModelRows({ "ka2", "ka2se" }); }
    void textsAreTranslatedInTheModelsContext()
    {
        QFETCH(QString, model);
        PanelRig rig(PanelRig::deviceCode(model));
        PanelRig::ContextTranslator translator;
        QCoreApplication::installTranslator(&translator);
        const auto panel = PanelRig::makePanel(model);
        QCoreApplication::removeTranslator(&translator);
        QStringList texts;
        for (QLabel *label : panel->findChildren<QLabel *>())
            if (label->text() != "-160 dB")
                texts << label->text();
        QStringList expected;
        for (const char *source : { "MIC1", "Gain", "MIC2", "Gain", "SPEAKER", "Volume", "Phone To SP Volume",
                 "HEADPHONE", "Volume", "Phone To HP Volume" })
            expected << model + QLatin1Char(':') + QLatin1String(source);
        QCOMPARE(texts, expected);
        QCOMPARE(PanelRig::child<Button>(*panel, "mic1DirectButton")->text(), model + QStringLiteral(":DIRECT"));
    }

    void tabWalksTheColumnsInReadingOrder()
    {
        PanelRig rig(18);
        ka2se panel;
        panel.show();
        QVERIFY(QTest::qWaitForWindowActive(&panel));
        panel.setFocus();
        QStringList expected;
        for (const char *column : { "mic1", "mic2" })
            for (const char *name : { "Knob", "InstrumentButton", "PadButton", "PhantomButton", "DirectButton" })
                expected << QLatin1String(column) + QLatin1String(name);
        expected += QStringList { "speakerKnob", "speakerMuteButton", "speakerDimButton", "otgToSpKnob",
            "headphoneKnob", "headphoneMuteButton", "headphoneSourceButton", "otgToHpKnob", expected.first() };
        QStringList walked;
        while (walked.size() < expected.size()) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            walked << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(walked, expected);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget()->objectName(), QString("otgToHpKnob"));
    }

    // A key press takes the road of a wheel step or a click: the same requests, log lines, cells and
    // INI value. Every row starts with the headphone at -20.
    void mouseAndKeysTakeOneRoad_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("from"); // a knob's value before
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<QStringList>("logged");
        QTest::addColumn<Cells>("cells");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");

        const auto row
            = [](const QByteArray &name, const char *control, const char *how, int from, const QStringList &sent,
                  const QStringList &logged, const Cells &cells, const char *key, const char *stored) {
                  QTest::newRow(name.constData()) << control << how << from << sent << logged << cells << key << stored;
              };
        const QString saved = QStringLiteral("控件状态已保存到配置文件");
        const QStringList block { "block" };
        const double page = 0.0199526231496888, at69 = 0.000354813389233575; // -34 dB, -69 dB
        for (const char *how : { "wheel", "Up" }) {
            row(QByteArray("headphone, ") + how, "headphoneKnob", how, -70, block,
                { "Headphone Knob value changed: -69", "Headphone volume set to: -69", saved },
                { { 65568, at69 }, { 65576, at69 } }, "Dial/HeadphoneValue", "-69");
            row(QByteArray("gain 2, ") + how, "mic2Knob", how, 10, { "vendor 01 07 00 02 02 16 00" },
                { "Mic volume set to: 11", saved }, {}, "Dial/Mic2Value", "11");
        }
        // The switch runs its handler twice; each time the knob's value is logged, the silence sent.
        const QStringList muted { "Headphone Knob value changed: -20", "Headphone volume set to: -80", saved, saved };
        for (const char *how : { "click", "Space", "Enter" })
            row(QByteArray("headphone mute, ") + how, "headphoneMuteButton", how, 0, { "block", "block" },
                muted + muted, { { 65568, 0.0 }, { 65576, 0.0 } }, "Button/HeadphoneMuteIsChecked", "true");
        // End raises an output by a page at most, the gain to its top.
        row("speaker, End", "speakerKnob", "End", -40, block,
            { "Speaker Knob value changed: -34", "Speaker volume set to: -34", saved }, { { 65536, page } },
            "Dial/SpeakerValue", "-34");
        row("headphone, End", "headphoneKnob", "End", -40, block,
            { "Headphone Knob value changed: -34", "Headphone volume set to: -34", saved }, { { 65568, page } },
            "Dial/HeadphoneValue", "-34");
        row("phone to speaker, End", "otgToSpKnob", "End", -40, block, { "OTG to SP volume set to: 0.0199526", saved },
            {}, "Dial/OtgToSPValue", "-34");
        row("phone to headphone, End", "otgToHpKnob", "End", -40, block,
            { "OTG to HP volume set to: 0.0199526", saved }, {}, "Dial/OtgToHpValue", "-34");
        row("gain 1, End", "mic1Knob", "End", -40, { "vendor 01 07 00 02 01 70 00" },
            { "Mic volume set to: 56", saved }, {}, "Dial/Mic1Value", "56");
    }
    void mouseAndKeysTakeOneRoad()
    {
        QFETCH(QString, control);
        QFETCH(QString, how);
        QFETCH(int, from);
        QFETCH(QStringList, sent);
        QFETCH(QStringList, logged);
        QFETCH(Cells, cells);
        QFETCH(QString, key);
        QFETCH(QString, stored);
        PanelRig rig(2);
        ka2 panel;
        PanelRig::child<Knob>(panel, "headphoneKnob")->setValue(-20);
        auto *target = PanelRig::child<QWidget>(panel, qPrintable(control));
        if (auto *knob = qobject_cast<Knob *>(target))
            knob->setValue(from);
        rig.emulator.clearRequests();
        testsupport::LogCapture log;
        testsupport::act(target, how);
        QCOMPARE(rig.sent(), sent);
        QCOMPARE(log.lines(), logged);
        for (auto it = cells.cbegin(); it != cells.cend(); ++it)
            QCOMPARE(rig.lastCell(it.key()), it.value()); // within the last digits: the panel's own dB maths
        QCOMPARE(rig.stored("/ka2.ini", key), stored);
    }

    void ka2seStoredInstrumentSwitchIsSentBeforePadAndGain()
    {
        PanelRig rig(18);
        rig.store("/ka2se.ini", { { "Button/Mic2InstrIsChecked", true } });
        testsupport::LogCapture log;
        ka2se panel;
        const QStringList sent = rig.sent();
        QCOMPARE(sent.indexOf("vendor 01 64 00 01 02 00 00"), 5);
        QCOMPARE(sent.indexOf("vendor 01 5A 00 00 01 00 00"), 6);
        QVERIFY(PanelRig::child<Button>(panel, "mic2InstrumentButton")->isSelected());
        QCOMPARE(PanelRig::child<Button>(panel, "mic2InstrumentButton")->text(), QString("INST"));
        QCOMPARE(PanelRig::child<Button>(panel, "mic1InstrumentButton")->text(), QString("MIC"));
        QCOMPARE(rig.emulator.state().instrument[1], true);
        QCOMPARE(log.count("Mic instruction switched for channel 1."), 1); // channel 2 logs no success
        QCOMPARE(log.count("Mic Instr Button Clicked 1"), 1);
    }

    void ka2seInstrumentSwitchPressAndRefusal()
    {
        PanelRig rig(18);
        ka2se panel;
        auto *instrument = PanelRig::child<Button>(panel, "mic1InstrumentButton");
        rig.emulator.clearRequests();
        testsupport::LogCapture log;
        QTest::mouseClick(instrument, Qt::LeftButton);
        QCOMPARE(rig.sent(), QStringList({ "vendor 01 64 00 01 01 00 00", "vendor 01 64 00 01 01 00 00" }));
        QCOMPARE(instrument->text(), QString("INST"));
        QCOMPARE(log.count("控件状态已保存到配置文件"), 2);
        QCOMPARE(rig.stored("/ka2se.ini", "Button/Mic1InstrIsChecked"), QString("true"));

        rig.emulator.fail(PanelRig::kVendorCode, emu::FaultMode::Refuse);
        QTest::mouseClick(instrument, Qt::LeftButton);
        QVERIFY(!instrument->isSelected());
        QCOMPARE(instrument->text(), QString("INST")); // the caption follows accepted requests only
        QCOMPARE(log.count("Failed to switch mic instruction."), 2);
        QCOMPARE(rig.stored("/ka2se.ini", "Button/Mic1InstrIsChecked"), QString("false"));
    }

    void ka2seInstrumentCaptionsAreTranslated()
    {
        PanelRig rig(18);
        PanelRig::ContextTranslator translator;
        QCoreApplication::installTranslator(&translator);
        ka2se panel;
        QTest::mouseClick(PanelRig::child<Button>(panel, "mic2InstrumentButton"), Qt::LeftButton);
        QCoreApplication::removeTranslator(&translator);
        QCOMPARE(PanelRig::child<Button>(panel, "mic1InstrumentButton")->text(), QString("ka2se:MIC"));
        QCOMPARE(PanelRig::child<Button>(panel, "mic2InstrumentButton")->text(), QString("ka2se:INST"));
    }
};

QTEST_MAIN(tst_DualInputPanel)
#include "tst_DualInputPanel.moc"
