#include "platform/RuntimeDir.h"

#include "platform/PlatformLog.h"

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <set>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::mutex refusedMutex;
std::set<std::string> &refusedPaths()
{
    static std::set<std::string> paths;
    return paths;
}

void refuse(const std::string &path)
{
    bool first = false;
    {
        std::lock_guard<std::mutex> lock(refusedMutex);
        first = refusedPaths().insert(path).second;
    }
    if (first)
        log("Runtime directory refused: " + path);
}

// Splits "a/b/c" into its non-empty components.
std::vector<std::string> components(const std::string &relative)
{
    std::vector<std::string> parts;
    std::string current;
    for (char c : relative) {
        if (c == '/') {
            if (!current.empty())
                parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty())
        parts.push_back(current);
    return parts;
}

std::string stripTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

bool makePrivateFolder(const std::string &path)
{
    if (::mkdir(path.c_str(), 0700) == 0) {
        // Only a folder we just made is chmod-ed; an existing one must pass the check as it is.
        ::chmod(path.c_str(), 0700);
    } else if (errno != EEXIST) {
        log("Cannot create runtime directory: " + path);
        return false;
    }
    return checkPrivateDirectory(path);
}

// Calls step on base and then on each folder of relative below it, down to the first it fails on.
bool eachFolder(const std::string &base, const std::string &relative, bool (*step)(const std::string &))
{
    std::string path = stripTrailingSlashes(base);
    if (!step(path))
        return false;
    for (const std::string &part : components(relative)) {
        path += "/" + part;
        if (!step(path))
            return false;
    }
    return true;
}

} // namespace

std::string runtimeDirectory()
{
    const char *own = std::getenv("ORVELIN_RUNTIME_DIR");
    if (own && *own)
        return stripTrailingSlashes(own);
    const char *xdg = std::getenv("XDG_RUNTIME_DIR");
    if (xdg && *xdg)
        return stripTrailingSlashes(xdg) + "/orvelin";
    return "/tmp/orvelin-" + std::to_string(::geteuid());
}

std::string runtimePath(const std::string &relative)
{
    std::string path = runtimeDirectory();
    for (const std::string &part : components(relative))
        path += "/" + part;
    return path;
}

bool checkPrivateDirectory(const std::string &path)
{
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0)
        return false; // absent, not refused
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0) {
        refuse(path);
        return false;
    }
    return true;
}

bool checkRuntimeDirectory(const std::string &relative)
{
    return checkPrivatePath(runtimeDirectory(), relative);
}

bool ensurePrivateDirectory(const std::string &relative)
{
    return ensurePrivatePath(runtimeDirectory(), relative);
}

bool checkPrivatePath(const std::string &base, const std::string &relative)
{
    return eachFolder(base, relative, checkPrivateDirectory);
}

bool ensurePrivatePath(const std::string &base, const std::string &relative)
{
    return eachFolder(base, relative, makePrivateFolder);
}

bool socketPathFits(const std::string &path)
{
    if (path.size() < sizeof(sockaddr_un::sun_path))
        return true;
    log("Socket path too long: " + path);
    return false;
}

} // namespace platform
