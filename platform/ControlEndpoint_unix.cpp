#include "platform/ControlEndpoint.h"

#include "platform/RuntimeDir.h"

#include <sys/socket.h>
#include <unistd.h>

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

bool peerIsCurrentUser(std::intptr_t descriptor)
{
    ucred peer {};
    socklen_t size = sizeof(peer);
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || size != sizeof(peer))
        return false;
    return peer.uid == ::geteuid();
}

bool peerIsInThisSession(std::intptr_t)
{
    return true;
}

bool serverIsCurrentUser(std::intptr_t descriptor)
{
    // The peer's credentials read the same from either end of the socket.
    return peerIsCurrentUser(descriptor);
}

} // namespace platform
