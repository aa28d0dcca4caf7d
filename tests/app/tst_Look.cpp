#include "app/MainWindow.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "panels/ka2se.h"
#include "panels/kv.h"
#include "settings/Settings.h"
#include "tests/support/PanelRig.h"
#include "tests/support/TestSupport.h"

#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <QtTest>

#include <functional>

// Draws one picture; everything it needs lives and dies inside the call.
using Drawing = std::function<QImage()>;
Q_DECLARE_METATYPE(Drawing)

namespace {

QImage shown(QWidget &window)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return QImage();
    return window.grab().toImage();
}

Drawing knob(int side, int value)
{
    return [side, value] {
        QWidget window;
        testsupport::giveBackdrop(window);
        window.resize(side + 20, side + 20);
        auto *knob = new Knob(&window);
        if (side < 100) { // as the panels set up their phone knobs
            knob->arcWidth = 3;
            knob->fontSize = 10;
        }
        knob->setGeometry(10, 10, side, side);
        knob->setValue(value);
        return shown(window);
    };
}

Drawing button(bool selected)
{
    return [selected] {
        QWidget window;
        testsupport::giveBackdrop(window);
        auto *layout = new QHBoxLayout(&window);
        layout->setContentsMargins(16, 16, 16, 16);
        // Made as the two-input panels make their switches: alone, then placed in a layout.
        auto *button = new Button(QStringLiteral("48V"));
        button->setFixedSize(80, 40);
        layout->addWidget(button);
        button->updateStyle();
        if (selected)
            button->setSelected(true);
        return shown(window);
    };
}

// A knob and a switch side by side: the keyboard focuses the knob, then the switch; then the
// switch is clicked, which focuses it without a mark. The three views one above the other.
QImage keyboardFocus()
{
    QWidget window;
    testsupport::giveBackdrop(window);
    auto *layout = new QHBoxLayout(&window);
    layout->setContentsMargins(16, 16, 16, 16);
    auto *knob = new Knob;
    knob->setFixedSize(120, 120);
    knob->setValue(-20);
    layout->addWidget(knob);
    auto *button = new Button(QStringLiteral("48V"));
    button->setFixedSize(80, 40);
    button->updateStyle();
    layout->addWidget(button);
    window.setFocus(); // as the main window holds it, so Tab is what focuses the knob
    window.show();
    if (!QTest::qWaitForWindowActive(&window))
        return QImage();
    QImage views(window.width(), 3 * window.height(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&views);
    const auto view = [&](int row) { painter.drawImage(0, row * window.height(), window.grab().toImage()); };
    knob->setFocus(Qt::TabFocusReason);
    view(0);
    button->setFocus(Qt::TabFocusReason);
    view(1);
    window.setFocus();
    QTest::mouseClick(button, Qt::LeftButton);
    view(2);
    return button->hasFocus() ? views : QImage();
}

// A panel as the main window holds it, restored from defaults against the emulated model, or
// with every switch on and every knob two thirds up its range, set the way a user's click or drag
// sets them, so the panel's own reactions (a switch's new caption) show too.
template <typename Panel> Drawing panel(std::uint32_t model, bool everythingOn)
{
    return [model, everythingOn] {
        PanelRig rig(model);
        Panel panel;
        if (everythingOn) {
            for (Button *button : panel.template findChildren<Button *>())
                if (!button->isSelected())
                    button->setSelected(true);
            for (Knob *knob : panel.template findChildren<Knob *>())
                knob->setValue(knob->minimum + (knob->maximum - knob->minimum) * 2 / 3);
        }
        QWidget host;
        testsupport::giveBackdrop(host);
        auto *layout = new QVBoxLayout(&host);
        panel.setParent(&host);
        layout->addWidget(&panel);
        host.show();
        host.adjustSize();
        // Drawn before the first meter tick, so the readouts read "-160 dB" whatever the levels.
        const QImage image = host.grab().toImage();
        panel.setParent(nullptr);
        return image;
    };
}

// The dialog with a device that counts two USB errors, so the error line shows.
QImage settingsDialog()
{
    testsupport::IsolatedEnvironment env;
    emu::Emulator device(env.runtimeDir().toStdString(), 2);
    device.start();
    Settings dialog;
    if (!dialog.connectDevice())
        return QImage();
    device.setUsbErrorCount(2);
    dialog.show();
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("errorLabel"));
    if (!QTest::qWaitFor([label] { return label->isVisible(); }, 5000))
        return QImage();
    return dialog.grab().toImage();
}

QImage mainWindowWithoutDevice()
{
    testsupport::IsolatedEnvironment env;
    Settings dialog;
    MainWindow window;
    window.setSettings(&dialog);
    return shown(window);
}

} // namespace

// The look of the controls, the four panels, the settings dialog and the main window, each
// compared with its picture in tests/reference/ (docs/testing.md says how to renew them).
class tst_Look : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Every text of the pictures falls back to DejaVu Sans; another font installed on the
        // machine would move every text, which is no fault of the program.
        const QString drawnWith = QStringLiteral("DejaVu Sans");
        QVERIFY2(QFontInfo(QFont(QStringLiteral("Segoe UI"))).family() == drawnWith
                && QFontInfo(QApplication::font()).family() == drawnWith,
            "the pictures are drawn with the fonts of scripts/install-deps.sh and no others");
    }

    void matchesReference_data()
    {
        QTest::addColumn<Drawing>("draw");
        for (int side : { 120, 70 })
            for (const auto &[value, name] :
                { std::pair<int, const char *> { -80, "minimum" }, { 0, "0dB" }, { 6, "maximum" } })
                QTest::addRow("knob-%d-%s", side, name) << knob(side, value);
        QTest::newRow("button-off") << button(false);
        QTest::newRow("button-on") << button(true);
        QTest::newRow("keyboard-focus") << Drawing(keyboardFocus);
        for (bool on : { false, true }) {
            const char *look = on ? "on" : "defaults";
            QTest::addRow("ka1-%s", look) << panel<ka1>(1, on);
            QTest::addRow("kv-%s", look) << panel<kv>(15, on);
            QTest::addRow("ka2-%s", look) << panel<ka2>(2, on);
            QTest::addRow("ka2se-%s", look) << panel<ka2se>(18, on);
        }
        QTest::newRow("settings-dialog") << Drawing(settingsDialog);
        QTest::newRow("main-window-no-device") << Drawing(mainWindowWithoutDevice);
    }

    void matchesReference()
    {
        QFETCH(Drawing, draw);
        const QImage picture = draw();
        QVERIFY2(!picture.isNull(), "nothing was drawn");
        const QString why = testsupport::differsFromReference(picture, QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY2(why.isEmpty(), qPrintable(why));
    }

private:
    testsupport::LogCapture quiet; // the panels' and the dialog's debug lines
};

QTEST_MAIN(tst_Look)
#include "tst_Look.moc"
