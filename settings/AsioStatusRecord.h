#pragma once

#include <cstddef>
#include <cstdint>

// The 20-byte record the ASIO driver writes to the panel: five little-endian 32-bit fields.
// Only the buffer size (offset 4) and the open-window request (offset 16) mean anything here.
struct AsioStatusRecord
{
    std::uint32_t fields[5] = { 0, 0, 0, 0, 0 };

    std::uint32_t bufferSize() const { return fields[1]; }
    bool openWindowRequested() const { return fields[4] != 0; }
};

// What the listener does with one record, given the buffer size of the record before.
struct AsioStatusAction
{
    bool passBufferSize = false; // hand bufferSize to the dialog
    std::uint32_t bufferSize = 0;
    bool showWindow = false;
    std::uint32_t previousSize = 0; // to remember for the next record
};

namespace settings {

// Decodes the first 20 bytes of a received message; bytes beyond length count as zero, so a short
// record reads with its missing fields as 0 and anything after byte 20 is ignored.
AsioStatusRecord decodeAsioStatusRecord(const std::uint8_t *data, std::size_t length);

// A size is passed on only when it differs from the previous record's (0 included, which the
// dialog then rejects); the size always becomes the new previous size.
AsioStatusAction handleAsioStatusRecord(const AsioStatusRecord &record, std::uint32_t previousSize);

} // namespace settings
