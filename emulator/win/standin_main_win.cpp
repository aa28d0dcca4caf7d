// orvelin-standin: plugs the emulated interface in (install INF) or unplugs it (remove).
#include "emulator/win/RootDevice.h"

#include <windows.h>

#include <cstdio>
#include <string>

int wmain(int argc, wchar_t **argv)
{
    const std::wstring command = argc > 1 ? argv[1] : L"";
    std::string error;
    if (command == L"install" && argc == 3) {
        wchar_t full[MAX_PATH] = {};
        if (!GetFullPathNameW(argv[2], MAX_PATH, full, nullptr)) {
            std::fprintf(stderr, "orvelin-standin: bad INF path\n");
            return 2;
        }
        // A second device would be a second interface; the panel uses only the first.
        emuwin::removeRootDevice(error);
        if (!emuwin::createRootDevice(full, error)) {
            std::fprintf(stderr, "orvelin-standin: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    if (command == L"remove" && argc == 2) {
        if (!emuwin::removeRootDevice(error)) {
            std::fprintf(stderr, "orvelin-standin: %s\n", error.c_str());
            return 1;
        }
        return 0;
    }
    std::fprintf(stderr, "usage: orvelin-standin install FILE.inf | remove\n");
    return 2;
}
