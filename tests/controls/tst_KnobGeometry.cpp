#include "controls/KnobGeometry.h"

#include <QtTest>

#include <climits>

class tst_KnobGeometry : public QObject
{
    Q_OBJECT

private slots:
    void arcSpan_data();
    void arcSpan();
    void discsAndArcRectangle();
    void text_data();
    void text();
    void editorTextAndRectangle();
    void typedValue_data();
    void typedValue();
};

void tst_KnobGeometry::arcSpan_data()
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

void tst_KnobGeometry::arcSpan()
{
    QFETCH(int, value);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, span);
    QCOMPARE(knobArcSpan(value, minimum, maximum), span);
}

void tst_KnobGeometry::discsAndArcRectangle()
{
    // Main knob, defaults.
    QCOMPARE(knobArcRect(120, 120, 7), QRect(7, 7, 106, 106));
    QCOMPARE(knobBodyRect(120, 7, 0.8), QRect(17, 17, 84, 84));
    QCOMPARE(knobShadowRect(120, 7, 0.8), QRect(19, 19, 84, 84));

    // Small phone knob: 70 x 70, arc width 3.
    QCOMPARE(knobArcRect(70, 70, 3), QRect(3, 3, 64, 64));
    QCOMPARE(knobBodyRect(70, 3, 0.8), QRect(9, 9, 51, 51));
    QCOMPARE(knobShadowRect(70, 3, 0.8), QRect(10, 10, 51, 51));

    // A wide widget keeps round discs sized by its width; the arc rectangle follows both sides.
    QCOMPARE(knobArcRect(160, 120, 7), QRect(7, 7, 146, 106));
    QCOMPARE(knobBodyRect(160, 7, 0.8), QRect(21, 21, 116, 116));
    QCOMPARE(knobShadowRect(160, 7, 0.8), QRect(23, 23, 116, 116));

    // A body filling the whole arc rectangle still casts its shadow 2 % lower.
    QCOMPARE(knobBodyRect(120, 7, 1.0), QRect(7, 7, 106, 106));
    QCOMPARE(knobShadowRect(120, 7, 1.0), QRect(9, 9, 106, 106));
}

void tst_KnobGeometry::text_data()
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

void tst_KnobGeometry::text()
{
    QFETCH(int, value);
    QFETCH(int, offset);
    QFETCH(QString, suffix);
    QFETCH(QString, text);
    QCOMPARE(knobText(value, offset, suffix), text);
}

void tst_KnobGeometry::editorTextAndRectangle()
{
    // The editor shows the offset even for a value of 0, and never the suffix.
    QCOMPARE(knobEditorText(0, 9), QStringLiteral("9"));
    QCOMPARE(knobEditorText(-80, 0), QStringLiteral("-80"));
    QCOMPARE(knobEditorText(INT_MIN, -1), QStringLiteral("-2147483649"));

    QCOMPARE(knobEditorRect(QRect(10, 20, 80, 40)), QRect(12, 21, 76, 38));
    QCOMPARE(knobEditorRect(QRect(41, 51, 39, 17)), QRect(41, 51, 39, 17));
    QCOMPARE(knobEditorRect(QRect(0, 0, 200, 120)), QRect(5, 3, 190, 114));
}

void tst_KnobGeometry::typedValue_data()
{
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("minimum");
    QTest::addColumn<int>("maximum");
    QTest::addColumn<int>("value");

    QTest::newRow("above") << 10 << 0 << -80 << 6 << 6;
    QTest::newRow("offset subtracted") << 30 << 9 << 0 << 56 << 21;
    QTest::newRow("offset takes it below") << 5 << 9 << 0 << 56 << 0;
    QTest::newRow("lowest int minus offset") << INT_MIN << 9 << -80 << 6 << -80;
    QTest::newRow("lowest int at the lowest bound") << INT_MIN << 9 << INT_MIN << 6 << INT_MIN;
    QTest::newRow("highest int minus negative offset") << INT_MAX << -9 << 0 << INT_MAX << INT_MAX;
}

void tst_KnobGeometry::typedValue()
{
    QFETCH(int, typed);
    QFETCH(int, offset);
    QFETCH(int, minimum);
    QFETCH(int, maximum);
    QFETCH(int, value);
    QCOMPARE(knobValueFromTyped(typed, offset, minimum, maximum), value);
}

QTEST_APPLESS_MAIN(tst_KnobGeometry)
#include "tst_KnobGeometry.moc"
