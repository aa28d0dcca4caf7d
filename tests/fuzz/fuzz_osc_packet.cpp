// Packets of any bytes through the OSC decoder. A packet it takes must keep the limits (messages,
// address length, arguments), and each message whose arguments all carry values must come back
// unchanged through encode and decode.
#include "control/OscMessage.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Names the failed check's line before the abort, so a corpus run says what broke.
#define require(condition)                                                                                             \
    ((condition) ? void() : (std::fprintf(stderr, "check failed at %s:%d\n", __FILE__, __LINE__), std::abort()))

bool sameArgument(const OscMessage::Argument &a, const OscMessage::Argument &b)
{
    const char type = a.type == 'S' ? 's' : a.type;
    return type == b.type && a.i == b.i && std::memcmp(&a.f, &b.f, sizeof a.f) == 0 && a.s == b.s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::vector<OscMessage> messages;
    const OscMessage::Fault fault = OscMessage::decode(reinterpret_cast<const char *>(data), size, messages);
    if (fault != OscMessage::Fault::None) {
        require(messages.empty());
        return 0;
    }
    // An empty bundle is a packet too.
    require(messages.size() <= std::size_t(OscMessage::kMaxMessages));
    for (const OscMessage &message : messages) {
        require(message.address.startsWith('/') && message.address.size() <= OscMessage::kMaxAddress);
        require(message.arguments.size() <= std::size_t(OscMessage::kMaxArguments));
        bool carried = true;
        for (const OscMessage::Argument &argument : message.arguments)
            carried = carried && std::strchr("ifsSTF", argument.type) && argument.s.indexOf('\0') < 0;
        if (!carried)
            continue;
        const QByteArray again = message.encode();
        std::vector<OscMessage> back;
        require(OscMessage::decode(again.constData(), std::size_t(again.size()), back) == OscMessage::Fault::None);
        require(back.size() == 1 && back[0].address == message.address);
        require(back[0].arguments.size() == message.arguments.size());
        for (std::size_t i = 0; i < message.arguments.size(); ++i)
            require(sameArgument(message.arguments[i], back[0].arguments[i]));
    }
    return 0;
}
