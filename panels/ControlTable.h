#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <vector>

class Button;
class Knob;
class QSettings;
class QWidget;

// One panel's controls, the only place each is described: the name a script uses, its widget, its
// INI key and the value used when the key is missing, the texts that name it, in the order the
// panel restores them at start-up. The panel's handlers are wired through it, so it knows whether
// the device took what a change asked for, and it tells when a control's value changed.
class ControlTable : public QObject
{
    Q_OBJECT

public:
    struct Row
    {
        const char *name; // "headphone.mute"
        const char *key; // "Button/HeadphoneMuteIsChecked"
        Button *button; // a switch, or
        Knob *knob; // a knob
        int fallback; // a knob's value when its key is missing; a switch is then off
        QString section; // its column's title as the panel shows it; empty for the phone knobs
        QString caption; // a knob's caption as shown; for a switch what it switches, whatever its state
        QWidget *widget() const;
        QString label() const; // "MIC1 Gain"
        int storedValue() const; // a knob's value, 1 or 0 for a switch
    };
    // A handler gets the new value and returns whether the device took its request.
    using SwitchHandler = std::function<bool(bool)>;
    using KnobHandler = std::function<bool(int)>;

    explicit ControlTable(QObject *parent = nullptr);

    // Adds the next control in restoring order and connects its handler; a control the model lacks
    // (a null widget) is passed over. The knob is shown displayOffset above its value.
    void addSwitch(const char *name, const char *key, Button *button, const QString &section, const QString &caption,
        SwitchHandler handler);
    void addKnob(const char *name, const char *key, Knob *knob, int fallback, int displayOffset, const QString &section,
        const QString &caption, KnobHandler handler);

    const std::vector<Row> &rows() const { return table; }
    const Row *find(const QString &name) const;

    // Every control its stored value in order, each through its handler (panelkit::restore).
    void restore(QSettings &settings);
    // The control of this widget under its key, as panelkit::save writes it.
    void save(QSettings &settings, const QWidget *widget) const;
    // Runs change, which moves controls; true when the device took every request their handlers
    // sent meanwhile.
    bool accepted(const std::function<void()> &change);

signals:
    // A control's value differs from the one last told (a handler may run again for an unchanged
    // value); screen readers were told too.
    void changed(const QString &name);

private:
    void handled(std::size_t index, bool ok);

    std::vector<Row> table;
    std::vector<int> lastTold;
    bool allAccepted = true;
};
