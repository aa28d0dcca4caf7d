#pragma once

namespace platform {

// Opens the system's sound settings without waiting for them. Returns false when nothing could
// be opened, so the caller can tell the user.
bool openSoundPanel();

} // namespace platform
