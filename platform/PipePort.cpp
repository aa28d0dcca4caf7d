#include "platform/PipePort.h"

// What the pipe ports of both systems share.
namespace platform {

namespace {
thread_local std::uint32_t lastError = 0;
} // namespace

std::uint32_t pipeLastError()
{
    return lastError;
}

bool pipeFail(std::uint32_t error)
{
    lastError = error;
    return false;
}

} // namespace platform
