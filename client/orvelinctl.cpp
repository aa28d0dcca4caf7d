// orvelinctl: drives the running panel over its control channel.

#include "client/ControlClient.h"
#include "client/Preset.h"
#include "platform/ConsoleText.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

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
    BadPreset = 7,
    Busy = 8
};

// The error codes of --json, by exit code.
const char *const kErrorNames[]
    = { "done", "usage", "no-panel", "no-device", "unknown-control", "bad-value", "refused", "bad-preset", "busy" };

const char *const kExitCodes = "Exit codes: 0 done, 1 usage, 2 no panel running, 3 no device connected, 4 unknown "
                               "control,\n5 bad value, 6 refused by the device, 7 a preset that does not fit or cannot "
                               "be read or written,\n8 the panel is busy (16 clients are connected).";

const char *const kValues
    = "Knobs take and show the numbers the panel paints (a gain painted \"21dB\" is 21, -20dB is -20),\n"
      "or a step: 2dB+ and 2dB- (+2 and -2 on a knob without a unit), stopping at the range's end.\n"
      "Switches take on/off, yes/no, true/false, 1/0 or toggle; a mute switch also mute/unmute.";

// A value longer than any control's is no value; it would only make the request line long.
constexpr int kLongestValue = 64;

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

void note(const QString &text)
{
    platform::writeConsoleText(stderr, "orvelinctl: " + text.toStdString() + "\n");
}

// Errors are capitalised sentences without a full stop, as the panel's own.
int fail(int code, const QString &message, const QString &error = QString())
{
    if (jsonOutput) {
        const QJsonObject object { { "ok", false },
            { "error", error.isEmpty() ? QString::fromLatin1(kErrorNames[code]) : error }, { "message", message },
            { "exit", code } };
        platform::writeConsoleText(stderr, QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() + "\n");
    } else {
        note(message);
    }
    return code;
}

// An error reply to its exit code and message.
int failed(const QJsonObject &reply)
{
    if (reply.isEmpty())
        return fail(NoPanel, QStringLiteral("The panel closed the connection"));
    static const QHash<QString, int> codes { { "no-device", NoDevice }, { "unknown-control", UnknownControl },
        { "bad-value", BadValue }, { "refused", Refused }, { "busy", Busy }, { "wrong-model", BadPreset } };
    const QString error = reply.value("error").toString();
    return fail(codes.value(error, Usage), reply.value("message").toString(), error);
}

// A value as text: a knob's number, a switch's on or off.
QString valueText(const QJsonValue &value)
{
    return value.isDouble() ? QString::number(value.toInt()) : value.toString();
}

// A blank or a line break would split a word or start a second request on the channel.
bool plainWord(const QString &word)
{
    return !word.isEmpty() && std::none_of(word.begin(), word.end(), [](QChar c) {
        return c.isSpace() || c.category() == QChar::Other_Control;
    });
}

// Asks the panel and hands an ok reply on; an error reply ends the command with its exit code.
bool ask(ControlClient &client, const QString &request, QJsonObject &reply, int &code)
{
    reply = client.request(request);
    if (reply.value("ok").toBool())
        return true;
    code = failed(reply);
    return false;
}

int status(ControlClient &client, const QStringList &)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("status"), reply, code))
        return code;
    const bool connected = reply.value("connected").toBool();
    if (jsonOutput) {
        outJson(reply);
    } else if (connected) {
        out(QStringLiteral("model: %1").arg(reply.value("model").toString()));
        out(QStringLiteral("firmware: %1").arg(reply.value("firmware").toString()));
        out(QStringLiteral("sample rate: %1")
                .arg(reply.contains("sampleRate") ? QString::number(reply.value("sampleRate").toInt())
                                                  : QStringLiteral("unknown")));
        out(QStringLiteral("connected: yes"));
    } else {
        out(QStringLiteral("connected: no"));
    }
    return connected ? Done : fail(NoDevice, QStringLiteral("No device is connected"));
}

int list(ControlClient &client, const QStringList &)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("list"), reply, code))
        return code;
    if (jsonOutput) {
        outJson(reply);
        return Done;
    }
    for (const QJsonValue &value : reply.value("controls").toArray()) {
        const QJsonObject c = value.toObject();
        const QString range = c.value("kind").toString() == QLatin1String("knob")
            ? QStringLiteral("%1..%2").arg(c.value("min").toInt()).arg(c.value("max").toInt())
            : QStringLiteral("on/off");
        out(QStringLiteral("%1\t%2\t%3\t%4\t%5")
                .arg(c.value("name").toString(), c.value("label").toString(), c.value("kind").toString(), range,
                    valueText(c.value("value"))));
    }
    return Done;
}

int get(ControlClient &client, const QStringList &words)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("get ") + words[0], reply, code))
        return code;
    if (jsonOutput)
        outJson(reply);
    else
        out(valueText(reply.value("value")));
    return Done;
}

int set(ControlClient &client, const QStringList &words)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("set ") + words.join(QLatin1Char(' ')), reply, code))
        return code;
    // What was set and where it now stands, as amixer prints the new state.
    if (jsonOutput)
        outJson(reply);
    else
        for (const QJsonValue &value : reply.value("controls").toArray())
            out(QStringLiteral("%1 %2").arg(
                value.toObject().value("name").toString(), valueText(value.toObject().value("value"))));
    return Done;
}

int watch(ControlClient &client, const QStringList &)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("watch"), reply, code))
        return code;
    // First the whole present state, one control a line, then each change as it happens.
    for (const QJsonValue &value : reply.value("controls").toArray()) {
        const QJsonObject control = value.toObject();
        if (jsonOutput)
            outJson(QJsonObject {
                { "event", "current" }, { "name", control.value("name") }, { "value", control.value("value") } });
        else
            out(QStringLiteral("%1 %2").arg(control.value("name").toString(), valueText(control.value("value"))));
    }
    QByteArray line;
    while (client.readLine(line)) {
        if (jsonOutput) {
            out(QString::fromUtf8(line));
            continue;
        }
        const QJsonObject event = QJsonDocument::fromJson(line).object();
        const QString kind = event.value("event").toString();
        if (kind == QLatin1String("changed"))
            out(QStringLiteral("%1 %2").arg(event.value("name").toString(), valueText(event.value("value"))));
        else if (kind == QLatin1String("device-back"))
            out(QStringLiteral("device-back %1").arg(event.value("model").toString()));
        else if (!kind.isEmpty())
            out(kind);
    }
    return fail(NoPanel, QStringLiteral("The panel closed the connection"));
}

int presetSave(ControlClient &client, const QStringList &words)
{
    QJsonObject reply;
    int code = Done;
    if (!ask(client, QStringLiteral("dump"), reply, code))
        return code;
    QString why;
    const QString model = reply.value("model").toString();
    if (!Preset::write(words[0], model, reply.value("values").toObject(), why))
        return fail(BadPreset, why);
    if (jsonOutput)
        outJson(QJsonObject { { "ok", true }, { "model", model }, { "file", words[0] } });
    return Done;
}

int presetLoad(ControlClient &client, const QStringList &words)
{
    Preset preset;
    QString why;
    if (!preset.read(words[0], why))
        return fail(BadPreset, why);
    // Only the keys the panel stores travel; the others are reported here, so a preset full of
    // foreign keys cannot make the request line too long.
    QJsonObject stored;
    int code = Done;
    if (!ask(client, QStringLiteral("dump"), stored, code))
        return code;
    const QJsonObject known = stored.value("values").toObject();
    QStringList request { QStringLiteral("load"),
        QString(preset.model).replace(QLatin1String(" "), QLatin1String("%20")) };
    QStringList unknown;
    for (const auto &[key, value] : preset.values) {
        if (!known.contains(key)) {
            unknown << key;
            continue;
        }
        if (value.size() > kLongestValue || !plainWord(value))
            return fail(BadPreset,
                QStringLiteral("The preset's %1 holds no value a control takes (\"%2\")")
                    .arg(key, value.size() > 20 ? value.left(20) + QStringLiteral("...") : value));
        request << key << value;
    }
    if (!plainWord(request[1]) || request.join(QLatin1Char(' ')).size() >= 4096)
        return fail(BadPreset, QStringLiteral("The preset's model \"%1\" is no model").arg(preset.model.left(20)));
    const QJsonObject reply = client.request(request.join(QLatin1Char(' ')));
    for (const QJsonValue &key : reply.value("unknown").toArray())
        unknown << key.toString();
    for (const QString &key : unknown)
        note(QStringLiteral("Ignored unknown key %1").arg(key));
    // Whatever does not fit in the preset is a bad preset; a device refusing it is not.
    const QString error = reply.value("error").toString();
    if (error == QLatin1String("bad-value") || error == QLatin1String("line-too-long"))
        return fail(BadPreset, reply.value("message").toString(), error);
    if (!reply.value("ok").toBool())
        return failed(reply);
    if (jsonOutput) {
        QJsonObject done = reply;
        done.insert("unknown", QJsonArray::fromStringList(unknown));
        outJson(done);
    }
    return Done;
}

// The web remote's page address as its window shows it, or "off"; on, off and new-code do what
// the window does.
int remote(ControlClient &client, const QStringList &words)
{
    if (!words.isEmpty() && !QStringList { "on", "off", "new-code" }.contains(words[0]))
        return fail(Usage, QStringLiteral("remote takes on, off or new-code, not \"%1\"").arg(words[0]));
    QJsonObject reply;
    int code = Done;
    if (!ask(client, (QStringList { QStringLiteral("remote") } + words).join(QLatin1Char(' ')), reply, code))
        return code;
    if (jsonOutput)
        outJson(reply);
    else
        out(reply.value("on").toBool() ? reply.value("address").toString() : QStringLiteral("off"));
    return Done;
}

struct Command
{
    QStringList name; // "preset", "save"
    QString arguments; // as --help shows them
    QString summary;
    int least; // words after the name
    int most; // -1: any number of pairs
    int (*run)(ControlClient &, const QStringList &);
};

const std::vector<Command> &commands()
{
    static const std::vector<Command> table {
        { { "status" }, "", "model, firmware, sample rate, connected or not", 0, 0, status },
        { { "list" }, "", "name, label, kind, range and value of every control", 0, 0, list },
        { { "get" }, "NAME", "the value alone, e.g. on or -10", 1, 1, get },
        { { "set" }, "NAME VALUE [NAME VALUE ...]", "sets each and prints where it now stands", 2, -1, set },
        { { "watch" }, "", "each control's value, then each change as it comes", 0, 0, watch },
        { { "preset", "save" }, "FILE", "the panel's values into FILE (its folder must exist)", 1, 1, presetSave },
        { { "preset", "load" }, "FILE", "the values of FILE back, checked whole first", 1, 1, presetLoad },
        { { "remote" }, "[on|off|new-code]", "the web remote's page address, or off; turns it on or off", 0, 1,
            remote },
    };
    return table;
}

QString commandLine(const Command &command)
{
    return (command.name + QStringList { command.arguments }).join(QLatin1Char(' ')).trimmed();
}

QString commandsText()
{
    QStringList lines { QStringLiteral("Commands:") };
    for (const Command &command : commands())
        lines << QStringLiteral("  %1  %2").arg(commandLine(command), -34).arg(command.summary);
    return lines.join(QLatin1Char('\n'));
}

// A usage error says what was wrong, then how the commands go.
int usage(const QString &what)
{
    return fail(Usage, jsonOutput ? what : what + QLatin1Char('\n') + commandsText());
}

int run(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads and changes the controls of the running Orvelin panel."));
    // Options stand before the command, so a value such as -20 stays a value; --json may follow.
    parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Replies and errors as JSON objects."));
    parser.addOption(json);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"), QStringLiteral("One of the commands below."), QStringLiteral("COMMAND [ARGUMENTS]"));
    const bool parsed = parser.parse(arguments);
    QStringList words = parser.positionalArguments();
    jsonOutput = parser.isSet(json) || words.removeAll(QStringLiteral("--json")) > 0;
    if (!parsed) {
        QString what = parser.errorText();
        if (what.endsWith(QLatin1Char('.')))
            what.chop(1);
        return usage(what);
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        // The program's name, not the path it was started by.
        QString text = parser.helpText();
        text.replace(
            0, text.indexOf(QLatin1Char('\n')), QStringLiteral("Usage: orvelinctl [options] COMMAND [ARGUMENTS]"));
        out(text + QLatin1Char('\n') + commandsText() + QStringLiteral("\n\n") + QLatin1String(kValues)
            + QStringLiteral("\n\n") + QLatin1String(kExitCodes));
        return Done;
    }
    if (parser.isSet(version)) {
        if (jsonOutput)
            outJson(QJsonObject { { "ok", true }, { "version", QStringLiteral(ORVELIN_VERSION) } });
        else
            out(QStringLiteral("orvelinctl " ORVELIN_VERSION));
        return Done;
    }
    if (words.isEmpty())
        return usage(QStringLiteral("No command given"));
    const auto found = std::find_if(commands().begin(), commands().end(),
        [&words](const Command &command) { return words.mid(0, command.name.size()) == command.name; });
    if (found == commands().end())
        return usage(QStringLiteral("Unknown command \"%1\"").arg(words.mid(0, 2).join(QLatin1Char(' '))));
    const Command &command = *found;
    words = words.mid(command.name.size());
    const int count = int(words.size());
    if (count < command.least || (command.most >= 0 && count > command.most) || (command.most < 0 && count % 2 != 0))
        return usage(QStringLiteral("Usage: orvelinctl %1").arg(commandLine(command)));
    const auto option = std::find_if(words.begin(), words.end(), [](const QString &w) { return w.startsWith("--"); });
    if (option != words.end())
        return usage(QStringLiteral("Unknown option \"%1\"").arg(*option));
    // Names and values go on the request line as words.
    if (command.run == get || command.run == set)
        for (int i = 0; i < count; ++i)
            if (!plainWord(words[i]))
                return i % 2 == 0
                    ? fail(UnknownControl, QStringLiteral("There is no control named \"%1\"").arg(words[i]))
                    : fail(BadValue,
                        QStringLiteral("The value \"%1\" of %2 holds a blank or a line break")
                            .arg(words[i], words[i - 1]));

    ControlClient client;
    if (!client.connectToPanel())
        return fail(NoPanel,
            client.refusedServer() ? QStringLiteral("The control channel is served by another user's program")
                                   : QStringLiteral("No running panel to talk to"));
    return command.run(client, words);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationVersion(QStringLiteral(ORVELIN_VERSION));
    return run(QCoreApplication::arguments());
}
