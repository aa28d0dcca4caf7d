#include "emulator/AsioPeer.h"

#include "emulator/HexBytes.h"
#include "platform/PipePort.h"

namespace emu {

namespace {
constexpr int kBusyWaitMs = 2000;
constexpr int kMaxOpens = 3;

std::string describeReset(const std::vector<std::uint8_t> &message)
{
    return "\"reset\":\"" + hexBytes(message) + "\"";
}
} // namespace

std::vector<std::uint8_t> asioStatusBytes(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow)
{
    std::vector<std::uint8_t> bytes;
    bytes.reserve(20);
    for (std::uint32_t field : { a, bufferSize, c, d, openWindow })
        for (int shift = 0; shift < 32; shift += 8)
            bytes.push_back(static_cast<std::uint8_t>(field >> shift));
    return bytes;
}

AsioPeer::AsioPeer()
    : PipePeer(platform::kPanelToAsioPipe, "asio", describeReset)
{ }

std::vector<std::vector<std::uint8_t>> AsioPeer::resets() const
{
    return messages();
}

bool AsioPeer::waitForResets(std::size_t count, int timeoutMs) const
{
    return waitForMessages(count, timeoutMs);
}

bool AsioPeer::sendStatus(
    std::uint32_t a, std::uint32_t bufferSize, std::uint32_t c, std::uint32_t d, std::uint32_t openWindow)
{
    return sendRaw(asioStatusBytes(a, bufferSize, c, d, openWindow));
}

bool AsioPeer::sendRaw(const std::vector<std::uint8_t> &bytes)
{
    platform::PortHandle handle = platform::pipeOpen(platform::kAsioToPanelPipe);
    // The panel serves one client at a time and pauses between messages.
    for (int opens = 1; handle == platform::kInvalidHandle && opens < kMaxOpens; ++opens) {
        if (platform::pipeLastError() != platform::PipeError::PipeBusy
            || !platform::pipeWait(platform::kAsioToPanelPipe, kBusyWaitMs))
            break;
        handle = platform::pipeOpen(platform::kAsioToPanelPipe);
    }
    bool ok = false;
    if (handle != platform::kInvalidHandle) {
        ok = platform::pipeSetMessageMode(handle) && platform::pipeWrite(handle, bytes.data(), bytes.size());
        if (!ok)
            sendError = platform::pipeLastError();
        platform::pipeClose(handle);
    } else {
        sendError = platform::pipeLastError();
    }
    logFields(ok ? "\"sent\":\"" + hexBytes(bytes) + "\"" : "\"sendError\":" + std::to_string(sendError.load()));
    return ok;
}

std::uint32_t AsioPeer::lastSendError() const
{
    return sendError.load();
}

} // namespace emu
