#pragma once

#include <cstdint>
#include <string>

// The name the panel's control channel listens on and scripts connect to. Linux: the socket
// "control" in the runtime folder R; Windows: a pipe named after the user's SID and the session.
namespace platform {

// Server side: also creates R where missing (0700). Empty when R is refused or the path too long.
// Windows: also takes the pipe's name as its first instance (private to the user, remote clients
// refused) and keeps it for the whole run; empty when another program holds the name already.
std::string controlServerName();

// Client side: creates nothing. Empty when R is missing or refused.
std::string controlClientName();

// True when the process at the other end of an accepted connection runs as the current user (and,
// on Windows, on this machine). The endpoint's own access rights already keep others out; this is
// the second lock on the door.
bool peerIsCurrentUser(std::intptr_t descriptor);

// True when the client of an accepted connection runs in this panel's session (Windows: the same
// user signed in twice, by fast user switching or remote desktop, has a panel in each session).
// Linux: always true.
bool peerIsInThisSession(std::intptr_t descriptor);

// The client's check of the server at the other end of a connection: true when it runs as the
// current user, so that a request is never sent to a program that took the channel's name.
bool serverIsCurrentUser(std::intptr_t descriptor);

} // namespace platform
