#include "settings/AsioStatusRecord.h"

namespace settings {

AsioStatusRecord decodeAsioStatusRecord(const std::uint8_t *data, std::size_t length)
{
    AsioStatusRecord record;
    if (!data)
        return record;
    for (std::size_t field = 0; field < 5; ++field) {
        std::uint32_t value = 0;
        for (std::size_t byte = 0; byte < 4; ++byte) {
            const std::size_t offset = field * 4 + byte;
            if (offset < length)
                value |= static_cast<std::uint32_t>(data[offset]) << (8 * byte);
        }
        record.fields[field] = value;
    }
    return record;
}

AsioStatusAction handleAsioStatusRecord(const AsioStatusRecord &record, std::uint32_t previousSize)
{
    AsioStatusAction action;
    action.bufferSize = record.bufferSize();
    action.passBufferSize = action.bufferSize != previousSize;
    action.showWindow = record.openWindowRequested();
    action.previousSize = action.bufferSize;
    return action;
}

} // namespace settings
