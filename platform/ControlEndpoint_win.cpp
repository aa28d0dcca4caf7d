#include "platform/ControlEndpoint.h"

#include <windows.h>

namespace platform {

namespace {

std::string userPipeName()
{
    wchar_t name[257] = {};
    DWORD size = 257;
    if (!GetUserNameW(name, &size))
        return {};
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes > 0 ? bytes - 1 : 0, '\0');
    if (bytes > 1)
        WideCharToMultiByte(CP_UTF8, 0, name, -1, &utf8[0], bytes, nullptr, nullptr);
    return "OrvelinDriverControl-" + utf8;
}

} // namespace

std::string controlServerName()
{
    return userPipeName();
}

std::string controlClientName()
{
    return userPipeName();
}

bool peerIsCurrentUser(std::intptr_t)
{
    // The pipe's access list, set by QLocalServer's user-only option, admits this user alone.
    return true;
}

} // namespace platform
