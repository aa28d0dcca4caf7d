#include "emulator/EmulatorCore.h"

namespace emu {

EmulatorCore::EmulatorCore(std::uint32_t model)
    : device(model)
{ }

Verdict EmulatorCore::answer(RequestRecord record, bool wellFormed)
{
    Verdict verdict;
    std::function<void(const std::string &)> logTo;
    std::string line;
    {
        std::lock_guard<std::mutex> lock(mutex);
        auto fault = faults.find(record.code);
        if (fault != faults.end()) {
            verdict.mode = fault->second.mode;
            if (fault->second.remaining > 0 && --fault->second.remaining == 0)
                faults.erase(fault);
        }
        if (!wellFormed)
            record.input.clear();
        // A partial answer is the device's own reply, only refused.
        if ((verdict.mode == FaultMode::Off || verdict.mode == FaultMode::Partial) && wellFormed)
            verdict.reply = device.handle(record.code, record.input.data(), record.input.size(), record.outputLength);
        record.ok = verdict.mode == FaultMode::Off && verdict.reply.ok;
        switch (verdict.mode) {
        case FaultMode::Off:
            record.result = verdict.reply.ok ? "ok" : "refused";
            break;
        case FaultMode::Refuse:
            record.result = "refused";
            break;
        case FaultMode::Silent:
            record.result = "silent";
            break;
        case FaultMode::Short:
            record.result = "short";
            break;
        case FaultMode::Close:
            record.result = "closed";
            break;
        case FaultMode::Partial:
            record.result = "partial";
            break;
        }
        logTo = sink;
        if (logTo)
            line = toJson(record);
        if (recording)
            records.push_back(std::move(record));
    }
    // Logged before the answer, so whoever got the answer finds the line already written.
    if (logTo)
        logTo(line);
    return verdict;
}

int EmulatorCore::newConnection()
{
    std::lock_guard<std::mutex> lock(mutex);
    return ++nextConnection;
}

void EmulatorCore::plugged(std::uint32_t model)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.replug(model);
    device.state().plugged = true;
}

void EmulatorCore::unplugged()
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().plugged = false;
}

void EmulatorCore::fail(std::uint32_t code, FaultMode mode, int count)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (mode == FaultMode::Off || count == 0)
        faults.erase(code);
    else
        faults[code] = Fault { mode, count < 0 ? -1 : count };
}

void EmulatorCore::setUsbErrorCount(std::uint32_t count)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().usbErrorCount = count;
}

void EmulatorCore::setLevel(int index, std::int32_t value)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.pinLevel(index, value);
}

void EmulatorCore::unpinLevel(int index)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.unpinLevel(index);
}

void EmulatorCore::setFirmware(const std::string &text)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().firmware = text.substr(0, 32);
}

void EmulatorCore::setBufferSize(std::uint32_t samples)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().bufferSize = samples;
}

void EmulatorCore::setUsbLatency(std::uint32_t frames)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().usbLatency = frames;
}

void EmulatorCore::setSampleRate(std::uint32_t rate)
{
    std::lock_guard<std::mutex> lock(mutex);
    device.state().sampleRate = rate;
}

DeviceState EmulatorCore::state() const
{
    std::lock_guard<std::mutex> lock(mutex);
    device.levels(false);
    return device.state();
}

std::vector<RequestRecord> EmulatorCore::requests() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return records;
}

void EmulatorCore::clearRequests()
{
    std::lock_guard<std::mutex> lock(mutex);
    records.clear();
}

void EmulatorCore::setLogSink(std::function<void(const std::string &)> logSink)
{
    std::lock_guard<std::mutex> lock(mutex);
    sink = std::move(logSink);
}

void EmulatorCore::setRecording(bool on)
{
    std::lock_guard<std::mutex> lock(mutex);
    recording = on;
    if (!on)
        records.clear();
}

} // namespace emu
