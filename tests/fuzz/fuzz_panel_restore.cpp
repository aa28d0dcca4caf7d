// A panel built over an INI file of arbitrary bytes, against the in-process emulated device.
// Whatever the file holds, the panel restores what a reader of the same file sees (bounded to
// each knob's range, a value that does not read as a switch or an integer giving the key's default), writes back a file
// that parses with every key in range, sends the gain it shows, and keeps a damaged file's bytes aside.
#include "emulator/Emulator.h"
#include "panels/ControlTable.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "panels/ka2se.h"
#include "panels/kv.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Key
{
    const char *name;
    bool isSwitch;
    int minimum;
    int maximum;
    int fallback;
};

Key switchKey(const char *name)
{
    return Key { name, true, 0, 1, 0 };
}

Key knobKey(const char *name, int minimum, int maximum, int fallback)
{
    return Key { name, false, minimum, maximum, fallback };
}

// A panel as built, and the control table it restores through.
struct Built
{
    QWidget *panel;
    const ControlTable *controls;
};

template <typename Panel> Built build()
{
    auto *panel = new Panel;
    return Built { panel, &panel->controls() };
}

struct PanelKind
{
    const char *fileName;
    std::uint32_t model;
    std::vector<Key> keys;
    std::vector<const char *> micKeys; // gain knobs of input 1 (and 2), sent as twice the value
    Built (*create)();
};

// The keys of the KA2 and the KA2 SE, the latter's instrument switches first.
std::vector<Key> dualInputKeys(std::initializer_list<const char *> instrumentSwitches = {})
{
    std::vector<Key> keys;
    for (const char *name : instrumentSwitches)
        keys.push_back(switchKey(name));
    keys.insert(keys.end(),
        { switchKey("Button/Mic120dBIsChecked"), switchKey("Button/Mic148VIsChecked"),
            switchKey("Button/MonitorMic1IsChecked"), knobKey("Dial/Mic1Value", 0, 56, 0),
            knobKey("Dial/Mic2Value", 0, 56, 0), switchKey("Button/Mic220dBIsChecked"),
            switchKey("Button/Mic248VIsChecked"), switchKey("Button/MonitorMic2IsChecked"),
            knobKey("Dial/SpeakerValue", -80, 6, -80), switchKey("Button/SpeakerMuteIsChecked"),
            switchKey("Button/SpeakerDimIsChecked"), knobKey("Dial/HeadphoneValue", -80, 6, -80),
            switchKey("Button/HeadphoneMuteIsChecked"), switchKey("Button/HeadphoneSourceIsChecked"),
            knobKey("Dial/OtgToHpValue", -80, 6, 0), knobKey("Dial/OtgToSPValue", -80, 6, 0) });
    return keys;
}

// The stored keys of each panel with their ranges and defaults, written out here rather than taken
// from the panels' control tables: the users' INI files hold these keys, and the fuzzing checks the
// panels' tables against them, which it could not do reading them from the tables. That each
// panel still stores exactly these keys is checked on every input.
const std::vector<PanelKind> &panelKinds()
{
    static const std::vector<PanelKind> kinds = {
        { "/ka1.ini", 1,
            { switchKey("Button/MicInstrIsChecked"), switchKey("Button/Mic20dBIsChecked"),
                switchKey("Button/Mic48VIsChecked"), switchKey("Button/MonitorMicIsChecked"),
                knobKey("Dial/MicValue", 0, 42, 0), knobKey("Dial/HeadphoneValue", -80, 6, -80),
                switchKey("Button/HeadphoneMuteIsChecked"), switchKey("Button/HeadphoneDimIsChecked"),
                knobKey("Dial/OtgToHpValue", -80, 6, 0) },
            { "Dial/MicValue" }, build<ka1> },
        { "/kv.ini", 15,
            { switchKey("Button/MonitorMicIsChecked"), knobKey("Dial/MicValue", 0, 42, 0),
                knobKey("Dial/HeadphoneValue", -80, 6, -80), switchKey("Button/HeadphoneMuteIsChecked"),
                switchKey("Button/HeadphoneDimIsChecked") },
            { "Dial/MicValue" }, build<kv> },
        { "/ka2.ini", 2, dualInputKeys(), { "Dial/Mic1Value", "Dial/Mic2Value" }, build<ka2> },
        { "/ka2se.ini", 18, dualInputKeys({ "Button/Mic1InstrIsChecked", "Button/Mic2InstrIsChecked" }),
            { "Dial/Mic1Value", "Dial/Mic2Value" }, build<ka2se> },
    };
    return kinds;
}

// What the control should hold after restoring: a switch as 0 or 1, a knob bounded to its range.
int expectedValue(const QSettings &file, const Key &key)
{
    const QString name = QString::fromLatin1(key.name);
    const QVariant stored = file.value(name);
    // A list or another variant type in the file reads as no text at all.
    const bool plain = stored.typeId() == QMetaType::QString || stored.typeId() == QMetaType::Bool
        || stored.typeId() == QMetaType::Int || stored.typeId() == QMetaType::UInt
        || stored.typeId() == QMetaType::LongLong || stored.typeId() == QMetaType::ULongLong;
    const QString text = plain ? stored.toString() : QString();
    bool ok = false;
    if (key.isSwitch) {
        if (!stored.isValid())
            return 0;
        if (text.toLower() == QLatin1String("true"))
            return 1;
        const qlonglong number = text.toLongLong(&ok);
        return ok && number != 0 ? 1 : 0;
    }
    const int number = text.toInt(&ok);
    return std::clamp(ok ? number : key.fallback, key.minimum, key.maximum);
}

// The value as the panel wrote it back: strictly "true"/"false" or an integer in range.
bool writtenValue(const QSettings &file, const Key &key, int &value)
{
    const QVariant stored = file.value(QString::fromLatin1(key.name));
    if (!stored.isValid())
        return false;
    const QString text = stored.toString();
    if (key.isSwitch) {
        if (text != QLatin1String("true") && text != QLatin1String("false"))
            return false;
        value = text == QLatin1String("true") ? 1 : 0;
        return true;
    }
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= key.minimum && value <= key.maximum;
}

// Whether the panel stores exactly the keys of its kind, so a control added to a panel cannot go
// unfuzzed.
bool storesTheseKeys(const PanelKind &kind, const ControlTable &controls)
{
    std::vector<std::string> stored, listed;
    for (const ControlTable::Row &row : controls.rows())
        stored.emplace_back(row.key);
    for (const Key &key : kind.keys)
        listed.emplace_back(key.name);
    std::sort(stored.begin(), stored.end());
    std::sort(listed.begin(), listed.end());
    return stored == listed;
}

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

std::unique_ptr<testsupport::IsolatedEnvironment> environment;
std::unique_ptr<emu::Emulator> device;
QString dataRoot;
int iteration = 0;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_panel_restore";
    static char *argv[] = { name, nullptr };
    new QApplication(argc, argv);
    qInstallMessageHandler(discard);
    environment = std::make_unique<testsupport::IsolatedEnvironment>();
    dataRoot = environment->root() + QStringLiteral("/data");
    device = std::make_unique<emu::Emulator>(environment->runtimeDir().toStdString(), 2);
    device->setRecording(false);
    require(device->start());
    return 0;
}

// Byte 0 picks the panel; the rest is the INI file.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    const PanelKind &kind = panelKinds()[data[0] % panelKinds().size()];
    const QByteArray content(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));

    // A fresh folder each time, so no cached reading of an earlier file can answer.
    const QString home = dataRoot + QStringLiteral("/%1").arg(++iteration);
    qputenv("XDG_DATA_HOME", QFile::encodeName(home));
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    require(QDir().mkpath(folder));
    const QString path = folder + QString::fromLatin1(kind.fileName);
    {
        QFile file(path);
        require(file.open(QFile::WriteOnly));
        require(file.write(content) == content.size());
    }

    std::vector<int> expected;
    {
        const QSettings before(path, QSettings::IniFormat);
        // Qt parses an INI section only when a key below it is asked for, unless all keys are
        // listed first; the panel lists them when it checks the file, so every section counts.
        before.allKeys();
        for (const Key &key : kind.keys)
            expected.push_back(expectedValue(before, key));
    }

    const Built built = kind.create();
    require(storesTheseKeys(kind, *built.controls));
    delete built.panel;

    // Read from a copy, so the file itself is parsed again rather than a cached reading of it.
    const QString copy = path + QStringLiteral(".written");
    require(QFile::copy(path, copy));
    const QSettings after(copy, QSettings::IniFormat);
    require(after.status() == QSettings::NoError);
    for (std::size_t i = 0; i < kind.keys.size(); ++i) {
        int value = 0;
        require(writtenValue(after, kind.keys[i], value));
        require(value == expected[i]);
    }
    const emu::DeviceState state = device->state();
    for (std::size_t input = 0; input < kind.micKeys.size(); ++input)
        require(state.micGain[input] == 2 * after.value(QString::fromLatin1(kind.micKeys[input])).toInt());

    QFile damaged(path + QStringLiteral(".damaged"));
    if (damaged.exists()) {
        require(damaged.open(QFile::ReadOnly));
        require(damaged.readAll() == content);
    }
    QDir(home).removeRecursively();
    return 0;
}
