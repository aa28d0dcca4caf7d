#include "controls/Knob.h"
#include "controls/KnobGeometry.h"
#include "tests/support/TestSupport.h"

#include <QFontMetrics>
#include <QLineEdit>
#include <QMouseEvent>
#include <QtTest>

#include <climits>
#include <functional>

// A change of a knob's settings after its first paint.
using KnobChange = std::function<void(Knob &)>;
Q_DECLARE_METATYPE(KnobChange)

namespace {

// A left-button drag step at pos (mouse events carry the held buttons separately).
void dragTo(Knob &knob, QPoint pos, Qt::MouseButtons held = Qt::LeftButton)
{
    QMouseEvent event(
        QEvent::MouseMove, QPointF(pos), knob.mapToGlobal(QPointF(pos)), Qt::NoButton, held, Qt::NoModifier);
    QApplication::sendEvent(&knob, &event);
}

QList<int> emitted(const QSignalSpy &spy)
{
    QList<int> values;
    for (const QList<QVariant> &args : spy)
        values << args.at(0).toInt();
    return values;
}

// Where a 120 x 120 knob with the default font draws text.
QRect textRectOf(const Knob &knob, const QString &text)
{
    const QFontMetrics metrics(QFont(knob.fontFamily, knob.fontSize));
    return metrics.boundingRect(QRect(0, 0, 120, 120), Qt::AlignCenter, text);
}

} // namespace

class tst_Knob : public QObject
{
    Q_OBJECT

private:
    QWidget *window = nullptr;
    Knob *knob = nullptr;

    void openEditor()
    {
        knob->grab();
        QTest::mouseDClick(knob, Qt::LeftButton, Qt::NoModifier, knob->textRect.center());
        QVERIFY(knob->editor->isVisible());
    }

private slots:
    void init()
    {
        window = new QWidget;
        testsupport::giveBackdrop(*window);
        window->resize(140, 140);
        knob = new Knob(window);
        knob->setGeometry(10, 10, 120, 120);
        QVERIFY(testsupport::showActive(*window));
        knob->grab(); // paints once, so textRect is known
    }

    void cleanup()
    {
        delete window;
        window = nullptr;
        knob = nullptr;
    }

    void constructedState()
    {
        Knob fresh;
        QCOMPARE(fresh.value, -80);
        QCOMPARE(fresh.arcWidth, 7);
        QCOMPARE(fresh.roundCap, true);
        QCOMPARE(fresh.maximum, 6);
        QCOMPARE(fresh.minimum, -80);
        QCOMPARE(fresh.arcColor, QColor(0, 255, 255));
        QCOMPARE(fresh.showText, true);
        QCOMPARE(fresh.fontFamily, QStringLiteral("Segoe UI"));
        QCOMPARE(fresh.fontSize, 12);
        QCOMPARE(fresh.suffix, QStringLiteral("dB"));
        QCOMPARE(fresh.textColor, QColor(0xff, 0x79, 0xc6));
        QCOMPARE(fresh.showTrack, true);
        QCOMPARE(fresh.trackColor, QColor(0x44, 0x47, 0x5a));
        QCOMPARE(fresh.bodyRatio, 0.8);
        QVERIFY(fresh.editor);
        QCOMPARE(fresh.editor->parentWidget(), &fresh);
        QVERIFY(fresh.editor->isHidden());
        QVERIFY(fresh.textRect.isEmpty());
        QCOMPARE(fresh.focusPolicy(), Qt::StrongFocus);
        QCOMPARE(fresh.keyRaiseLimit, INT_MAX);
    }

    void setValueBoundsAndAlwaysEmits()
    {
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        knob->setValue(100);
        QCOMPARE(knob->value, 6);
        knob->setValue(6);
        knob->setValue(-1000);
        QCOMPARE(knob->value, -80);
        knob->setValue(-12);
        QCOMPARE(knob->value, -12);
        QCOMPARE(emitted(spy), (QList<int> { 6, 6, -80, -12 }));

        // Writing the members directly emits nothing.
        knob->minimum = 0;
        knob->maximum = 42;
        knob->value = 0;
        QCOMPARE(spy.count(), 4);
    }

    void ctrlPressResetsPlainPressDoesNot()
    {
        knob->setValue(3);
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        QTest::mouseClick(knob, Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
        QCOMPARE(knob->value, 3);
        QCOMPARE(spy.count(), 0);

        QTest::mouseClick(knob, Qt::LeftButton, Qt::ControlModifier, knob->textRect.center());
        QCOMPARE(knob->value, -80);
        // Already at the minimum: a reset still reports it.
        QTest::mousePress(knob, Qt::RightButton, Qt::ControlModifier, QPoint(100, 100));
        QCOMPARE(emitted(spy), (QList<int> { -80, -80 }));
        QVERIFY(knob->editor->isHidden());
    }

    // Beside the text, or anywhere when there is no text to edit: a double-click resets.
    void doubleClickBesideTextResets()
    {
        for (const auto &[showText, at] : { std::pair { true, QPoint(3, 3) }, { false, QPoint(60, 60) } }) {
            knob->showText = showText;
            knob->setValue(2);
            knob->grab();
            QSignalSpy spy(knob, &Knob::valueChangedSig);
            QTest::mouseDClick(knob, Qt::LeftButton, Qt::NoModifier, at);
            QCOMPARE(knob->value, -80);
            QCOMPARE(emitted(spy), QList<int> { -80 });
            QVERIFY(knob->editor->isHidden());
        }
    }

    void doubleClickOnTextOpensEditor()
    {
        knob->setValue(-12);
        knob->grab();
        const QRect expected = textRectOf(*knob, QStringLiteral("-12dB"));
        QCOMPARE(knob->textRect, expected);

        QSignalSpy spy(knob, &Knob::valueChangedSig);
        QTest::mouseDClick(knob, Qt::LeftButton, Qt::NoModifier, knob->textRect.center());
        QVERIFY(knob->editor->isVisible());
        QCOMPARE(knob->editor->text(), QStringLiteral("-12"));
        QCOMPARE(knob->editor->selectedText(), QStringLiteral("-12"));
        QVERIFY(knob->editor->hasFocus());
        const int dx = int(0.025 * expected.width());
        const int dy = int(0.025 * expected.height());
        QCOMPARE(knob->editor->geometry(), expected.adjusted(dx, dy, -dx, -dy));
        QCOMPARE(knob->value, -12);
        QCOMPARE(spy.count(), 0);
    }

    void typedValue_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QVariant>("number"); // what the text stands for; none when it is no number
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");

        const QVariant none;
        QTest::newRow("with suffix") << "-12dB" << QVariant(-12) << 0 << -80 << 6 << -12;
        QTest::newRow("bare number") << "-12" << QVariant(-12) << 0 << -80 << 6 << -12;
        QTest::newRow("suffix is case-sensitive") << "-12DB" << none << 0 << -80 << 6 << -20;
        QTest::newRow("no number") << "loud" << none << 0 << -80 << 6 << -20;
        QTest::newRow("above range") << "10dB" << QVariant(10) << 0 << -80 << 6 << 6;
        QTest::newRow("beyond 32 bits") << "99999999999" << none << 0 << -80 << 6 << -20;
        QTest::newRow("offset subtracted") << "30" << QVariant(30) << 9 << 0 << 56 << 21;
        QTest::newRow("offset takes it below") << "5" << QVariant(5) << 9 << 0 << 56 << 0;
        QTest::newRow("lowest int minus offset") << "-2147483648" << QVariant(INT_MIN) << 9 << -80 << 6 << -80;
        QTest::newRow("lowest int at the lowest bound")
            << "-2147483648" << QVariant(INT_MIN) << 9 << INT_MIN << 6 << INT_MIN;
        QTest::newRow("highest int minus negative offset")
            << "2147483647" << QVariant(INT_MAX) << -9 << 0 << INT_MAX << INT_MAX;
    }
    void typedValue()
    {
        QFETCH(QString, typed);
        QFETCH(QVariant, number);
        QFETCH(int, offset);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, value);

        if (number.isValid())
            QCOMPARE(controls::knobValueFromTyped(number.toInt(), offset, minimum, maximum), value);

        knob->minimum = minimum;
        knob->maximum = maximum;
        knob->displayOffset = offset;
        knob->setValue(qBound(minimum, -20, maximum));
        openEditor();
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        // All text is selected, so typing replaces it.
        QTest::keyClicks(knob->editor, typed);
        QCOMPARE(knob->editor->text(), typed);
        QTest::keyClick(knob->editor, Qt::Key_Return);

        QVERIFY(knob->editor->isHidden());
        QCOMPARE(knob->value, value);
        // Also a failed conversion reports the (unchanged) value once.
        QCOMPARE(emitted(spy), QList<int> { value });
        knob->grab();
        QCOMPARE(knob->textRect, textRectOf(*knob, controls::knobText(value, offset, knob->suffix)));
    }

    void typingFinishesOnFocusLoss()
    {
        QLineEdit other(window);
        other.setGeometry(0, 0, 5, 5);
        other.show();
        openEditor();
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        QTest::keyClicks(knob->editor, QStringLiteral("-30"));
        other.setFocus(Qt::MouseFocusReason);
        QVERIFY(knob->editor->isHidden());
        QCOMPARE(knob->value, -30);
        QCOMPARE(emitted(spy), QList<int> { -30 });
    }

    void shownText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("text");

        const QString dB = QStringLiteral("dB");
        QTest::newRow("default") << -80 << 0 << dB << QStringLiteral("-80dB");
        QTest::newRow("maximum") << 6 << 0 << dB << QStringLiteral("6dB");
        QTest::newRow("offset added") << 10 << 9 << dB << QStringLiteral("19dB");
        QTest::newRow("zero ignores the offset") << 0 << 9 << dB << QStringLiteral("0dB");
        QTest::newRow("negative offset") << 5 << -9 << dB << QStringLiteral("-4dB");
        QTest::newRow("no suffix") << -12 << 0 << QString() << QStringLiteral("-12");
        QTest::newRow("sum beyond 32 bits") << INT_MAX << 1 << dB << QStringLiteral("2147483648dB");
    }
    void shownText()
    {
        QFETCH(int, value);
        QFETCH(int, offset);
        QFETCH(QString, suffix);
        QFETCH(QString, text);
        QCOMPARE(controls::knobText(value, offset, suffix), text);

        knob->minimum = INT_MIN;
        knob->maximum = INT_MAX;
        knob->displayOffset = offset;
        knob->suffix = suffix;
        knob->setValue(value);
        knob->grab();
        QCOMPARE(knob->textRect, textRectOf(*knob, text));
    }

    void editorText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("offset");
        QTest::addColumn<QString>("text");

        // The editor shows the offset even for a value of 0, and never the suffix.
        QTest::newRow("zero with offset") << 0 << 9 << QStringLiteral("9");
        QTest::newRow("minimum") << -80 << 0 << QStringLiteral("-80");
        QTest::newRow("sum below 32 bits") << INT_MIN << -1 << QStringLiteral("-2147483649");
    }
    void editorText()
    {
        QFETCH(int, value);
        QFETCH(int, offset);
        QFETCH(QString, text);
        QCOMPARE(controls::knobEditorText(value, offset), text);

        knob->minimum = INT_MIN;
        knob->displayOffset = offset;
        knob->setValue(value);
        openEditor();
        QCOMPARE(knob->editor->text(), text);
    }

    void editorRect_data()
    {
        QTest::addColumn<QRect>("textRect");
        QTest::addColumn<QRect>("editorRect");
        QTest::newRow("shrunk on every side") << QRect(10, 20, 80, 40) << QRect(12, 21, 76, 38);
        QTest::newRow("too small to shrink") << QRect(41, 51, 39, 17) << QRect(41, 51, 39, 17);
        QTest::newRow("wide") << QRect(0, 0, 200, 120) << QRect(5, 3, 190, 114);
    }
    void editorRect()
    {
        QFETCH(QRect, textRect);
        QFETCH(QRect, editorRect);
        QCOMPARE(controls::knobEditorRect(textRect), editorRect);
    }

    void drag()
    {
        knob->setValue(6);
        QSignalSpy spy(knob, &Knob::valueChangedSig);

        // The first drag ever is measured from (0, 0); distance does not matter, only direction.
        dragTo(*knob, QPoint(0, 5));
        dragTo(*knob, QPoint(0, 6));
        dragTo(*knob, QPoint(0, 100));
        QCOMPARE(emitted(spy), (QList<int> { 5, 4, 3 }));
        QCOMPARE(knob->lastX, 0);
        QCOMPARE(knob->lastY, 100);

        // Up and to the right raises by two; up and to the left cancels out but still reports.
        spy.clear();
        dragTo(*knob, QPoint(10, 90));
        dragTo(*knob, QPoint(5, 80));
        // Right at one below the maximum plus up: stops at the maximum.
        dragTo(*knob, QPoint(6, 79));
        dragTo(*knob, QPoint(7, 78));
        QCOMPARE(emitted(spy), (QList<int> { 5, 5, 6, 6 }));

        // The next drag starts from where the last one ended, not from its own press.
        QTest::mouseClick(knob, Qt::LeftButton, Qt::NoModifier, QPoint(60, 10));
        spy.clear();
        dragTo(*knob, QPoint(7, 79));
        QCOMPARE(knob->value, 5);

        // Down and left at the minimum: stays there, reported on every event.
        knob->setValue(-79);
        spy.clear();
        dragTo(*knob, QPoint(6, 80));
        dragTo(*knob, QPoint(5, 81));
        dragTo(*knob, QPoint(5, 82));
        QCOMPARE(emitted(spy), (QList<int> { -80, -80, -80 }));
    }

    void dragOnlyWithLeftButton()
    {
        knob->setValue(0);
        knob->lastX = 50;
        knob->lastY = 50;
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        dragTo(*knob, QPoint(60, 40), Qt::RightButton);
        dragTo(*knob, QPoint(60, 40), Qt::NoButton);
        QCOMPARE(spy.count(), 0);
        QCOMPARE(knob->lastX, 50);
        QCOMPARE(knob->lastY, 50);
        dragTo(*knob, QPoint(60, 40), Qt::LeftButton | Qt::RightButton);
        QCOMPARE(knob->value, 2);
    }

    void wheelOrKeyStep_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("raiseLimit");
        QTest::addColumn<QList<int>>("emitted");

        QTest::newRow("wheel") << "wheel" << 0 << INT_MAX << QList<int> { 1 };
        QTest::newRow("one wheel event is one step, whatever its size")
            << "wheel x10" << 0 << INT_MAX << QList<int> { 1 };
        QTest::newRow("wheel down") << "wheel down" << 0 << INT_MAX << QList<int> { -1 };
        QTest::newRow("horizontal wheel lowers") << "wheel right" << 0 << INT_MAX << QList<int> { -1 };
        QTest::newRow("either way") << "wheel left" << 0 << INT_MAX << QList<int> { -1 };
        QTest::newRow("wheel at the top still reports") << "wheel" << 6 << INT_MAX << QList<int> { 6 };
        QTest::newRow("wheel at the bottom still reports") << "wheel down" << -80 << INT_MAX << QList<int> { -80 };
        QTest::newRow("Right") << "Right" << 5 << INT_MAX << QList<int> { 6 };
        QTest::newRow("Up at the top still reports") << "Up" << 6 << INT_MAX << QList<int> { 6 };
        QTest::newRow("Left") << "Left" << -20 << INT_MAX << QList<int> { -21 };
        QTest::newRow("Page Up") << "PgUp" << -20 << INT_MAX << QList<int> { -14 };
        QTest::newRow("Page Down to the bottom") << "PgDown" << -77 << INT_MAX << QList<int> { -80 };
        QTest::newRow("End") << "End" << -20 << INT_MAX << QList<int> { 6 };
        QTest::newRow("End held to the limit") << "End" << -40 << 6 << QList<int> { -34 };
        QTest::newRow("Home is never held") << "Home" << 6 << 6 << QList<int> { -80 };
        QTest::newRow("not a knob's key") << "Space" << -20 << INT_MAX << QList<int>();
    }
    void wheelOrKeyStep()
    {
        QFETCH(QString, how);
        QFETCH(int, from);
        QFETCH(int, raiseLimit);
        QFETCH(QList<int>, emitted);
        knob->keyRaiseLimit = raiseLimit;
        knob->setValue(from);
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        testsupport::act(knob, how);
        QCOMPARE(::emitted(spy), emitted);
    }

    void enterOrF2EditsEscapeCancels()
    {
        knob->setValue(-12);
        knob->setFocus(Qt::TabFocusReason);
        QSignalSpy spy(knob, &Knob::valueChangedSig);
        QTest::keyClick(knob, Qt::Key_F2);
        QCOMPARE(knob->editor->selectedText(), QStringLiteral("-12"));
        QTest::keyClicks(knob->editor, QStringLiteral("5"));
        QTest::keyClick(knob->editor, Qt::Key_Escape);
        QVERIFY(knob->editor->isHidden());
        QVERIFY(knob->hasFocus()); // back where the keyboard user was
        QCOMPARE(spy.count(), 0);
        // Enter on the editor takes the value once, and the knob does not open the editor again.
        QTest::keyClick(knob, Qt::Key_Enter);
        QTest::keyClicks(knob->editor, QStringLiteral("-30"));
        QTest::keyClick(knob->editor, Qt::Key_Enter);
        QVERIFY(knob->editor->isHidden());
        QCOMPARE(::emitted(spy), QList<int> { -30 });
    }

    void focusRingOnlyForKeyboardFocus()
    {
        const QPoint onRing(60, 14); // midway between the arc and the body, at the top
        QLineEdit elsewhere(window);
        elsewhere.show();
        elsewhere.setFocus();
        const QImage unfocused = knob->grab().toImage();
        QTest::mouseClick(knob, Qt::LeftButton, Qt::NoModifier, QPoint(60, 100));
        QVERIFY(knob->hasFocus());
        QCOMPARE(knob->grab().toImage(), unfocused);
        elsewhere.setFocus();
        knob->setFocus(Qt::BacktabFocusReason);
        QCOMPARE(knob->grab().toImage().pixelColor(onRing), knob->arcColor);
    }

    void paintsArcForValue()
    {
        // The top of the arc, and a point on the track 40 degrees below the right-hand side.
        const QPoint top(60, 7);
        const QPoint lowerRight(100, 93);
        auto pixel = [&](int value, QPoint at) {
            knob->setValue(value);
            return knob->grab().toImage().pixelColor(at);
        };
        const QColor track(0x44, 0x47, 0x5a);
        const QColor cyan(0x00, 0xff, 0xff);
        QCOMPARE(pixel(-80, top), track);
        QCOMPARE(pixel(-80, lowerRight), track);
        QCOMPARE(pixel(0, top), cyan);
        QCOMPARE(pixel(0, lowerRight), track);
        QCOMPARE(pixel(6, top), cyan);
        QCOMPARE(pixel(6, lowerRight), cyan);

        knob->showTrack = false;
        QVERIFY(pixel(-80, lowerRight) != track);

        knob->arcColor = QColor(0xf1, 0xfa, 0x8c);
        QCOMPARE(pixel(6, lowerRight), knob->arcColor);
    }

    void repaintFollowsSizeAndLook_data()
    {
        QTest::addColumn<KnobChange>("change");
        QTest::newRow("resized") << KnobChange([](Knob &k) { k.resize(71, 93); });
        QTest::newRow("track colour") << KnobChange([](Knob &k) { k.trackColor = QColor(0x12, 0x34, 0x56); });
        QTest::newRow("arc width") << KnobChange([](Knob &k) { k.arcWidth = 3; });
        QTest::newRow("square caps") << KnobChange([](Knob &k) { k.roundCap = false; });
        QTest::newRow("no track") << KnobChange([](Knob &k) { k.showTrack = false; });
    }
    // Parts of the picture are kept between repaints; a knob changed after its first paint must look
    // like one given the same settings from the start.
    void repaintFollowsSizeAndLook()
    {
        QFETCH(KnobChange, change);
        knob->setValue(-23);
        QVERIFY(!knob->grab().isNull());
        change(*knob);
        Knob fresh(window);
        fresh.setGeometry(knob->geometry());
        change(fresh);
        fresh.setValue(-23);
        QCOMPARE(knob->grab().toImage(), fresh.grab().toImage());
    }

    void arcSpan_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("span");

        QTest::newRow("minimum") << -80 << -80 << 6 << 0;
        QTest::newRow("maximum") << 6 << -80 << 6 << -4320;
        QTest::newRow("0 dB") << 0 << -80 << 6 << -4018;
        QTest::newRow("midpoint is 135 degrees") << -37 << -80 << 6 << -2160;
        QTest::newRow("one step truncates towards zero") << -79 << -80 << 6 << -50;
        QTest::newRow("gain knob midpoint") << 21 << 0 << 42 << -2160;
        QTest::newRow("extreme range does not overflow") << INT_MAX << INT_MIN << INT_MAX << -4320;
        QTest::newRow("empty range") << 5 << 5 << 5 << 0;
        QTest::newRow("inverted range") << 0 << 6 << -80 << 0;
        QTest::newRow("far above the range stops at a full turn") << INT_MAX << 0 << 1 << -5760;
        QTest::newRow("far below the range stops at a full turn") << INT_MIN << 0 << 1 << 5760;
    }
    void arcSpan()
    {
        QFETCH(int, value);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(int, span);
        QCOMPARE(controls::knobArcSpan(value, minimum, maximum), span);
    }

    void discsAndArcRectangle()
    {
        // Main knob, defaults.
        QCOMPARE(controls::knobArcRect(120, 120, 7), QRect(7, 7, 106, 106));
        QCOMPARE(controls::knobBodyRect(120, 7, 0.8), QRect(17, 17, 84, 84));
        QCOMPARE(controls::knobShadowRect(120, 7, 0.8), QRect(19, 19, 84, 84));

        // Small phone knob: 70 x 70, arc width 3.
        QCOMPARE(controls::knobArcRect(70, 70, 3), QRect(3, 3, 64, 64));
        QCOMPARE(controls::knobBodyRect(70, 3, 0.8), QRect(9, 9, 51, 51));
        QCOMPARE(controls::knobShadowRect(70, 3, 0.8), QRect(10, 10, 51, 51));

        // A wide widget keeps round discs sized by its width; the arc rectangle follows both sides.
        QCOMPARE(controls::knobArcRect(160, 120, 7), QRect(7, 7, 146, 106));
        QCOMPARE(controls::knobBodyRect(160, 7, 0.8), QRect(21, 21, 116, 116));
        QCOMPARE(controls::knobShadowRect(160, 7, 0.8), QRect(23, 23, 116, 116));

        // A body filling the whole arc rectangle still casts its shadow 2 % lower.
        QCOMPARE(controls::knobBodyRect(120, 7, 1.0), QRect(7, 7, 106, 106));
        QCOMPARE(controls::knobShadowRect(120, 7, 1.0), QRect(9, 9, 106, 106));
    }
};

QTEST_MAIN(tst_Knob)
#include "tst_Knob.moc"
