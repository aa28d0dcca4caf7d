// Posts WM_WTSSESSION_CHANGE to a program's window, as the system does when a session connects to
// or leaves the console, so the tests can drive a hand-over under Wine.
// Usage: orvelin-session-change.exe "WINDOW TITLE" console-connect|console-disconnect|remote-connect [SESSION]
// SESSION defaults to this process's own session (the program's, under Wine).
#include <windows.h>

#include <wtsapi32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: %s TITLE console-connect|console-disconnect|remote-connect [SESSION]\n", argv[0]);
        return 2;
    }
    const struct
    {
        const char *name;
        WPARAM event;
    } events[] = { { "console-connect", WTS_CONSOLE_CONNECT }, { "console-disconnect", WTS_CONSOLE_DISCONNECT },
        { "remote-connect", WTS_REMOTE_CONNECT } };
    WPARAM event = 0;
    for (const auto &known : events)
        if (std::strcmp(argv[2], known.name) == 0)
            event = known.event;
    if (event == 0) {
        std::fprintf(stderr, "unknown event %s\n", argv[2]);
        return 2;
    }
    DWORD session = 0;
    if (argc == 4)
        session = static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10));
    else if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return 1;
    const int length = MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, nullptr, 0);
    std::wstring title(length > 0 ? length : 1, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, argv[1], -1, &title[0], length);
    HWND window = FindWindowW(nullptr, title.c_str());
    if (!window) {
        std::fprintf(stderr, "no window titled %s\n", argv[1]);
        return 1;
    }
    if (!PostMessageW(window, WM_WTSSESSION_CHANGE, event, static_cast<LPARAM>(session)))
        return 1;
    std::printf("posted %s of session %lu\n", argv[2], static_cast<unsigned long>(session));
    return 0;
}
