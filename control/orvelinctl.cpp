// orvelinctl: drives the running panel over its control channel.

#include "control/ControlClient.h"
#include "control/Preset.h"
#include "platform/ConsoleText.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

enum Exit {
    Done = 0,
    Usage = 1,
    NoPanel = 2,
    NoDevice = 3,
    UnknownControl = 4,
    BadValue = 5,
    Refused = 6,
    BadPreset = 7
};

const char *const kUsage = "usage: orvelinctl [--json] status\n"
                           "       orvelinctl [--json] list\n"
                           "       orvelinctl [--json] get NAME\n"
                           "       orvelinctl [--json] set NAME VALUE|toggle [NAME VALUE ...]\n"
                           "       orvelinctl [--json] watch\n"
                           "       orvelinctl [--json] preset save FILE\n"
                           "       orvelinctl [--json] preset load FILE\n"
                           "       orvelinctl [--json] remote [on|off|new-code]\n"
                           "       orvelinctl --help | --version\n"
                           "Knobs take and show the numbers the panel paints (a gain \"21dB\" is 21).\n"
                           "Exit codes: 0 done, 1 usage, 2 no panel running, 3 no device, 4 unknown control,\n"
                           "5 bad value, 6 refused by the device, 7 bad preset.\n";

// --json: replies and errors as JSON objects, one a line.
bool jsonOutput = false;

void out(const QString &text)
{
    platform::writeConsoleText(stdout, (text + QLatin1Char('\n')).toUtf8().toStdString());
}

void outJson(const QJsonObject &object)
{
    out(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

const char *codeName(int code)
{
    static const char *const names[]
        = { "done", "usage", "no-panel", "no-device", "unknown-control", "bad-value", "refused", "bad-preset" };
    return code >= 0 && code <= BadPreset ? names[code] : "usage";
}

int fail(int code, const QString &message, const QString &error = QString())
{
    if (jsonOutput) {
        const QJsonObject object { { "ok", false },
            { "error", error.isEmpty() ? QString::fromLatin1(codeName(code)) : error }, { "message", message },
            { "exit", code } };
        platform::writeConsoleText(stderr, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n");
    } else {
        platform::writeConsoleText(stderr, "orvelinctl: " + message.toStdString() + "\n");
    }
    return code;
}

// A usage error says what was wrong, then how the commands go.
int usage(const QString &what)
{
    if (!jsonOutput)
        return fail(Usage, what + QLatin1Char('\n') + QString::fromLatin1(kUsage).trimmed());
    return fail(Usage, what);
}

// An error reply to its exit code and message.
int failed(const QJsonObject &reply)
{
    if (reply.isEmpty())
        return fail(NoPanel, QStringLiteral("the panel closed the connection"));
    const QString code = reply.value("error").toString();
    QString message = reply.value("message").toString();
    if (code == QLatin1String("no-device"))
        return fail(NoDevice, message);
    if (code == QLatin1String("unknown-control"))
        return fail(UnknownControl, message);
    if (code == QLatin1String("bad-value"))
        return fail(BadValue, message);
    if (code == QLatin1String("refused"))
        return fail(Refused, message);
    if (code == QLatin1String("busy"))
        return fail(NoPanel, message);
    if (code == QLatin1String("wrong-model"))
        return fail(BadPreset, message);
    return fail(Usage, message);
}

int run(QStringList args)
{
    // --json may stand anywhere; "list --json" and "watch --json" read as before.
    jsonOutput = args.removeAll(QStringLiteral("--json")) > 0;
    const bool json = jsonOutput;
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out(QString::fromLatin1(kUsage).trimmed());
        return Done;
    }
    if (args.contains(QLatin1String("--version"))) {
        out(QStringLiteral("orvelinctl " ORVELIN_VERSION));
        return Done;
    }
    if (args.isEmpty())
        return usage(QStringLiteral("no command given"));
    const QString command = args[0];
    static const QStringList commands { "status", "list", "get", "set", "watch", "preset", "remote" };
    if (!commands.contains(command))
        return usage(QStringLiteral("unknown command \"%1\"").arg(command));
    const bool shapeOk
        = ((command == QLatin1String("status") || command == QLatin1String("list") || command == QLatin1String("watch"))
              && args.size() == 1)
        || (command == QLatin1String("get") && args.size() == 2)
        || (command == QLatin1String("set") && args.size() >= 3 && args.size() % 2 == 1)
        || (command == QLatin1String("remote")
            && (args.size() == 1 || (args.size() == 2 && QStringList { "on", "off", "new-code" }.contains(args[1]))))
        || (command == QLatin1String("preset") && args.size() == 3
            && (args[1] == QLatin1String("save") || args[1] == QLatin1String("load")));
    if (!shapeOk)
        return usage(command == QLatin1String("set") ? QStringLiteral("set takes NAME VALUE pairs")
                                                     : QStringLiteral("wrong arguments for %1").arg(command));
    // A blank or a line break would split a word or start a second request on the channel.
    const auto plainWord = [](const QString &word) {
        return !word.isEmpty() && std::none_of(word.begin(), word.end(), [](QChar c) {
            return c.isSpace() || c.category() == QChar::Other_Control;
        });
    };
    if (command == QLatin1String("get") && !plainWord(args[1]))
        return fail(UnknownControl, QStringLiteral("there is no control named \"%1\"").arg(args[1]));
    if (command == QLatin1String("set"))
        for (int i = 1; i < args.size(); ++i)
            if (!plainWord(args[i]))
                return i % 2 == 1
                    ? fail(UnknownControl, QStringLiteral("there is no control named \"%1\"").arg(args[i]))
                    : fail(BadValue, QStringLiteral("\"%1\" is not a value for %2").arg(args[i], args[i - 1]));

    Preset preset;
    if (command == QLatin1String("preset") && args[1] == QLatin1String("load")) {
        QString why;
        if (!preset.read(args[2], why))
            return fail(BadPreset, why);
    }

    ControlClient client;
    if (!client.connectToPanel())
        return fail(NoPanel,
            client.refusedServer() ? QStringLiteral("the control channel is served by another user's program")
                                   : QStringLiteral("no running panel to talk to"));

    if (command == QLatin1String("status")) {
        const QJsonObject reply = client.request(QStringLiteral("status"));
        if (!reply.value("ok").toBool())
            return failed(reply);
        if (json && reply.value("connected").toBool()) {
            outJson(reply);
            return Done;
        }
        if (!reply.value("connected").toBool()) {
            if (json)
                return fail(NoDevice, QStringLiteral("no device is connected"));
            out(QStringLiteral("connected: no"));
            return fail(NoDevice, QStringLiteral("no device is connected"));
        }
        out(QStringLiteral("model: %1").arg(reply.value("model").toString()));
        out(QStringLiteral("firmware: %1").arg(reply.value("firmware").toString()));
        out(QStringLiteral("sample rate: %1")
                .arg(reply.contains("sampleRate") ? QString::number(reply.value("sampleRate").toInt())
                                                  : QStringLiteral("unknown")));
        out(QStringLiteral("connected: yes"));
        return Done;
    }
    if (command == QLatin1String("remote")) {
        // The page's address as the Remote Control window shows it, or "off".
        const QJsonObject reply = client.request(args.join(QLatin1Char(' ')));
        if (!reply.value("ok").toBool())
            return failed(reply);
        if (json)
            outJson(reply);
        else
            out(reply.value("on").toBool() ? reply.value("address").toString() : QStringLiteral("off"));
        return Done;
    }
    if (command == QLatin1String("list")) {
        const QJsonObject reply = client.request(QStringLiteral("list"));
        if (!reply.value("ok").toBool())
            return failed(reply);
        const QJsonArray controls = reply.value("controls").toArray();
        if (json) {
            out(QString::fromUtf8(QJsonDocument(controls).toJson(QJsonDocument::Compact)));
            return Done;
        }
        for (const QJsonValue &value : controls) {
            const QJsonObject c = value.toObject();
            const QString range = c.value("kind").toString() == QLatin1String("knob")
                ? QStringLiteral("%1..%2").arg(c.value("min").toInt()).arg(c.value("max").toInt())
                : QStringLiteral("on/off");
            out(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                    .arg(c.value("name").toString(), c.value("label").toString(), c.value("kind").toString(), range,
                        c.value("value").toString()));
        }
        return Done;
    }
    if (command == QLatin1String("get")) {
        const QJsonObject reply = client.request(QStringLiteral("get ") + args[1]);
        if (!reply.value("ok").toBool())
            return failed(reply);
        if (json)
            outJson(reply);
        else
            out(reply.value("value").toString());
        return Done;
    }
    if (command == QLatin1String("set")) {
        const QJsonObject reply = client.request(args.join(QLatin1Char(' ')));
        if (!reply.value("ok").toBool())
            return failed(reply);
        if (json)
            outJson(reply);
        return Done;
    }
    if (command == QLatin1String("watch")) {
        const QJsonObject reply = client.request(QStringLiteral("watch"));
        if (!reply.value("ok").toBool())
            return failed(reply);
        // First the whole present state, one control a line, then each change as it happens.
        for (const QJsonValue &value : reply.value("controls").toArray()) {
            const QJsonObject control = value.toObject();
            if (json)
                outJson(QJsonObject {
                    { "event", "current" }, { "name", control.value("name") }, { "value", control.value("value") } });
            else
                out(QStringLiteral("%1 %2").arg(control.value("name").toString(), control.value("value").toString()));
        }
        QByteArray line;
        while (client.readLine(line)) {
            if (json) {
                out(QString::fromUtf8(line));
                continue;
            }
            const QJsonObject event = QJsonDocument::fromJson(line).object();
            const QString kind = event.value("event").toString();
            if (kind == QLatin1String("changed"))
                out(QStringLiteral("%1 %2").arg(event.value("name").toString(), event.value("value").toString()));
            else if (kind == QLatin1String("device-back"))
                out(QStringLiteral("device-back %1").arg(event.value("model").toString()));
            else if (!kind.isEmpty())
                out(kind);
        }
        return fail(NoPanel, QStringLiteral("the panel closed the connection"));
    }
    // preset
    if (args[1] == QLatin1String("save")) {
        const QJsonObject reply = client.request(QStringLiteral("dump"));
        if (!reply.value("ok").toBool())
            return failed(reply);
        QString why;
        if (!Preset::write(args[2], reply.value("model").toString(), reply.value("values").toObject(), why))
            return fail(BadPreset, why);
        if (json)
            outJson(QJsonObject { { "ok", true } });
        return Done;
    }
    // Only the keys the panel stores travel; the others are reported here, so a preset full of
    // foreign keys cannot make the request line too long.
    const QJsonObject stored = client.request(QStringLiteral("dump"));
    if (!stored.value("ok").toBool())
        return failed(stored);
    const QJsonObject known = stored.value("values").toObject();
    QStringList words { QStringLiteral("load"),
        QString(preset.model).replace(QLatin1String(" "), QLatin1String("%20")) };
    for (const auto &pair : preset.values) {
        if (!known.contains(pair.first)) {
            platform::writeConsoleText(stderr, "orvelinctl: ignored unknown key " + pair.first.toStdString() + "\n");
            continue;
        }
        words << pair.first << (plainWord(pair.second) ? pair.second : QStringLiteral("?"));
    }
    const QJsonObject reply = client.request(words.join(QLatin1Char(' ')));
    if (!reply.value("ok").toBool() && reply.value("error").toString() == QLatin1String("bad-value"))
        return fail(BadPreset, reply.value("message").toString());
    for (const QJsonValue &key : reply.value("unknown").toArray())
        platform::writeConsoleText(stderr, "orvelinctl: ignored unknown key " + key.toString().toStdString() + "\n");
    if (!reply.value("ok").toBool())
        return failed(reply);
    if (json)
        outJson(reply);
    return Done;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();
    return run(args);
}
