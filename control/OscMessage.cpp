#include "control/OscMessage.h"

#include <cstring>

namespace {

using Fault = OscMessage::Fault;

constexpr char kBundleTag[8] = { '#', 'b', 'u', 'n', 'd', 'l', 'e', '\0' };

std::size_t padded(std::size_t length)
{
    return (length + 3) & ~std::size_t(3);
}

std::uint32_t readBig32(const char *p)
{
    const auto *u = reinterpret_cast<const unsigned char *>(p);
    return std::uint32_t(u[0]) << 24 | std::uint32_t(u[1]) << 16 | std::uint32_t(u[2]) << 8 | std::uint32_t(u[3]);
}

void writeBig32(QByteArray &out, std::uint32_t value)
{
    const char bytes[4] = { char(value >> 24), char(value >> 16), char(value >> 8), char(value) };
    out.append(bytes, 4);
}

void writeString(QByteArray &out, const QByteArray &text)
{
    // Up to the first zero, as a reader sees it.
    const QByteArray cut = text.left(int(std::strlen(text.constData())));
    out.append(cut);
    out.append(QByteArray(int(padded(std::size_t(cut.size()) + 1) - std::size_t(cut.size())), '\0'));
}

// Reads the packet from its start to its end; every read is checked against the end first.
class Reader
{
public:
    Reader(const char *begin, std::size_t size)
        : at(begin)
        , end(begin + size)
    { }

    std::size_t left() const { return std::size_t(end - at); }
    bool atEnd() const { return at == end; }

    // A zero-terminated string padded with zeros to four bytes; false when it runs past the end.
    bool string(QByteArray &text)
    {
        const void *zero = std::memchr(at, 0, left());
        if (!zero)
            return false;
        const std::size_t length = std::size_t(static_cast<const char *>(zero) - at);
        if (padded(length + 1) > left())
            return false;
        text = QByteArray(at, int(length));
        at += padded(length + 1);
        return true;
    }
    bool word(std::uint32_t &value)
    {
        if (left() < 4)
            return false;
        value = readBig32(at);
        at += 4;
        return true;
    }
    bool skip(std::size_t bytes)
    {
        if (bytes > left())
            return false;
        at += bytes;
        return true;
    }
    const char *here() const { return at; }

private:
    const char *at;
    const char *end;
};

bool printableAddress(const QByteArray &address)
{
    if (!address.startsWith('/'))
        return false;
    for (char c : address)
        if (c < 0x21 || c > 0x7E)
            return false;
    return true;
}

bool readArgument(Reader &in, char type, OscMessage::Argument &argument)
{
    argument.type = type;
    std::uint32_t word = 0;
    switch (type) {
    case 'i':
        if (!in.word(word))
            return false;
        argument.i = std::int32_t(word);
        return true;
    case 'f':
        if (!in.word(word))
            return false;
        std::memcpy(&argument.f, &word, sizeof word);
        return true;
    case 's':
    case 'S':
        return in.string(argument.s);
    case 'b':
        return in.word(word) && word <= 0x7FFFFFFF && in.skip(padded(word));
    case 'c': // character
    case 'r': // colour
    case 'm': // MIDI
        return in.skip(4);
    case 'h': // int64
    case 't': // time tag
    case 'd': // double
        return in.skip(8);
    case 'T':
    case 'F':
    case 'N':
    case 'I':
    case '[':
    case ']':
        return true;
    default: // a size we cannot know
        return false;
    }
}

Fault decodeMessage(const char *data, std::size_t size, std::vector<OscMessage> &messages)
{
    Reader in(data, size);
    OscMessage message;
    if (!in.string(message.address)) {
        // An address that does not end within the packet is too long when it is long already.
        const void *zero = std::memchr(data, 0, size);
        const std::size_t length = zero ? std::size_t(static_cast<const char *>(zero) - data) : size;
        return length > std::size_t(OscMessage::kMaxAddress) ? Fault::LongAddress : Fault::NotOsc;
    }
    if (message.address.size() > OscMessage::kMaxAddress)
        return Fault::LongAddress;
    if (!printableAddress(message.address))
        return Fault::NotOsc;
    // Early senders left the type tags out when there were no arguments.
    if (!in.atEnd()) {
        QByteArray tags;
        if (!in.string(tags) || !tags.startsWith(','))
            return Fault::NotOsc;
        // Counted before anything is stored for them.
        if (tags.size() - 1 > OscMessage::kMaxArguments)
            return Fault::TooManyArguments;
        message.arguments.resize(std::size_t(tags.size() - 1));
        for (int t = 1; t < tags.size(); ++t)
            if (!readArgument(in, tags[t], message.arguments[std::size_t(t - 1)]))
                return Fault::NotOsc;
        if (!in.atEnd())
            return Fault::NotOsc;
    }
    if (messages.size() >= std::size_t(OscMessage::kMaxMessages))
        return Fault::TooMany;
    messages.push_back(std::move(message));
    return Fault::None;
}

Fault decodeElement(const char *data, std::size_t size, int depth, std::vector<OscMessage> &messages)
{
    if (size == 0 || size % 4 != 0)
        return Fault::NotOsc;
    if (size < sizeof kBundleTag || std::memcmp(data, kBundleTag, sizeof kBundleTag) != 0)
        return data[0] == '/' ? decodeMessage(data, size, messages) : Fault::NotOsc;
    if (depth >= OscMessage::kMaxDepth)
        return Fault::TooDeep;
    Reader in(data, size);
    if (!in.skip(sizeof kBundleTag + 8)) // the time tag
        return Fault::NotOsc;
    while (!in.atEnd()) {
        std::uint32_t length = 0;
        if (!in.word(length) || length > in.left())
            return Fault::NotOsc;
        const char *element = in.here();
        in.skip(length);
        const Fault fault = decodeElement(element, length, depth + 1, messages);
        if (fault != Fault::None)
            return fault;
    }
    return Fault::None;
}

} // namespace

OscMessage::OscMessage(const QByteArray &address)
    : address(address)
{ }

const char *OscMessage::faultText(Fault fault)
{
    switch (fault) {
    case Fault::None:
        return "none";
    case Fault::NotOsc:
        return "not OSC";
    case Fault::TooDeep:
        return "bundles nested more than 8 deep";
    case Fault::LongAddress:
        return "an address over 256 bytes";
    case Fault::TooMany:
        return "more than 64 messages in one packet";
    case Fault::TooManyArguments:
        return "a message of more than 16 arguments";
    }
    return "";
}

OscMessage &OscMessage::addInt(std::int32_t value)
{
    arguments.push_back({ 'i', value, 0.0F, {} });
    return *this;
}

OscMessage &OscMessage::addFloat(float value)
{
    arguments.push_back({ 'f', 0, value, {} });
    return *this;
}

OscMessage &OscMessage::addString(const QByteArray &value)
{
    arguments.push_back({ 's', 0, 0.0F, value });
    return *this;
}

OscMessage &OscMessage::addBool(bool value)
{
    arguments.push_back({ value ? 'T' : 'F', 0, 0.0F, {} });
    return *this;
}

QByteArray OscMessage::encode() const
{
    QByteArray tags(",");
    for (const Argument &argument : arguments)
        if (argument.type == 'S')
            tags += 's';
        else if (QByteArray("ifsTF").contains(argument.type))
            tags += argument.type;
    QByteArray out;
    writeString(out, address);
    writeString(out, tags);
    for (const Argument &argument : arguments) {
        std::uint32_t word = 0;
        switch (argument.type) {
        case 'i':
            writeBig32(out, std::uint32_t(argument.i));
            break;
        case 'f':
            std::memcpy(&word, &argument.f, sizeof word);
            writeBig32(out, word);
            break;
        case 's':
        case 'S':
            writeString(out, argument.s);
            break;
        default:
            break;
        }
    }
    return out;
}

OscMessage::Fault OscMessage::decode(const char *data, std::size_t size, std::vector<OscMessage> &messages)
{
    std::vector<OscMessage> found;
    const Fault fault = decodeElement(data, size, 0, found);
    if (fault == Fault::None)
        messages.insert(messages.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    return fault;
}
