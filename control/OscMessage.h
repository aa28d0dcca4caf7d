#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <vector>

// One Open Sound Control 1.0 message, and the packet codec: a message or a bundle of them.
// Arguments of type int32 (i), float32 (f), string (s, and the symbol S) and true/false (T, F)
// carry their values; every other standard type is read past by its size and kept as its tag
// only, so a handler can refuse it by name. A bundle's time tag is read and ignored: everything
// is carried out when it arrives. Every length is checked against the packet's end before it is
// read; a packet that breaks a rule is refused whole.
class OscMessage
{
public:
    static constexpr int kMaxAddress = 256; // bytes, without the terminating zero
    static constexpr int kMaxDepth = 8; // bundles nest this deep; one more refuses the packet
    static constexpr int kMaxMessages = 64; // in one packet, all bundles counted
    // A control takes one; a long tag string would make each tag a 40-byte argument in memory.
    static constexpr int kMaxArguments = 16;

    struct Argument
    {
        char type = 0;
        std::int32_t i = 0;
        float f = 0.0F;
        QByteArray s;
    };

    enum class Fault {
        None,
        NotOsc, // a length, padding, tag or string that does not fit the packet
        TooDeep,
        LongAddress,
        TooMany,
        TooManyArguments,
    };
    static const char *faultText(Fault fault);

    explicit OscMessage(const QByteArray &address = QByteArray());

    OscMessage &addInt(std::int32_t value);
    OscMessage &addFloat(float value);
    OscMessage &addString(const QByteArray &value);
    OscMessage &addBool(bool value);

    // The message as one packet. Only the types that carry a value are written.
    QByteArray encode() const;
    // The messages of one packet, in their order; nothing on a fault.
    static Fault decode(const char *data, std::size_t size, std::vector<OscMessage> &messages);

    QByteArray address;
    std::vector<Argument> arguments;
};
