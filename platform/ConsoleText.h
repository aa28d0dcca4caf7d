#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Writes UTF-8 text to stdout or stderr so the reader sees it as written: a Windows console gets
// its own wide characters (so Chinese shows in any code page), a pipe or a file gets UTF-8, and a
// Linux terminal UTF-8 as it is. Flushed at once, so a watching script reads each line as it comes.
void writeConsoleText(std::FILE *stream, const std::string &utf8);

} // namespace platform
