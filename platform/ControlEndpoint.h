#pragma once

#include <cstdint>
#include <string>

// The name the panel's control channel listens on and scripts connect to. Linux: the socket
// "control" in the runtime folder R; Windows: a pipe named after the user.
namespace platform {

// Server side: also creates R where missing (0700). Empty when R is refused or the path too long.
std::string controlServerName();

// Client side: creates nothing. Empty when R is missing or refused.
std::string controlClientName();

// True when the process at the other end of an accepted connection runs as the current user. The
// endpoint's own access rights already keep others out; this is the second lock on the door.
bool peerIsCurrentUser(std::intptr_t descriptor);

} // namespace platform
