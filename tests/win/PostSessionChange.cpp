// Posts WM_WTSSESSION_CHANGE to a program's window, as the system does when a session connects to
// or leaves the console, so the tests can drive a hand-over under Wine.
// Usage: orvelin-session-change.exe "WINDOW TITLE" EVENT [SESSION]
// EVENT is the message's wParam (1 console connect, 2 console disconnect, 3 remote connect);
// SESSION defaults to this process's own session, the program's under Wine.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s TITLE EVENT [SESSION]\n", argv[0]);
        return 2;
    }
    DWORD session = 0;
    if (argc == 4)
        session = std::strtoul(argv[3], nullptr, 10);
    else if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return 1;
    std::wstring title(MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, &title[0], static_cast<int>(title.size()));
    HWND window = FindWindowW(nullptr, title.c_str());
    if (!window || !PostMessageW(window, WM_WTSSESSION_CHANGE, std::strtoul(argv[2], nullptr, 10), session)) {
        std::fprintf(stderr, "no window titled %s took the message\n", argv[1]);
        return 1;
    }
    std::printf("posted event %s of session %lu\n", argv[2], session);
    return 0;
}
