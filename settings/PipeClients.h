#pragma once

#include "platform/PortHandle.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

// The two messages the panel sends as a pipe client. Each opens the pipe, writes once and closes;
// no reply is read.

// The two calls the busy rule is made of: open (on failure the handle is invalid and error holds
// the pipe error) and the wait for a busy pipe. Tests pass their own to script a busy service.
struct AudioServicePipeCalls
{
    std::function<platform::PortHandle(const std::string &name, std::uint32_t &error)> open;
    std::function<bool(const std::string &name, int timeoutMs)> wait;
};

namespace settings {

// Sends "STOP_MONITOR" or "START_MONITOR" to the audio service as UTF-16LE text with one zero code
// unit. A busy pipe is waited for (1000 ms each), with at most three opens. True when the whole
// message was written.
bool sendAudioServiceCommand(const QString &command);
// The same through the given calls.
bool sendAudioServiceCommand(const QString &command, const AudioServicePipeCalls &calls);

// Sends the reset byte 0x31 to the ASIO driver; no wait, no retry. Returns whether the pipe could
// be opened (the dialog logs its own line after a send on an opened pipe).
bool sendAsioReset();

// The audio-service message: UTF-16LE code units and a terminating zero unit.
QByteArray audioServiceMessage(const QString &command);

} // namespace settings
