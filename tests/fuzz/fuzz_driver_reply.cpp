// Replies of the driver over the Linux stand-in channel: any bytes as the reply packet to one
// request, through the real driver port on a socket pair. A valid reply always follows it, so a
// channel that was not closed after a bad reply would take that one for the next request.
#include "platform/DriverPort.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/ControlCodes.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace {

std::uint32_t le32(const std::uint8_t *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

constexpr std::uint8_t kFill = 0xA5;

} // namespace

// Bytes 0-1: the output length of the request (up to 1023); the rest: the reply packet.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 2)
        return 0;
    const std::uint32_t outLength = (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8) % 1024;
    const std::uint8_t *reply = data + 2;
    const std::size_t replySize = size - 2;

    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, pair) != 0)
        return 0;
    const std::uint8_t valid[8] = { 1, 0, 0, 0, 0, 0, 0, 0 };
    if (::send(pair[1], reply, replySize, MSG_NOSIGNAL) != static_cast<ssize_t>(replySize)
        || ::send(pair[1], valid, sizeof valid, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof valid)) {
        ::close(pair[0]);
        ::close(pair[1]);
        return 0;
    }

    std::uint8_t out[1024];
    std::memset(out, kFill, sizeof out);
    std::uint32_t returned = 0xFFFFFFFF;
    const std::uint8_t input[4] = { 0x80, 0xBB, 0, 0 };
    const bool ok
        = platform::driverRequest(pair[0], Code::GetSampleRate, input, sizeof input, out, outLength, &returned);

    // A reply is well formed when it has its 8-byte header, an ok word of 0 or 1, at least the
    // bytes it claims, and no more than the largest driver reply (8 + 768).
    const bool header = replySize >= 8;
    const std::uint32_t okWord = header ? le32(reply) : 0;
    const std::uint32_t claimed = header ? le32(reply + 4) : 0;
    const bool wellFormed = header && okWord <= 1 && claimed <= replySize - 8 && replySize <= 8 + 768;

    // A well-formed reply's bytes reach the buffer, those of a refusal too (as a Windows driver
    // failing part-way fills it); a malformed reply leaves the buffer untouched.
    const std::uint32_t copied = !wellFormed ? 0 : claimed < outLength ? claimed : outLength;
    require(std::memcmp(out, reply + 8, copied) == 0);
    for (std::size_t i = copied; i < sizeof out; ++i)
        require(out[i] == kFill);
    if (ok) {
        require(wellFormed && okWord == 1);
        require(returned == copied);
    } else {
        require(!(wellFormed && okWord == 1));
        require(returned == 0xFFFFFFFF);
    }

    // A refusal keeps the channel; anything malformed closes it, so the valid reply queued after
    // it is never read.
    std::uint8_t next[4];
    const bool second = platform::driverRequest(pair[0], Code::GetDevicePid, nullptr, 0, next, 0);
    require(second == wellFormed);

    ::close(pair[0]);
    ::close(pair[1]);
    return 0;
}
