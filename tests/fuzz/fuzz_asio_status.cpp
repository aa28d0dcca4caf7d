// Status records from the ASIO driver: any bytes, split into messages that travel one connection
// each through the real pipe server the listener uses, then decoded and handled in turn. The
// checks below hold for every input.
#include "platform/PipePort.h"
#include "settings/AsioStatusRecord.h"
#include "settings/PipeServer.h"
#include "tests/fuzz/FuzzCheck.h"
#include "tests/support/TestSupport.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

std::uint32_t expectedField(const std::uint8_t *data, std::size_t length, std::size_t field)
{
    std::uint32_t value = 0;
    for (std::size_t byte = 0; byte < 4; ++byte)
        if (field * 4 + byte < length)
            value |= std::uint32_t(data[field * 4 + byte]) << (8 * byte);
    return value;
}

void discard(QtMsgType, const QMessageLogContext &, const QString &) { }

std::unique_ptr<testsupport::IsolatedEnvironment> environment;
std::unique_ptr<PipeServer> server;

// One message as the listener receives it: a cleared 1024-byte buffer, one read. A message of
// more than 1024 bytes is dropped whole and changes nothing.
std::uint32_t handleMessage(const std::uint8_t *data, std::size_t length, std::uint32_t previous)
{
    const platform::PortHandle client = platform::pipeOpen(platform::kAsioToPanelPipe);
    require(client != platform::kInvalidHandle);
    require(platform::pipeWrite(client, data, length));

    std::uint8_t buffer[1024];
    std::memset(buffer, 0, sizeof buffer);
    std::size_t received = 0;
    const bool ok = server->readMessage(buffer, &received);
    platform::pipeClose(client);
    if (length > sizeof buffer) {
        require(!ok && received == 0);
        return previous;
    }
    require(ok && received == length);
    require(length == 0 || std::memcmp(buffer, data, length) == 0);
    for (std::size_t i = length; i < sizeof buffer; ++i)
        require(buffer[i] == 0);

    const AsioStatusRecord record = settings::decodeAsioStatusRecord(buffer, received);
    for (std::size_t field = 0; field < 5; ++field)
        require(record.fields[field] == expectedField(data, length, field));
    // The whole zero-filled buffer must read the same as the message alone.
    const AsioStatusRecord padded = settings::decodeAsioStatusRecord(buffer, sizeof buffer);
    for (std::size_t field = 0; field < 5; ++field)
        require(padded.fields[field] == record.fields[field]);

    const AsioStatusAction action = settings::handleAsioStatusRecord(record, previous);
    require(action.bufferSize == record.fields[1]);
    require(action.passBufferSize == (record.fields[1] != previous));
    require(action.showWindow == (record.fields[4] != 0));
    require(action.previousSize == record.fields[1]);
    return action.previousSize;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qInstallMessageHandler(discard);
    environment = std::make_unique<testsupport::IsolatedEnvironment>();
    server = std::make_unique<PipeServer>(platform::kAsioToPanelPipe);
    require(server->create());
    return 0;
}

// The first byte of each chunk gives the length of the message after it (times 8, so a message
// can pass the 1024-byte limit).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The whole input as one message first.
    handleMessage(data, std::min<std::size_t>(size, 2048), 0);
    std::uint32_t previous = 0;
    std::size_t offset = 0;
    while (offset < size) {
        const std::size_t length = std::min<std::size_t>(std::size_t(data[offset]) * 8, size - offset - 1);
        previous = handleMessage(data + offset + 1, length, previous);
        offset += 1 + length;
    }
    return 0;
}
