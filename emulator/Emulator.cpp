#include "emulator/Emulator.h"

#include "emulator/DeviceTransport.h"
#include "emulator/HexBytes.h"
#include "platform/LittleEndian.h"

#include <cstdio>
#include <map>
#include <sstream>

namespace emu {

namespace {

std::string codeText(std::uint32_t code)
{
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", code);
    return text;
}

std::string jsonString(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof(escaped), "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

} // namespace

bool parseFaultMode(const std::string &word, FaultMode &mode)
{
    static const std::map<std::string, FaultMode> words
        = { { "off", FaultMode::Off }, { "refuse", FaultMode::Refuse }, { "silent", FaultMode::Silent },
              { "short", FaultMode::Short }, { "close", FaultMode::Close }, { "partial", FaultMode::Partial } };
    const auto found = words.find(word);
    if (found == words.end())
        return false;
    mode = found->second;
    return true;
}

std::string toJson(const RequestRecord &record)
{
    std::ostringstream line;
    line << "{\"connection\":" << record.connection << ",\"code\":\"" << codeText(record.code) << "\",\"input\":\""
         << hexBytes(record.input) << "\",\"output\":" << record.outputLength << ",\"result\":\"" << record.result
         << "\"}";
    return line.str();
}

std::string toJson(const DeviceState &state)
{
    std::ostringstream out;
    out.precision(17);
    out << "{\"plugged\":" << (state.plugged ? "true" : "false") << ",\"model\":" << state.model
        << ",\"firmware\":" << jsonString(state.firmware) << ",\"sampleRate\":" << state.sampleRate
        << ",\"bufferSize\":" << state.bufferSize << ",\"usbLatency\":" << state.usbLatency
        << ",\"slowMode\":" << (state.slowMode ? "true" : "false")
        << ",\"audioRunning\":" << (state.audioRunning ? "true" : "false")
        << ",\"usbErrorCount\":" << state.usbErrorCount << ",\"firmwareUpgrades\":" << state.firmwareUpgrades;
    auto list = [&](const char *name, auto &values, std::size_t n) {
        out << ",\"" << name << "\":[";
        for (std::size_t i = 0; i < n; ++i)
            out << (i ? "," : "") << values[i];
        out << "]";
    };
    int micGain[2] = { state.micGain[0], state.micGain[1] };
    int pad[2] = { state.pad[0], state.pad[1] };
    int phantom[2] = { state.phantom[0], state.phantom[1] };
    int instrument[2] = { state.instrument[0], state.instrument[1] };
    list("micGain", micGain, 2);
    list("pad", pad, 2);
    list("phantom", phantom, 2);
    list("instrument", instrument, 2);
    list("outVolume", state.outVolume, 8);
    list("levels", state.levels, 4);
    // The block's non-zero cells by byte offset: readable, and enough to check any panel.
    out << ",\"mixerBytes\":" << state.mixerBlock.size() << ",\"mixerCells\":{";
    bool first = true;
    for (std::size_t at = 0; at + 8 <= state.mixerBlock.size(); at += 8) {
        const double value = platform::readLeDouble(state.mixerBlock.data() + at);
        if (value == 0.0)
            continue;
        out << (first ? "" : ",") << "\"" << at << "\":" << value;
        first = false;
    }
    out << "}}";
    return out.str();
}

struct Emulator::Impl
{
    Impl(std::string location, std::uint32_t model, EmulatorCore &core)
        : initialModel(model)
        , transport(std::move(location), core)
    { }

    const std::uint32_t initialModel;
    DeviceTransport transport;
};

Emulator::Emulator(std::string runtimeDir, std::uint32_t model)
    : EmulatorCore(model)
    , d(std::make_unique<Impl>(std::move(runtimeDir), model, static_cast<EmulatorCore &>(*this)))
{ }

Emulator::~Emulator()
{
    stop();
}

bool Emulator::start()
{
    return d->transport.start(d->initialModel);
}

void Emulator::stop()
{
    d->transport.stop();
}

void Emulator::plug(std::uint32_t model)
{
    d->transport.plug(model);
}

void Emulator::unplug()
{
    d->transport.unplug();
}

const std::string &Emulator::runtimeDir() const
{
    return d->transport.location();
}

void Emulator::setInterfaceName(const std::string &name)
{
    d->transport.setInterfaceName(name);
}

std::string Emulator::interfacePath() const
{
    return d->transport.interfacePath();
}

} // namespace emu
