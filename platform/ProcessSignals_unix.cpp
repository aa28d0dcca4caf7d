#include "platform/ProcessSignals.h"

#include "platform/PlatformLog.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace platform {

namespace {

int requestPipe[2] = { -1, -1 };

void onTerminationSignal(int)
{
    // Only async-signal-safe calls here; a full pipe already holds a pending request.
    const int savedErrno = errno;
    const char byte = 1;
    [[maybe_unused]] ssize_t written = ::write(requestPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

PortHandle terminationRequests()
{
    if (requestPipe[0] >= 0)
        return requestPipe[0];
    if (::pipe2(requestPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        log(std::string("Termination signals not watched: ") + std::strerror(errno));
        requestPipe[0] = requestPipe[1] = -1;
        return kInvalidHandle;
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    return requestPipe[0];
}

int takeTerminationRequests(PortHandle handle)
{
    if (handle == kInvalidHandle)
        return 0;
    int count = 0;
    char buffer[64];
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(handle), buffer, sizeof buffer);
        if (n > 0) {
            count += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return count;
    }
}

std::string instanceKeySuffix()
{
    return "-uid" + std::to_string(getuid());
}

bool watchQuitRequests(std::function<void()>)
{
    return false;
}

void stopQuitRequests() { }

} // namespace platform
