#pragma once

#include <string>

// The folder that stands in for the Windows object namespace on Linux: the driver's device
// interfaces live in R/devices/{GUID}/ and the named pipes in R/pipe/. Only the *_unix.cpp ports
// use it.
namespace platform {

// R: $ORVELIN_RUNTIME_DIR, else $XDG_RUNTIME_DIR/orvelin, else /tmp/orvelin-<uid>.
std::string runtimeDirectory();

// R joined with a relative path ("devices/{...}", "pipe"); R itself for an empty one.
std::string runtimePath(const std::string &relative);

// True when path is a real directory (not a link), owned by the effective user, with no access
// for group or others. A refused folder is logged once per path and counts as absent.
bool checkPrivateDirectory(const std::string &path);

// Client side: R and every folder of the relative path pass checkPrivateDirectory. Creates nothing.
bool checkRuntimeDirectory(const std::string &relative);

// Server side: creates R and the relative path folder by folder where missing (mkdir, then
// chmod 0700 so no umask widens it), then checks each one. Existing folders are never changed.
bool ensurePrivateDirectory(const std::string &relative);

// The same two for an explicit base folder instead of R (the in-process emulator of the tests).
bool checkPrivatePath(const std::string &base, const std::string &relative);
bool ensurePrivatePath(const std::string &base, const std::string &relative);

// A Unix socket path holds at most 107 bytes; a longer one is logged and refused.
bool socketPathFits(const std::string &path);

} // namespace platform
