#pragma once

#include "emulator/Emulator.h"
#include "panels/ka1.h"
#include "panels/ka2.h"
#include "panels/ka2se.h"
#include "panels/kv.h"
#include "tests/support/ControlCodes.h"
#include "tests/support/RequestTable.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QSettings>
#include <QStringList>
#include <QTest>
#include <QTranslator>
#include <QWidget>

#include <cstring>
#include <initializer_list>
#include <memory>

// Offsets of mixer-block cells and the values they hold.
using Cells = QMap<int, double>;

// A private settings folder and runtime folder with an emulated device of one model, plus the
// readings a panel test needs: what the device received, cells of a block, the panel's INI file.
class PanelRig
{
public:
    static constexpr std::uint32_t kVendorCode = Code::SendVendorCommand;
    static constexpr std::uint32_t kBlockCode = Code::WriteMixerState;
    static constexpr std::uint32_t kMeterCode = Code::ReadMeters;

    explicit PanelRig(std::uint32_t model, bool plugged = true)
        : emulator(env.runtimeDir().toStdString(), model)
    {
        if (plugged)
            emulator.start();
    }

    // Everything the device received but the meter reads (their number depends on timing).
    // A vendor packet reads "vendor" and its first 7 bytes in hex, a mixer block "block".
    QStringList sent() const
    {
        QStringList lines;
        for (const emu::RequestRecord &r : emulator.requests())
            if (r.code != kMeterCode)
                lines << describe(r);
        return lines;
    }

    std::vector<std::vector<std::uint8_t>> blocks() const
    {
        std::vector<std::vector<std::uint8_t>> all;
        for (const emu::RequestRecord &r : emulator.requests())
            if (r.code == kBlockCode)
                all.push_back(r.input);
        return all;
    }

    static double cell(const std::vector<std::uint8_t> &block, std::size_t offset)
    {
        double value = -1.0;
        if (offset + 8 <= block.size())
            std::memcpy(&value, block.data() + offset, 8); // the test host is little-endian
        return value;
    }
    double lastCell(std::size_t offset) const { return cell(emulator.state().mixerBlock, offset); }

    // The emulated device code of a model, by the name of its panel class ("ka1", "ka2", "ka2se", "kv").
    static std::uint32_t deviceCode(const QString &model)
    {
        if (model == QLatin1String("ka1"))
            return 1;
        if (model == QLatin1String("ka2"))
            return 2;
        if (model == QLatin1String("ka2se"))
            return 18;
        if (model == QLatin1String("kv"))
            return 15;
        return 0; // no such model
    }
    // The panel of a model, by the name of its class.
    static std::unique_ptr<QWidget> makePanel(const QString &model)
    {
        if (model == QLatin1String("ka1"))
            return std::make_unique<ka1>();
        if (model == QLatin1String("ka2"))
            return std::make_unique<ka2>();
        if (model == QLatin1String("ka2se"))
            return std::make_unique<ka2se>();
        return std::make_unique<kv>();
    }
    // A "model" column of a data-driven test, one row per panel name.
    static void addModelRows(std::initializer_list<const char *> models)
    {
        QTest::addColumn<QString>("model");
        for (const char *model : models)
            QTest::newRow(model) << QString::fromLatin1(model);
    }
    // The panel's settings file, "/NAME.ini", as iniPath, stored and store take it.
    static QString iniName(const QString &model) { return QLatin1Char('/') + model + QStringLiteral(".ini"); }
    // A panel's child control of that object name.
    template <typename T> static T *child(QWidget &panel, const char *name)
    {
        return panel.findChild<T *>(QLatin1String(name));
    }

    QString iniPath(const QString &name) const { return env.appDataDir() + name; }
    // Values as stored in the file, read by a fresh reader.
    QString stored(const QString &name, const QString &key) const
    {
        return QSettings(iniPath(name), QSettings::IniFormat).value(key).toString();
    }
    void store(const QString &name, const QVariantMap &values) const
    {
        QDir().mkpath(env.appDataDir());
        QSettings settings(iniPath(name), QSettings::IniFormat);
        for (auto it = values.begin(); it != values.end(); ++it)
            settings.setValue(it.key(), it.value());
    }

    static QString describe(const emu::RequestRecord &r)
    {
        const QString setting = testsupport::describeSetting(
            r.code, QByteArray(reinterpret_cast<const char *>(r.input.data()), static_cast<int>(r.input.size())));
        return setting.isEmpty() ? QString::number(r.code, 16) : setting;
    }

    // Marks every text with the context it was translated in.
    class ContextTranslator : public QTranslator
    {
    public:
        QString translate(const char *context, const char *source, const char *, int) const override
        {
            return QString::fromLatin1(context) + QLatin1Char(':') + QString::fromUtf8(source);
        }
        bool isEmpty() const override { return false; }
    };

    testsupport::IsolatedEnvironment env;
    emu::Emulator emulator;
};
