#include "platform/ConsoleSession.h"

namespace platform {

SessionState currentSessionState()
{
    return {};
}

bool watchSessionChanges(std::uintptr_t)
{
    return true;
}

void stopWatchingSessionChanges(std::uintptr_t) { }

bool readSessionChange(const void *, SessionState &)
{
    return false;
}

} // namespace platform
