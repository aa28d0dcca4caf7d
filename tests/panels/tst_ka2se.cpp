#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka2se.h"
#include "tests/support/PanelRig.h"

#include <QLabel>
#include <QVBoxLayout>
#include <QtTest>

class tst_ka2se : public QObject
{
    Q_OBJECT

private slots:
    void firstStartSendsInputTypesFirst();
    void storedInstrumentSwitchIsSentBeforePadAndGain();
    void instrumentSwitchPressAndRefusal();
    void textsAreTranslatedInTheKa2seContext();
};

void tst_ka2se::firstStartSendsInputTypesFirst()
{
    PanelRig rig(18);
    ka2se panel;
    const QStringList sent = rig.sent();
    QCOMPARE(sent.size(), 22);
    QCOMPARE(sent.mid(4, 4),
        QStringList({ "vendor 01 64 00 00 01 00 00", "vendor 01 64 00 00 02 00 00", "vendor 01 5A 00 00 01 00 00",
            "vendor 01 5B 00 00 01 00 00" }));
    QCOMPARE(sent.last(), QString("block"));
    QCOMPARE(rig.lastCell(33792), 1.0);
    QCOMPARE(rig.lastCell(17424), 1.0);

    QSettings ini(rig.iniPath("/ka2se.ini"), QSettings::IniFormat);
    QCOMPARE(ini.allKeys().size(), 18);
    QCOMPARE(ini.value("Button/Mic1InstrIsChecked").toString(), QString("false"));
    QCOMPARE(ini.value("Button/Mic2InstrIsChecked").toString(), QString("false"));
    QCOMPARE(panel.findChild<Button *>("mic1InstrumentButton")->text(), QString("MIC"));
    QCOMPARE(panel.findChild<Button *>("mic2InstrumentButton")->text(), QString("MIC"));
    QVERIFY(!QFile::exists(rig.iniPath("/ka2.ini")));
}

void tst_ka2se::storedInstrumentSwitchIsSentBeforePadAndGain()
{
    PanelRig rig(18);
    rig.store("/ka2se.ini", { { "Button/Mic2InstrIsChecked", true } });
    testsupport::LogCapture log;
    ka2se panel;
    const QStringList sent = rig.sent();
    QCOMPARE(sent.indexOf("vendor 01 64 00 01 02 00 00"), 5);
    QCOMPARE(sent.indexOf("vendor 01 5A 00 00 01 00 00"), 6);
    QVERIFY(panel.findChild<Button *>("mic2InstrumentButton")->isSelected());
    QCOMPARE(panel.findChild<Button *>("mic2InstrumentButton")->text(), QString("INST"));
    QCOMPARE(panel.findChild<Button *>("mic1InstrumentButton")->text(), QString("MIC"));
    QCOMPARE(rig.emulator.state().instrument[1], true);
    QCOMPARE(log.count("Mic instruction switched for channel 1."), 1); // channel 2 logs no success
    QCOMPARE(log.count("Mic Instr Button Clicked 1"), 1);
}

void tst_ka2se::instrumentSwitchPressAndRefusal()
{
    PanelRig rig(18);
    ka2se panel;
    auto *instrument = panel.findChild<Button *>("mic1InstrumentButton");
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

    panel.findChild<Knob *>("mic2Knob")->setValue(20);
    QCOMPARE(log.count("Failed to set mic volume."), 1);
    QCOMPARE(rig.stored("/ka2se.ini", "Dial/Mic2Value"), QString("20"));
}

void tst_ka2se::textsAreTranslatedInTheKa2seContext()
{
    PanelRig rig(18);
    PanelRig::ContextTranslator translator;
    QCoreApplication::installTranslator(&translator);
    ka2se panel;
    QTest::mouseClick(panel.findChild<Button *>("mic2InstrumentButton"), Qt::LeftButton);
    QCoreApplication::removeTranslator(&translator);
    QCOMPARE(panel.findChild<Button *>("mic1InstrumentButton")->text(), QString("ka2se:MIC"));
    QCOMPARE(panel.findChild<Button *>("mic2InstrumentButton")->text(), QString("ka2se:INST"));
    QCOMPARE(panel.findChild<QLabel *>()->text(), QString("ka2se:MIC1"));
}

QTEST_MAIN(tst_ka2se)
#include "tst_ka2se.moc"
