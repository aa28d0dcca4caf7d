// Arguments the Windows platform layer hands to the system where Wine cannot show their effect:
// the driver's interface class, the pipe server's open mode, the command processor of the shell
// restart and the code page its output is read in.
#include "platform/DriverPort.h"
#include "platform/DriverPort_win.h"
#include "platform/PipePort_win.h"
#include "platform/SystemShell.h"

#include <windows.h>

#include <objbase.h>

#include <cstdio>
#include <string>

namespace {

int failures = 0;

void check(bool condition, const char *what, int line)
{
    if (!condition) {
        std::fprintf(stderr, "tst_PlatformWin.cpp:%d: check failed: %s\n", line, what);
        ++failures;
    }
}

#define CHECK(condition) check((condition), #condition, __LINE__)

} // namespace

int main()
{
    using namespace platform;

    // The GUID the port enumerates is the class its text form names (the folder name on Linux).
    const std::string text = kDriverInterfaceGuid;
    CHECK(text == "{6EB9AB90-B331-4508-B903-48AAA26EA4F1}");
    const std::wstring wideText(text.begin(), text.end());
    GUID parsed {};
    CHECK(IIDFromString(wideText.c_str(), &parsed) == S_OK);
    CHECK(IsEqualGUID(parsed, driverInterfaceClass()));

    // Overlapped duplex, and only as the first instance of its name.
    CHECK(pipeServerOpenMode() == (PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE));
    CHECK(FILE_FLAG_FIRST_PIPE_INSTANCE == 0x00080000);

    // cmd.exe by full path from the system folder, and it is there.
    const std::string command = commandProcessor();
    char folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
    CHECK(length > 0 && length < MAX_PATH);
    CHECK(command == std::string(folder, length) + "\\cmd.exe");
    CHECK(command.size() > 2 && command[1] == ':');
    CHECK(GetFileAttributesA(command.c_str()) != INVALID_FILE_ATTRIBUTES);

    // Console output is read in the OEM code page: byte 0x81 is u-umlaut in code pages 437 and
    // 850, where the ANSI page 1252 has no character at all.
    CHECK(consoleOutputToUtf8("").empty());
    CHECK(consoleOutputToUtf8("SUCCESS: explorer.exe\r\n") == "SUCCESS: explorer.exe\r\n");
    const UINT oem = GetOEMCP();
    if (oem == 437 || oem == 850)
        CHECK(consoleOutputToUtf8("f\x81r") == "f\xC3\xBCr");
    else
        std::printf("tst_PlatformWin: OEM code page %u, the umlaut check is skipped\n", oem);

    if (failures == 0)
        std::printf("tst_PlatformWin: all checks passed\n");
    return failures == 0 ? 0 : 1;
}
