#include "emulator/CommandLoop.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace emu {

namespace {

int signalPipe[2] = { -1, -1 };

void onSignal(int)
{
    const char byte = 1;
    const ssize_t ignored = ::write(signalPipe[1], &byte, 1);
    (void)ignored;
}

} // namespace

void CommandLoop::usePipeFolder(const std::string &folder)
{
    ::setenv("ORVELIN_RUNTIME_DIR", folder.c_str(), 1);
}

bool CommandLoop::watchTermination()
{
    if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_CLOEXEC) != 0)
        return false;
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

void CommandLoop::run()
{
    bool inputOpen = true;
    while (!quitting) {
        pollfd watched[2] = { { signalPipe[0], POLLIN, 0 }, { inputOpen ? 0 : -1, POLLIN, 0 } };
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (watched[0].revents)
            break;
        if (!watched[1].revents)
            continue;
        char chunk[4096];
        const ssize_t n = ::read(0, chunk, sizeof(chunk));
        if (n <= 0) {
            if (n < 0 && errno == EINTR)
                continue;
            inputOpen = false;
            continue;
        }
        feed(chunk, static_cast<std::size_t>(n));
    }
}

} // namespace emu
