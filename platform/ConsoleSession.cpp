#include "platform/ConsoleSession.h"

namespace platform {

bool sessionDrivesDevice(const SessionState &state)
{
    return !state.remote && state.console != kNoConsoleSession && state.own == state.console;
}

} // namespace platform
