#include "control/ControlRegistry.h"

#include "controls/Button.h"
#include "controls/ButtonAccessible.h"
#include "controls/Knob.h"
#include "controls/KnobAccessible.h"
#include "device/OrvelinIoControl.h"
#include "panels/ControlTable.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QJsonArray>
#include <QTimer>
#include <QWidget>

#include <atomic>

namespace {

// A handler logs "Failed to ..." when the device refuses its request; the registry listens for
// that line while it changes a control, so a refusal is reported to the client.
std::atomic<bool> failureSeen { false };
QtMessageHandler previousHandler = nullptr;

void watchFailures(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message.startsWith(QLatin1String("Failed to")))
        failureSeen = true;
    if (previousHandler)
        previousHandler(type, context, message);
}

class FailureWatch
{
public:
    FailureWatch()
    {
        failureSeen = false;
        previousHandler = qInstallMessageHandler(watchFailures);
    }
    ~FailureWatch() { qInstallMessageHandler(previousHandler); }
};

bool isPanelClass(const QString &name)
{
    return !controltable::modelName(name).isEmpty();
}

} // namespace

ControlRegistry::ControlRegistry(QWidget *root, QObject *parent)
    : QObject(parent)
    , root(root)
    , followTimer(new QTimer(this))
{
    QAccessible::installFactory(&KnobAccessible::factory);
    // The main window builds the panel when a device answers; a light poll follows it, so mouse
    // changes are announced even before any client asks for something.
    followTimer->setInterval(250);
    connect(followTimer, &QTimer::timeout, this, [this] { refresh(); });
    if (!refresh())
        followTimer->start();
}

bool ControlRegistry::refresh()
{
    if (panel)
        return true;
    controls.clear();
    lastAnnounced.clear();
    if (!root)
        return false;
    QWidget *found = nullptr;
    if (isPanelClass(QString::fromLatin1(root->metaObject()->className())))
        found = root;
    for (QWidget *child : root->findChildren<QWidget *>()) {
        if (found)
            break;
        if (isPanelClass(QString::fromLatin1(child->metaObject()->className())))
            found = child;
    }
    if (!found)
        return false;
    attach(found);
    if (controls.isEmpty()) {
        // A panel without widgets: its device did not open. It is left as no panel at all.
        panel = nullptr;
        return false;
    }
    followTimer->stop();
    connect(found, &QObject::destroyed, this, [this] {
        controls.clear();
        followTimer->start();
    });
    return true;
}

QString ControlRegistry::panelClass() const
{
    return panel ? QString::fromLatin1(panel->metaObject()->className()) : QString();
}

void ControlRegistry::attach(QWidget *found)
{
    panel = found;
    const QString context = panelClass();
    const QByteArray contextBytes = context.toLatin1();
    for (const controltable::Row &row : controltable::rows(context)) {
        auto *widget = found->findChild<QWidget *>(QString::fromLatin1(row.objectName));
        if (!qobject_cast<Knob *>(widget) && !qobject_cast<Button *>(widget))
            continue;
        Control control;
        control.name = QString::fromLatin1(row.name);
        control.key = QString::fromLatin1(row.key);
        control.widget = widget;
        control.knob = qobject_cast<Knob *>(widget) != nullptr;
        control.section = row.section ? QCoreApplication::translate(contextBytes.constData(), row.section) : QString();
        if (row.caption)
            control.caption = QCoreApplication::translate(contextBytes.constData(), row.caption);
        widget->setAccessibleName(labelOf(control));
        controls.push_back(control);
        const QString name = control.name;
        lastAnnounced.insert(name, valueText(control));
        const auto onChange = [this, name] {
            if (const Control *c = find(name))
                announce(*c);
        };
        if (auto *knob = qobject_cast<Knob *>(widget))
            connect(knob, &Knob::valueChangedSig, this, onChange);
        else if (auto *button = qobject_cast<Button *>(widget))
            connect(button, &Button::pressed, this, onChange);
    }
}

const ControlRegistry::Control *ControlRegistry::find(const QString &name) const
{
    for (const Control &control : controls)
        if (control.name == name)
            return &control;
    return nullptr;
}

QString ControlRegistry::labelOf(const Control &control)
{
    // A switch is named by its caption, which some switches change with their state (MIC/INST).
    const QString own = control.knob ? control.caption : static_cast<Button *>(control.widget)->text();
    return control.section.isEmpty() ? own : control.section + QLatin1Char(' ') + own;
}

QString ControlRegistry::valueText(const Control &control) const
{
    if (control.knob)
        return QString::number(static_cast<Knob *>(control.widget)->value);
    return static_cast<Button *>(control.widget)->isSelected() ? QStringLiteral("on") : QStringLiteral("off");
}

void ControlRegistry::announce(const Control &control)
{
    const QString label = labelOf(control);
    if (control.widget->accessibleName() != label) {
        control.widget->setAccessibleName(label);
        QAccessibleEvent event(control.widget, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&event);
    }
    // Handlers run again for an unchanged value (a press emits twice); only a change is news.
    const QString value = valueText(control);
    if (lastAnnounced.value(control.name) == value)
        return;
    lastAnnounced.insert(control.name, value);
    // Qt passes these on only while a screen reader listens.
    if (control.knob) {
        QAccessibleValueChangeEvent event(control.widget, static_cast<Knob *>(control.widget)->value);
        QAccessible::updateAccessibility(&event);
    } else {
        QAccessible::State state;
        state.checked = true;
        QAccessibleStateChangeEvent event(control.widget, state);
        QAccessible::updateAccessibility(&event);
    }
    emit changed(control.name, value);
}

QJsonObject ControlRegistry::error(const QString &code, const QString &message)
{
    return QJsonObject { { "ok", false }, { "error", code }, { "message", message } };
}

bool ControlRegistry::parseSwitch(const QString &text, bool &on)
{
    const QString t = text.trimmed().toLower();
    if (t == QLatin1String("on") || t == QLatin1String("true") || t == QLatin1String("1")) {
        on = true;
        return true;
    }
    if (t == QLatin1String("off") || t == QLatin1String("false") || t == QLatin1String("0")) {
        on = false;
        return true;
    }
    return false;
}

bool ControlRegistry::parseWhole(const QString &text, int &value)
{
    bool ok = false;
    value = text.trimmed().toInt(&ok, 10);
    return ok;
}

QJsonObject ControlRegistry::status()
{
    QJsonObject reply { { "ok", true } };
    const bool connected = refresh();
    reply.insert("connected", connected);
    if (!connected)
        return reply;
    reply.insert("model", controltable::modelName(panelClass()));
    const QString title = root ? root->window()->windowTitle() : QString();
    const int at = title.indexOf(QLatin1String("FW: "));
    reply.insert("firmware", at < 0 ? QString() : title.mid(at + 4));
    OrvelinIoControl channel;
    std::uint32_t rate = 0;
    if (channel.openDevice() && channel.getSampleRate(rate))
        reply.insert("sampleRate", double(rate));
    channel.closeDevice();
    return reply;
}

QJsonObject ControlRegistry::list()
{
    if (!refresh())
        return error("no-device", "No device is connected.");
    QJsonArray items;
    for (const Control &control : controls) {
        QJsonObject item { { "name", control.name }, { "label", labelOf(control) },
            { "kind", control.knob ? "knob" : "switch" }, { "value", valueText(control) } };
        if (control.knob) {
            const auto *knob = static_cast<Knob *>(control.widget);
            item.insert("min", knob->minimum);
            item.insert("max", knob->maximum);
        }
        items.append(item);
    }
    return QJsonObject { { "ok", true }, { "controls", items } };
}

QJsonObject ControlRegistry::get(const QString &name)
{
    if (!refresh())
        return error("no-device", "No device is connected.");
    const Control *control = find(name);
    if (!control)
        return error("unknown-control", QStringLiteral("There is no control named \"%1\" on this model.").arg(name));
    return QJsonObject { { "ok", true }, { "name", name }, { "value", valueText(*control) } };
}

QJsonObject ControlRegistry::check(const Control &control, const QString &text, int &value) const
{
    if (!control.knob) {
        bool on = false;
        if (!parseSwitch(text, on))
            return error("bad-value", QStringLiteral("%1 takes on or off, not \"%2\".").arg(control.name, text));
        value = on ? 1 : 0;
        return {};
    }
    const auto *knob = static_cast<Knob *>(control.widget);
    if (!parseWhole(text, value))
        return error("bad-value", QStringLiteral("%1 takes a whole number, not \"%2\".").arg(control.name, text));
    if (value < knob->minimum || value > knob->maximum)
        return error("bad-value",
            QStringLiteral("%1 takes %2 to %3; %4 is out of range.")
                .arg(control.name)
                .arg(knob->minimum)
                .arg(knob->maximum)
                .arg(value));
    return {};
}

QJsonObject ControlRegistry::set(const Pairs &pairs)
{
    if (!refresh())
        return error("no-device", "No device is connected.");
    if (pairs.isEmpty())
        return error("usage", "set needs NAME VALUE pairs.");
    QVector<std::pair<const Control *, int>> changes;
    for (const auto &pair : pairs) {
        const Control *control = find(pair.first);
        if (!control)
            return error(
                "unknown-control", QStringLiteral("There is no control named \"%1\" on this model.").arg(pair.first));
        int value = 0;
        const QJsonObject bad = check(*control, pair.second, value);
        if (!bad.isEmpty())
            return bad;
        changes.push_back({ control, value });
    }
    return apply(changes, false);
}

QJsonObject ControlRegistry::apply(const QVector<std::pair<const Control *, int>> &changes, bool asRestore)
{
    bool refused = false;
    {
        FailureWatch watch;
        for (const auto &change : changes) {
            QWidget *widget = change.first->widget;
            if (change.first->knob) {
                static_cast<Knob *>(widget)->setValue(change.second);
            } else {
                auto *button = static_cast<Button *>(widget);
                if (asRestore) {
                    button->setSelected(change.second != 0);
                } else if (button->isSelected() != (change.second != 0)) {
                    // A press, as the mouse gives it: the switch toggles and its handler runs.
                    ButtonAccessible::pressAsMouse(button);
                }
            }
        }
        refused = failureSeen;
    }
    if (refused)
        return error("refused", "The device refused the change.");
    return QJsonObject { { "ok", true } };
}

QJsonObject ControlRegistry::dump()
{
    if (!refresh())
        return error("no-device", "No device is connected.");
    QJsonObject values;
    for (const Control &control : controls) {
        if (control.knob)
            values.insert(control.key, static_cast<Knob *>(control.widget)->value);
        else
            values.insert(control.key, static_cast<Button *>(control.widget)->isSelected());
    }
    return QJsonObject { { "ok", true }, { "model", controltable::modelName(panelClass()) }, { "values", values } };
}

namespace {

// "KA2 SE", "ka2se" and "KA2SE" name the same model.
QString modelKey(QString model)
{
    return model.remove(QLatin1Char(' ')).toLower();
}

} // namespace

QJsonObject ControlRegistry::load(const QString &model, const Pairs &keyValues)
{
    if (!refresh())
        return error("no-device", "No device is connected.");
    const QString own = controltable::modelName(panelClass());
    if (modelKey(model) != modelKey(own))
        return error("wrong-model", QStringLiteral("The preset is for the %1, the device is a %2.").arg(model, own));
    QVector<int> values(controls.size(), 0);
    QVector<bool> given(controls.size(), false);
    QJsonArray unknown;
    for (const auto &pair : keyValues) {
        int index = -1;
        for (int i = 0; i < controls.size(); ++i)
            if (controls[i].key == pair.first)
                index = i;
        if (index < 0) {
            unknown.append(pair.first);
            continue;
        }
        const QJsonObject bad = check(controls[index], pair.second, values[index]);
        if (!bad.isEmpty())
            return error(
                "bad-value", QStringLiteral("The preset's %1: %2").arg(pair.first, bad.value("message").toString()));
        given[index] = true;
    }
    // Every control is replayed in the restoring order, those the preset leaves out with their
    // present value, as a restart with the preset's values stored would replay them.
    QVector<std::pair<const Control *, int>> changes;
    for (int i = 0; i < controls.size(); ++i) {
        int value = values[i];
        if (!given[i])
            value = controls[i].knob ? static_cast<Knob *>(controls[i].widget)->value
                                     : int(static_cast<Button *>(controls[i].widget)->isSelected());
        changes.push_back({ &controls[i], value });
    }
    QJsonObject reply = apply(changes, true);
    reply.insert("unknown", unknown);
    return reply;
}
