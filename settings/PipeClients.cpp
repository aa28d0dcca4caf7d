#include "settings/PipeClients.h"

#include "device/PlatformLogBridge.h"

#include "platform/PipePort.h"

#include <QDebug>

namespace {
constexpr int kBusyWaitMs = 1000;
constexpr int kMaxOpens = 3;
constexpr char kAsioResetByte = 0x31;
} // namespace

namespace settings {

QByteArray audioServiceMessage(const QString &command)
{
    QByteArray bytes;
    bytes.reserve((command.size() + 1) * 2);
    for (const QChar character : command) {
        bytes.append(static_cast<char>(character.unicode() & 0xFF));
        bytes.append(static_cast<char>(character.unicode() >> 8));
    }
    bytes.append('\0');
    bytes.append('\0');
    return bytes;
}

bool sendAudioServiceCommand(const QString &command)
{
    const AudioServicePipeCalls calls {
        [](const std::string &name, std::uint32_t &error) {
            const platform::PortHandle handle = platform::pipeOpen(name);
            error = handle == platform::kInvalidHandle ? platform::pipeLastError() : 0;
            return handle;
        },
        platform::pipeWait,
    };
    return sendAudioServiceCommand(command, calls);
}

bool sendAudioServiceCommand(const QString &command, const AudioServicePipeCalls &calls)
{
    device::installPlatformLogBridge();
    const QByteArray message = audioServiceMessage(command);
    int opens = 0;
    platform::PortHandle handle = platform::kInvalidHandle;
    for (;;) {
        std::uint32_t error = 0;
        handle = calls.open(platform::kAudioControlPipe, error);
        if (handle != platform::kInvalidHandle)
            break;
        if (error != platform::PipeError::PipeBusy) {
            qWarning() << "Could not open pipe. Is Audio Service running? Error:" << error;
            return false;
        }
        if (!calls.wait(platform::kAudioControlPipe, kBusyWaitMs)) {
            qWarning() << "WaitNamedPipe timed out.";
            return false;
        }
        if (++opens >= kMaxOpens)
            return false;
    }

    if (!platform::pipeSetMessageMode(handle)) {
        qWarning() << "SetNamedPipeHandleState failed.";
        platform::pipeClose(handle);
        return false;
    }
    const bool written = platform::pipeWrite(handle, message.constData(), static_cast<std::size_t>(message.size()));
    if (written)
        qDebug().noquote() << "Pipe Command Sent:" << command;
    else
        qWarning() << "WriteFile to pipe failed. Error:" << platform::pipeLastError();
    platform::pipeClose(handle);
    return written;
}

bool sendAsioReset()
{
    device::installPlatformLogBridge();
    const platform::PortHandle handle = platform::pipeOpen(platform::kPanelToAsioPipe);
    if (handle == platform::kInvalidHandle) {
        qDebug() << "Error: Could not open pipe. Error code:" << platform::pipeLastError();
        return false;
    }
    qDebug() << "Pipe opened successfully.";
    if (platform::pipeWrite(handle, &kAsioResetByte, 1))
        qDebug() << "ASIO reset signal sent successfully.";
    else
        qDebug() << "Error: Failed to send ASIO reset signal. Error code:" << platform::pipeLastError();
    platform::pipeClose(handle);
    return true;
}

} // namespace settings
