#pragma once

#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <utility>

class ControlTable;

// The panel's controls by their stable names: reads them, and changes them through the widget, so
// the panel's own handler sends the request, logs and writes the INI file as a mouse change does.
// It follows the panel the main window announces, with its model and firmware. Knobs are read and
// set in the units they show ("21dB" is 21), and values travel as text ("-20", "on"). Every reply
// is one JSON object: {"ok":true,...} or {"ok":false,"error":CODE,"message":TEXT} with CODE one of
// no-device, unknown-control, bad-value, refused, wrong-model; a message is a capitalised sentence
// without a full stop.
class ControlRegistry : public QObject
{
    Q_OBJECT

public:
    using Pairs = QVector<std::pair<QString, QString>>;

    explicit ControlRegistry(QObject *parent = nullptr);

    // The panel the main window built and shows, and that it cleared it.
    void follow(ControlTable *controls, const QString &model, const QString &firmware);
    void forget();
    bool connected() const;
    // The followed panel's model and firmware as announced; empty without one.
    QString modelName() const { return model; }
    QString firmwareText() const { return firmware; }

    QJsonObject status();
    QJsonObject list();
    QJsonObject get(const QString &name);
    // Checks every pair first; one bad pair refuses all and changes nothing. A refusal of the
    // device stops at the refused control, which the error names. A knob takes the number it shows
    // ("-20", "-20dB", as its editor reads a typed number; one it cannot show is refused) or a step
    // ("2dB+", "2dB-"; "+2", "-2" without a unit) that stops at the range's end; a switch on/off,
    // yes/no, true/false, 1/0, toggle, and a mute switch mute/unmute. The reply names each control
    // set with its new value: {"ok":true,"controls":[{"name":...,"value":...}]}.
    QJsonObject set(const Pairs &pairs);
    // Stored keys and values of every control, with the model, as a preset holds them.
    QJsonObject dump();
    // A preset: model name and INI key/value pairs, in the INI file's own values. Unknown keys are
    // reported and ignored; the rest is applied in the panel's restoring order, each control
    // through its handler.
    QJsonObject load(const QString &model, const Pairs &keyValues);

    static QJsonObject error(const QString &code, const QString &message);
    // "on"/"off", "yes"/"no", "true"/"false", "1"/"0" for a switch; a whole number without a "+".
    static bool parseSwitch(const QString &text, bool &on);
    static bool parseWhole(const QString &text, int &value);

signals:
    void changed(const QString &name, const QString &value);
    // The device left (connected false) or a panel of model came.
    void deviceChanged(bool connected, const QString &model);

private:
    struct Change
    {
        int row;
        int value; // a knob's own value; for a switch 0, 1 or kToggle
        bool asRestore;
    };
    static constexpr int kToggle = 2;
    QString valueText(int row) const;
    // text as a value of row: shown, as a set speaks it (steps start at current), or as a preset
    // stores it. An empty object when it fits.
    QJsonObject check(int row, const QString &text, bool shown, int current, int &value) const;
    QJsonObject apply(const QVector<Change> &changes);

    QPointer<ControlTable> table;
    QString model;
    QString firmware;
};
