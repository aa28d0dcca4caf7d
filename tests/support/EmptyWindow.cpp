// The floor of the program's footprint: an empty Qt Widgets window of the KA2 panel's size with
// one label, built with the same Qt. The benchmarks and the end-to-end test under Wine measure it
// beside the program, so the program's own share of the memory can be told from Qt's and Wine's.
#include <QApplication>
#include <QLabel>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Orvelin empty window"));
    window.setWindowTitle(QStringLiteral("Orvelin empty window"));
    window.resize(760, 320);
    window.show();
    return app.exec();
}
