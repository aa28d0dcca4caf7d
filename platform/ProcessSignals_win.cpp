#include "platform/ProcessSignals.h"

namespace platform {

// A Windows GUI program is asked to end through its windows and the session, which Qt handles.
PortHandle terminationRequests()
{
    return kInvalidHandle;
}

int takeTerminationRequests(PortHandle)
{
    return 0;
}

std::string instanceKeySuffix()
{
    return std::string();
}

} // namespace platform
