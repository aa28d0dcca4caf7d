#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace emu {

// Plays the audio service: the server of \\.\pipe\OrvelinAudioControlPipe. Each message is a
// command as UTF-16LE text ending in one zero code unit; every one received is logged as a JSON
// line: {"peer":"audio-service","command":"STOP_MONITOR","bytes":26}. A message that is not such
// text is logged with "malformed" and its bytes in hex. The pipe lives in the pipe port's runtime
// directory.
class AudioServicePeer
{
public:
    AudioServicePeer();
    ~AudioServicePeer();
    AudioServicePeer(const AudioServicePeer &) = delete;
    AudioServicePeer &operator=(const AudioServicePeer &) = delete;

    bool start();
    void stop();
    void setLogSink(std::function<void(const std::string &)> sink);

    // The commands received so far, in order (a malformed message as "?").
    std::vector<std::string> commands() const;
    // Raw bytes of every message received so far.
    std::vector<std::vector<std::uint8_t>> messages() const;
    // Waits until at least count commands arrived; false on time-out.
    bool waitForCommands(std::size_t count, int timeoutMs) const;
    void clear();

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

// The command text of one audio-service message; false when it is not UTF-16LE text of printable
// ASCII ending in exactly one zero code unit.
bool decodeAudioServiceCommand(const std::vector<std::uint8_t> &message, std::string &command);

} // namespace emu
