// Prints, as one JSON object, where the soak script finds each control: for every model, the
// centre and size of each knob and switch of its panel inside the main window, which takes the size
// of the panel it shows, and the boxes and OK button of the settings dialog. It builds the real windows against an
// in-process emulated device, on the display the soak's program runs on, so fonts and sizes match.
// The caller gives it private folders (ORVELIN_RUNTIME_DIR, XDG_DATA_HOME, ...) as to the program.
//
//     soak-layout-probe
#include "app/MainWindow.h"
#include "controls/Button.h"
#include "controls/Knob.h"
#include "emulator/Emulator.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

namespace {

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

QJsonObject place(const QWidget *widget, const QWidget *window)
{
    const QPoint centre = widget->mapTo(window, widget->rect().center());
    return QJsonObject { { "name", widget->objectName() }, { "x", centre.x() }, { "y", centre.y() },
        { "width", widget->width() }, { "height", widget->height() } };
}

template <typename Control> QJsonArray places(const QWidget *root, const QWidget *window)
{
    QJsonArray all;
    for (const Control *control : root->findChildren<Control *>())
        if (control->isVisibleTo(window))
            all.append(place(control, window));
    return all;
}

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (QApplication::arguments().size() != 1) {
        std::fprintf(stderr, "usage: soak-layout-probe\n");
        return 2;
    }
    qInstallMessageHandler(discard);
    const char *runtimeDir = std::getenv("ORVELIN_RUNTIME_DIR");
    if (!runtimeDir) {
        std::fprintf(stderr, "ORVELIN_RUNTIME_DIR must name a private folder\n");
        return 2;
    }

    QJsonObject models;
    QJsonObject dialogPlaces;
    for (std::uint32_t model : { 1u, 2u, 15u, 18u }) {
        emu::Emulator device(runtimeDir, model);
        if (!device.start())
            return 1;
        Settings settings;
        MainWindow window;
        window.setSettings(&settings);
        window.show();
        window.detectDevice();
        settle();
        QWidget *panel = window.centralWidget();
        models.insert(QString::number(model),
            QJsonObject { { "minimumWidth", window.minimumSizeHint().width() },
                { "minimumHeight", window.minimumSizeHint().height() }, { "width", window.width() },
                { "height", window.height() }, { "knobs", places<Knob>(panel, &window) },
                { "switches", places<Button>(panel, &window) } });
        if (dialogPlaces.isEmpty()) {
            settings.show();
            settle();
            dialogPlaces = QJsonObject { { "width", settings.width() }, { "height", settings.height() },
                { "boxes", places<QComboBox>(&settings, &settings) },
                { "ok", place(settings.findChild<QPushButton *>(QStringLiteral("okButton")), &settings) } };
        }
    }
    const QJsonObject layout { { "models", models }, { "dialog", dialogPlaces } };
    std::fputs(QJsonDocument(layout).toJson(QJsonDocument::Compact).constData(), stdout);
    std::fputc('\n', stdout);
    return 0;
}
