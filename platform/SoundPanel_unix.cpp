#include "platform/SoundPanel.h"

#include "platform/PlatformLog.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace platform {

namespace {

// The desktops' own sound settings, most widely installed first.
const std::vector<std::vector<std::string>> kSoundSettingsCommands = {
    { "pavucontrol" },
    { "pavucontrol-qt" },
    { "gnome-control-center", "sound" },
    { "systemsettings", "kcm_pulseaudio" },
    { "mate-volume-control" },
};

std::string findExecutable(const std::string &name)
{
    const char *path = std::getenv("PATH");
    if (!path)
        return {};
    std::string folders(path);
    std::size_t start = 0;
    while (start <= folders.size()) {
        std::size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        // An empty PATH entry would mean the working folder; never run programs from there.
        if (end > start) {
            const std::string candidate = folders.substr(start, end - start) + "/" + name;
            struct stat info;
            if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)
                && ::access(candidate.c_str(), X_OK) == 0)
                return candidate;
        }
        start = end + 1;
    }
    return {};
}

// Starts the program detached (its own session, reaped by init) and reports whether exec
// succeeded: the exec error travels back through a close-on-exec pipe that stays empty on
// success.
bool spawnDetached(const std::string &program, const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &argument : arguments)
        argv.push_back(const_cast<char *>(argument.c_str()));
    argv.push_back(nullptr);

    int errorPipe[2];
    if (::pipe2(errorPipe, O_CLOEXEC) != 0)
        return false;
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(errorPipe[0]);
        ::close(errorPipe[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls between fork and exec.
        ::close(errorPipe[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild < 0) {
            const int error = errno;
            [[maybe_unused]] ssize_t n = ::write(errorPipe[1], &error, sizeof error);
            ::_exit(1);
        }
        if (grandchild > 0)
            ::_exit(0);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        ::execve(program.c_str(), argv.data(), environ);
        const int error = errno;
        [[maybe_unused]] ssize_t n = ::write(errorPipe[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(errorPipe[1]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    int error = 0;
    ssize_t n;
    while ((n = ::read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) { }
    ::close(errorPipe[0]);
    return n == 0;
}

} // namespace

bool openSoundPanel()
{
    std::string tried;
    for (const std::vector<std::string> &command : kSoundSettingsCommands) {
        const std::string program = findExecutable(command.front());
        if (!program.empty() && spawnDetached(program, command))
            return true;
        tried += (tried.empty() ? "" : ", ") + command.front();
    }
    log("No sound settings program could be started (tried " + tried + ")");
    return false;
}

} // namespace platform
