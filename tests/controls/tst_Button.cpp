#include "controls/Button.h"
#include "tests/support/TestSupport.h"

#include <QGraphicsDropShadowEffect>
#include <QHBoxLayout>
#include <QRegularExpression>
#include <QtTest>

namespace {

const QString offStyle = QStringLiteral("QPushButton {   color: #00ff7f;   background-color: #1b1e23;   border-radius: "
                                        "3px;}QPushButton:pressed {   background-color: #1b1e23;}");
const QString onStyle = QStringLiteral("QPushButton {   color: #000000;   background-color: #00ff7f;   border-radius: "
                                       "3px;}QPushButton:pressed {   background-color: #00ff7f;}");

QGraphicsDropShadowEffect *glow(Button &button)
{
    return qobject_cast<QGraphicsDropShadowEffect *>(button.graphicsEffect());
}

QList<bool> emitted(const QSignalSpy &spy)
{
    QList<bool> states;
    for (const QList<QVariant> &args : spy)
        states << args.at(0).toBool();
    return states;
}

} // namespace

class tst_Button : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void constructedState();
    void styleSheets();
    void setSelectedAlwaysRestylesAndEmits();
    void pressTogglesAndEmitsTwice_data();
    void pressTogglesAndEmitsTwice();
    void glowsOnlyWhileSelected();

private:
    QWidget *window = nullptr;
    Button *button = nullptr;
};

void tst_Button::init()
{
    window = new QWidget;
    testsupport::giveBackdrop(*window);
    auto *layout = new QHBoxLayout(window);
    layout->setContentsMargins(16, 16, 16, 16);
    // Made as the panels make their switches: without a parent, then placed in a layout.
    button = new Button(QStringLiteral("48V"));
    button->setFixedSize(80, 40);
    layout->addWidget(button);
    QVERIFY(testsupport::showActive(*window));
}

void tst_Button::cleanup()
{
    delete window;
    window = nullptr;
    button = nullptr;
}

void tst_Button::constructedState()
{
    QWidget parent;
    Button fresh(QStringLiteral("MUTE"), &parent);
    QCOMPARE(fresh.text(), QStringLiteral("MUTE"));
    QCOMPARE(fresh.label, QStringLiteral("MUTE"));
    QCOMPARE(fresh.cornerRadius, 3);
    QCOMPARE(fresh.selectedTextColor, QStringLiteral("#000000"));
    QCOMPARE(fresh.normalTextColor, QStringLiteral("#00ff7f"));
    QCOMPARE(fresh.glowColor, QStringLiteral("#00ff7f"));
    QCOMPARE(fresh.selectedBackground, QStringLiteral("#00ff7f"));
    QCOMPARE(fresh.normalBackground, QStringLiteral("#1b1e23"));
    QVERIFY(!fresh.isSelected());
    QVERIFY(!fresh.isCheckable());
    QVERIFY(fresh.styleSheet().isEmpty());
    QCOMPARE(fresh.cursor().shape(), Qt::PointingHandCursor);

    // The glow exists from the start but stays off; its blur follows the width at construction
    // (a child widget starts 100 pixels wide, a parentless one 640).
    QGraphicsDropShadowEffect *effect = glow(fresh);
    QVERIFY(effect);
    QCOMPARE(effect->parent(), &fresh);
    QVERIFY(!effect->isEnabled());
    QCOMPARE(effect->color(), QColor(0x00, 0xff, 0x7f));
    QCOMPARE(effect->offset(), QPointF(0, 0));
    QCOMPARE(effect->blurRadius(), 1.0);

    Button empty;
    QVERIFY(empty.text().isEmpty());
    QVERIFY(empty.label.isEmpty());
    QCOMPARE(glow(empty)->blurRadius(), 6.4);
}

void tst_Button::styleSheets()
{
    button->updateStyle();
    QCOMPARE(button->styleSheet(), offStyle);
    QVERIFY(!glow(*button)->isEnabled());

    button->setSelected(true);
    QCOMPARE(button->styleSheet(), onStyle);
    QVERIFY(glow(*button)->isEnabled());

    // A panel's switch: its own colours, picked up by the next restyle, glow colour included.
    button->cornerRadius = 12;
    button->normalTextColor = QStringLiteral("#8a95aa");
    button->selectedTextColor = QStringLiteral("#ff1111");
    button->glowColor = QStringLiteral("#ff1111");
    button->selectedBackground = QStringLiteral("#1b1e23");
    button->updateStyle();
    QCOMPARE(button->styleSheet(),
        QStringLiteral("QPushButton {   color: #ff1111;   background-color: #1b1e23;   border-radius: "
                       "12px;}QPushButton:pressed {   background-color: #1b1e23;}"));
    QCOMPARE(glow(*button)->color(), QColor(0xff, 0x11, 0x11));
    button->setSelected(false);
    QCOMPARE(button->styleSheet(),
        QStringLiteral("QPushButton {   color: #8a95aa;   background-color: #1b1e23;   border-radius: "
                       "12px;}QPushButton:pressed {   background-color: #1b1e23;}"));

    // Field markers inside a colour are text, not fields.
    button->normalTextColor = QStringLiteral("%2");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Could not parse stylesheet")));
    button->updateStyle();
    QVERIFY(button->styleSheet().startsWith(QStringLiteral("QPushButton {   color: %2;   background-color: #1b1e23;")));
}

void tst_Button::setSelectedAlwaysRestylesAndEmits()
{
    QList<bool> slotStates;
    // Panels connect without naming the overload.
    connect(button, &Button::pressed, this, [&](bool on) { slotStates << on; });
    QSignalSpy spy(button, QOverload<bool>::of(&Button::pressed));

    button->setSelected(true);
    button->setStyleSheet(QString());
    button->setSelected(true);
    QCOMPARE(button->styleSheet(), onStyle);
    QVERIFY(button->isSelected());
    button->setSelected(false);
    QVERIFY(!glow(*button)->isEnabled());
    button->setSelected(false);
    QCOMPARE(button->styleSheet(), offStyle);
    QCOMPARE(emitted(spy), (QList<bool> { true, true, false, false }));
    QCOMPARE(slotStates, (QList<bool> { true, true, false, false }));
}

void tst_Button::pressTogglesAndEmitsTwice_data()
{
    QTest::addColumn<QString>("how");
    for (const char *how : { "click", "right click", "middle click", "Space", "Return", "Enter" })
        QTest::newRow(how) << how;
}

void tst_Button::pressTogglesAndEmitsTwice()
{
    QFETCH(QString, how);
    // The slot sees the new state already stored, both times.
    QList<bool> seen;
    connect(button, &Button::pressed, this, [&](bool on) { seen << on << button->isSelected(); });
    QSignalSpy clicked(button, &QAbstractButton::clicked);
    QSignalSpy basePressed(button, qOverload<>(&QAbstractButton::pressed));
    QSignalSpy released(button, &QAbstractButton::released);

    testsupport::act(button, how);
    QVERIFY(button->isSelected());
    QVERIFY(glow(*button)->isEnabled());
    QCOMPARE(button->styleSheet(), onStyle);
    QCOMPARE(seen, (QList<bool> { true, true, true, true }));
    QVERIFY(!button->isDown());

    seen.clear();
    testsupport::act(button, how);
    QVERIFY(!button->isSelected());
    QVERIFY(!glow(*button)->isEnabled());
    QCOMPARE(button->styleSheet(), offStyle);
    QCOMPARE(seen, (QList<bool> { false, false, false, false }));

    // A held key toggles once: its repeats do nothing.
    seen.clear();
    QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QString(), true);
    QApplication::sendEvent(button, &repeat);
    QVERIFY(seen.isEmpty());

    // Neither drives the inherited press/click cycle.
    QCOMPARE(clicked.count(), 0);
    QCOMPARE(basePressed.count(), 0);
    QCOMPARE(released.count(), 0);
}

void tst_Button::glowsOnlyWhileSelected()
{
    button->setSelected(true);
    // Inside, and two pixels left of the button: green glow only while selected.
    const QPoint inside = button->geometry().topLeft() + QPoint(6, 6);
    const QPoint beside = button->geometry().topLeft() + QPoint(-2, 20);
    const QColor backdrop = testsupport::kBackdrop;
    const QImage on = window->grab().toImage();
    QCOMPARE(on.pixelColor(inside), QColor(0x00, 0xff, 0x7f));
    QVERIFY(on.pixelColor(beside).green() > backdrop.green() + 20);
    button->setSelected(false);
    const QImage off = window->grab().toImage();
    QCOMPARE(off.pixelColor(inside), QColor(0x1b, 0x1e, 0x23));
    QCOMPARE(off.pixelColor(beside), backdrop);
}

QTEST_MAIN(tst_Button)
#include "tst_Button.moc"
