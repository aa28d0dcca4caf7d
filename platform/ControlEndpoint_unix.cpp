#include "platform/ControlEndpoint.h"

#include "platform/RuntimeDir.h"

namespace platform {

std::string controlServerName()
{
    if (!ensurePrivateDirectory(""))
        return {};
    const std::string path = runtimePath("control");
    return socketPathFits(path) ? path : std::string();
}

std::string controlClientName()
{
    if (!checkRuntimeDirectory(""))
        return {};
    return runtimePath("control");
}

} // namespace platform
