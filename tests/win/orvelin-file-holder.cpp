// A program that gets in the way, for the Windows tests:
//   orvelin-file-holder hold FILE   holds FILE open with no sharing until it is ended by force; it
//                                   has no window and takes no quit request
//   orvelin-file-holder panel FILE  holds FILE like a running panel holds its program, and quits
//                                   (status 0, "quit requested") when the installer asks panels to
//   orvelin-file-holder touch FILE  creates FILE (a stand-in for a program that is started)
#include "platform/ProcessSignals.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const bool touch = std::strcmp(argv[1], "touch") == 0;
    HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, touch ? CREATE_ALWAYS : OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "orvelin-file-holder: cannot open %s, error %lu\n", argv[2], GetLastError());
        return 1;
    }
    if (touch)
        return CloseHandle(file) ? 0 : 1;
    HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (std::strcmp(argv[1], "panel") == 0 && !platform::watchQuitRequests([quit] { SetEvent(quit); }))
        return 1;
    std::printf("holding %s\n", argv[2]);
    std::fflush(stdout);
    WaitForSingleObject(quit, INFINITE);
    platform::stopQuitRequests();
    CloseHandle(file);
    std::printf("quit requested\n");
    return 0;
}
