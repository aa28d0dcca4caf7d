#pragma once

#include "emulator/PipePeer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emu {

// Plays the audio service: the server of \\.\pipe\OrvelinAudioControlPipe. Each message is a
// command as UTF-16LE text ending in one zero code unit; every one received is logged as a JSON
// line: {"peer":"audio-service","command":"STOP_MONITOR","bytes":26}. A message that is not such
// text is logged with "malformed" and its bytes in hex. messages() holds the raw bytes.
class AudioServicePeer : public PipePeer
{
public:
    AudioServicePeer();

    // The commands received so far, in order (a malformed message as "?").
    std::vector<std::string> commands() const;
    // Waits until at least count commands arrived; false on time-out.
    bool waitForCommands(std::size_t count, int timeoutMs) const;
};

// The command text of one audio-service message; false when it is not UTF-16LE text of printable
// ASCII ending in exactly one zero code unit.
bool decodeAudioServiceCommand(const std::vector<std::uint8_t> &message, std::string &command);

} // namespace emu
