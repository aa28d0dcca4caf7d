#pragma once

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVector>

#include <utility>

class QTimer;
class QWidget;

// The panel's controls by their stable names: reads them, and changes them through the widget, so
// the panel's own handler sends the request, logs and writes the INI file as a mouse change does.
// It finds the panel of the connected model inside the main window and follows it when the device
// comes and goes. Every reply is one JSON object: {"ok":true,...} or {"ok":false,"error":CODE,
// "message":TEXT} with CODE one of no-device, unknown-control, bad-value, refused, wrong-model.
class ControlRegistry : public QObject
{
    Q_OBJECT

public:
    using Pairs = QVector<std::pair<QString, QString>>;

    explicit ControlRegistry(QWidget *root, QObject *parent = nullptr);

    // Looks for the panel again; true when one is there.
    bool refresh();
    QString panelClass() const;

    QJsonObject status();
    QJsonObject list();
    QJsonObject get(const QString &name);
    // Checks every pair first; one bad pair refuses all and changes nothing.
    QJsonObject set(const Pairs &pairs);
    // Stored keys and values of every control, with the model, as a preset holds them.
    QJsonObject dump();
    // A preset: model name and INI key/value pairs. Unknown keys are reported and ignored; the
    // rest is applied in the panel's restoring order, each control through its handler.
    QJsonObject load(const QString &model, const Pairs &keyValues);

    static QJsonObject error(const QString &code, const QString &message);
    // "on"/"off" and "true"/"false"/"1"/"0" for a switch; a whole number for a knob.
    static bool parseSwitch(const QString &text, bool &on);
    static bool parseWhole(const QString &text, int &value);

signals:
    void changed(const QString &name, const QString &value);

private:
    struct Control
    {
        QString name;
        QString key;
        QString section; // the column's title, translated as the panel shows it
        QString caption; // a knob's caption, translated; a switch shows its own text
        QWidget *widget;
        bool knob;
    };
    void attach(QWidget *panel);
    const Control *find(const QString &name) const;
    static QString labelOf(const Control &control);
    QString valueText(const Control &control) const;
    QJsonObject check(const Control &control, const QString &text, int &value) const;
    QJsonObject apply(const QVector<std::pair<const Control *, int>> &changes, bool asRestore);
    void announce(const Control &control);

    QWidget *root;
    QPointer<QWidget> panel;
    QVector<Control> controls;
    QHash<QString, QString> lastAnnounced;
    QTimer *followTimer;
};
