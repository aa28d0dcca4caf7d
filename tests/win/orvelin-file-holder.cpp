// A program that gets in the way, for the Windows tests:
//   orvelin-file-holder hold FILE   holds FILE open with no sharing until it is ended by force; it
//                                   has no window and takes no quit request
//   orvelin-file-holder touch FILE  creates FILE (a stand-in for a program that is started)
#include <windows.h>

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 3)
        return 2;
    const bool hold = std::strcmp(argv[1], "hold") == 0;
    HANDLE file = CreateFileA(argv[2], GENERIC_READ, 0, nullptr, hold ? OPEN_EXISTING : CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "orvelin-file-holder: cannot open %s, error %lu\n", argv[2], GetLastError());
        return 1;
    }
    if (!hold)
        return CloseHandle(file) ? 0 : 1;
    std::printf("holding %s\n", argv[2]);
    std::fflush(stdout);
    Sleep(INFINITE);
    return 0;
}
