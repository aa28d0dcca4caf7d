#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/PanelKit.h"
#include "tests/support/PanelRig.h"

#include <QFrame>
#include <QLabel>
#include <QtTest>

#include <memory>

class tst_PanelKit : public QObject
{
    Q_OBJECT

private slots:
    void volumeRule_data();
    void volumeRule();
    void lookOfSwitchesAndLabels();
    void unwritableFolderKeepsValuesInMemory();
    void damagedFileIsCopiedAsideAndReadAsFarAsPossible();
    void unreadableValueGivesTheKeysDefault_data();
    void unreadableValueGivesTheKeysDefault();
    void noDeviceGivesAnEmptyPanel_data();
    void noDeviceGivesAnEmptyPanel();
};

void tst_PanelKit::volumeRule_data()
{
    QTest::addColumn<int>("knob");
    QTest::addColumn<bool>("muted");
    QTest::addColumn<bool>("dimmed");
    QTest::addColumn<int>("level");
    QTest::newRow("plain") << -10 << false << false << -10;
    QTest::newRow("dim") << -10 << false << true << -30;
    QTest::newRow("dim at 0") << 0 << false << true << -20;
    QTest::newRow("mute wins over dim") << -10 << true << true << -80;
    QTest::newRow("mute at +6") << 6 << true << false << -80;
    QTest::newRow("dim below -60") << -70 << false << true << -90;
}

void tst_PanelKit::volumeRule()
{
    QFETCH(int, knob);
    QFETCH(bool, muted);
    QFETCH(bool, dimmed);
    QFETCH(int, level);
    QCOMPARE(panelkit::effectiveVolume(knob, muted, dimmed), level);
}

void tst_PanelKit::lookOfSwitchesAndLabels()
{
    QWidget panel;
    Button *button = panelkit::makeSwitch(&panel, "48V", "#ff1111", panelkit::SwitchParent::AtConstruction);
    QCOMPARE(button->parentWidget(), &panel);
    QCOMPARE(button->minimumWidth(), 80);
    QCOMPARE(button->maximumWidth(), 80);
    QCOMPARE(button->normalTextColor, QString("#8a95aa"));
    QCOMPARE(button->selectedTextColor, QString("#ff1111"));
    QCOMPARE(button->glowColor, QString("#ff1111"));
    QCOMPARE(button->selectedBackground, QString("#1b1e23"));
    QCOMPARE(button->normalBackground, QString("#1b1e23"));
    QVERIFY(button->styleSheet().contains("color: #8a95aa;"));

    QLabel *title = panelkit::sectionTitle(&panel, "INPUT");
    QCOMPARE(title->styleSheet(), QString("font-weight: bold; font-size: 12px; color: white;"));
    QCOMPARE(title->alignment(), Qt::AlignCenter);
    QLabel *level = panelkit::readout(&panel);
    QCOMPARE(level->text(), QString("-160 dB"));
    QCOMPARE(level->styleSheet(), QString("color: #888888; font-size: 8px;"));
    QFrame *line = panelkit::separator(&panel);
    QCOMPARE(line->frameShape(), QFrame::VLine);
    QCOMPARE(line->frameShadow(), QFrame::Sunken);
    QCOMPARE(line->maximumWidth(), 1);
    QCOMPARE(line->styleSheet(), QString("background-color: #555555;"));
}

void tst_PanelKit::unwritableFolderKeepsValuesInMemory()
{
    PanelRig rig(1);
    // The data folder cannot be created below a plain file, not even by root.
    const QString blocker = rig.env.root() + "/blocked";
    QVERIFY(testsupport::writeFile(blocker, {}));
    qputenv("XDG_DATA_HOME", QFile::encodeName(blocker));
    testsupport::LogCapture log;
    ka1 panel;
    QVERIFY(log.contains("Failed to write settings file:"));
    auto *knob = panel.findChild<Knob *>("headphoneKnob");
    knob->setValue(-20);
    QCOMPARE(rig.lastCell(65536), 0.1);
    QCOMPARE(knob->value, -20);
}

void tst_PanelKit::damagedFileIsCopiedAsideAndReadAsFarAsPossible()
{
    PanelRig rig(1);
    const QByteArray damaged("\x00\xff[Dial\nMicValue=12\n", 21);
    QVERIFY(testsupport::writeFile(rig.iniPath("/ka1.ini"), damaged));
    testsupport::LogCapture log;
    ka1 panel;
    QVERIFY(log.contains("Settings file damaged, a copy is kept as:"));
    QCOMPARE(testsupport::onDisk(rig.iniPath("/ka1.ini.damaged")), damaged);
    QCOMPARE(rig.stored("/ka1.ini", "Dial/HeadphoneValue"), QString("-80"));
    QCOMPARE(panel.findChild<Knob *>("micKnob")->value, 0);
}

void tst_PanelKit::unreadableValueGivesTheKeysDefault_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("restored"); // a switch as 0 or 1
    QTest::addColumn<bool>("unreadable");
    QTest::newRow("phantom no") << "Button/Mic148VIsChecked"
                                << "no"
                                << "mic1PhantomButton" << 0 << true;
    QTest::newRow("phantom off") << "Button/Mic248VIsChecked"
                                 << "off"
                                 << "mic2PhantomButton" << 0 << true;
    QTest::newRow("phantom TRUE") << "Button/Mic148VIsChecked"
                                  << "TRUE"
                                  << "mic1PhantomButton" << 1 << false;
    QTest::newRow("pad 2") << "Button/Mic120dBIsChecked"
                           << "2"
                           << "mic1PadButton" << 1 << false;
    QTest::newRow("pad 0") << "Button/Mic120dBIsChecked"
                           << "0"
                           << "mic1PadButton" << 0 << false;
    QTest::newRow("instrument yes") << "Button/Mic1InstrIsChecked"
                                    << "yes"
                                    << "mic1InstrumentButton" << 0 << true;
    QTest::newRow("instrument 1") << "Button/Mic2InstrIsChecked"
                                  << "1"
                                  << "mic2InstrumentButton" << 1 << false;
    QTest::newRow("headphone loud") << "Dial/HeadphoneValue"
                                    << "loud"
                                    << "headphoneKnob" << -80 << true;
    QTest::newRow("speaker empty") << "Dial/SpeakerValue"
                                   << ""
                                   << "speakerKnob" << -80 << true;
    QTest::newRow("speaker 12.7") << "Dial/SpeakerValue"
                                  << "12.7"
                                  << "speakerKnob" << -80 << true;
    QTest::newRow("headphone -20") << "Dial/HeadphoneValue"
                                   << "-20"
                                   << "headphoneKnob" << -20 << false;
    QTest::newRow("gain 99 bounded") << "Dial/Mic1Value"
                                     << "99"
                                     << "mic1Knob" << 56 << false;
}

void tst_PanelKit::unreadableValueGivesTheKeysDefault()
{
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(QString, control);
    QFETCH(int, restored);
    QFETCH(bool, unreadable);
    PanelRig rig(18);
    rig.store("/ka2se.ini", { { key, text } });
    testsupport::LogCapture log;
    ka2se panel;
    if (auto *button = panel.findChild<Button *>(control))
        QCOMPARE(int(button->isSelected()), restored);
    else
        QCOMPARE(panel.findChild<Knob *>(control)->value, restored);
    QCOMPARE(
        log.count(QStringLiteral("Unreadable stored value for %1, its default is used.").arg(key)), unreadable ? 1 : 0);
    if (key.startsWith("Dial/"))
        QCOMPARE(rig.stored("/ka2se.ini", key), QString::number(restored));
}

void tst_PanelKit::noDeviceGivesAnEmptyPanel_data()
{
    PanelRig::addModelRows({ "ka1", "ka2", "ka2se", "kv" });
}

void tst_PanelKit::noDeviceGivesAnEmptyPanel()
{
    QFETCH(QString, model);
    PanelRig rig(PanelRig::deviceCode(model), false);
    testsupport::LogCapture log;
    {
        const auto panel = PanelRig::makePanel(model);
        QVERIFY(panel->children().isEmpty());
        QTest::qWait(600); // no meter timer either
    }
    QVERIFY(log.contains("Failed to create device in " + model + "."));
    QVERIFY(!log.contains("Failed to read meter data from driver."));
    QVERIFY(!QFile::exists(rig.iniPath(PanelRig::iniName(model))));
}

QTEST_MAIN(tst_PanelKit)
#include "tst_PanelKit.moc"
