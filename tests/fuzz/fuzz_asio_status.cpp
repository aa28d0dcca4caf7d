// Status records from the ASIO driver: any bytes, split into the messages the listener would
// receive, decoded and handled in turn. The checks below hold for every input.
#include "settings/AsioStatusRecord.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void require(bool condition)
{
    if (!condition)
        std::abort();
}

std::uint32_t expectedField(const std::uint8_t *data, std::size_t length, std::size_t field)
{
    std::uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
        if (field * 4 + byte < length)
            value |= std::uint32_t(data[field * 4 + byte]) << (8 * byte);
    return value;
}

// One message as the listener sees it: copied into a cleared 1024-byte buffer.
std::uint32_t handleMessage(const std::uint8_t *data, std::size_t length, std::uint32_t previous)
{
    std::uint8_t buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    length = std::min(length, sizeof buffer);
    if (length)
        std::memcpy(buffer, data, length);

    const AsioStatusRecord record = decodeAsioStatusRecord(buffer, length);
    for (std::size_t field = 0; field < 5; ++field)
        require(record.fields[field] == expectedField(buffer, length, field));
    // The whole zero-filled buffer must read the same as the message alone.
    const AsioStatusRecord padded = decodeAsioStatusRecord(buffer, sizeof buffer);
    for (std::size_t field = 0; field < 5; ++field)
        require(padded.fields[field] == record.fields[field]);

    const AsioStatusAction action = handleAsioStatusRecord(record, previous);
    require(action.bufferSize == record.fields[1]);
    require(action.passBufferSize == (record.fields[1] != previous));
    require(action.showWindow == (record.fields[4] != 0));
    require(action.previousSize == record.fields[1]);
    return action.previousSize;
}

} // namespace

// The first byte of each chunk gives the length of the message after it (times 8, so a message
// can pass the 1024-byte limit).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::uint32_t previous = 0;
    handleMessage(data, size, previous);
    std::size_t offset = 0;
    while (offset < size) {
        const std::size_t length = std::min<std::size_t>(std::size_t(data[offset]) * 8, size - offset - 1);
        previous = handleMessage(data + offset + 1, length, previous);
        offset += 1 + length;
    }
    return 0;
}
