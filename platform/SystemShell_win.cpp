#include "platform/SystemShell.h"

#include <windows.h>

#include <climits>

namespace platform {

namespace {

std::string utf8(const std::wstring &text)
{
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const int length
        = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0)
        return {};
    std::string result(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length, nullptr, nullptr);
    return result;
}

std::wstring systemFolder()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::wstring(folder, length);
}

// The command line reaches cmd.exe through QProcess, which quotes an argument with spaces as a
// whole and escapes inner quotes in a way cmd.exe does not read: so the paths carry no spaces
// and no quotes, by their short form where the long one has a space.
std::wstring withoutSpaces(const std::wstring &path)
{
    if (path.empty() || path.find_first_of(L" \"") == std::wstring::npos)
        return path;
    wchar_t shortPath[MAX_PATH] = {};
    const DWORD length = ::GetShortPathNameW(path.c_str(), shortPath, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    const std::wstring result(shortPath, length);
    return result.find_first_of(L" \"") == std::wstring::npos ? result : std::wstring();
}

} // namespace

std::string commandProcessor()
{
    const std::wstring folder = systemFolder();
    return folder.empty() ? std::string() : utf8(folder + L"\\cmd.exe");
}

std::string shellRestartCommand()
{
    const std::wstring taskkill = withoutSpaces(systemFolder() + L"\\taskkill.exe");
    wchar_t windows[MAX_PATH] = {};
    const UINT length = ::GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (taskkill.empty() || length == 0 || length >= MAX_PATH)
        return {};
    const std::wstring explorer = withoutSpaces(std::wstring(windows, length) + L"\\explorer.exe");
    if (explorer.empty())
        return {};
    // The shell window is this session's: taskkill /im would end every session's shell that the
    // panel's user may end, all of them when the panel runs elevated.
    DWORD shellProcess = 0;
    if (const HWND shell = ::GetShellWindow())
        ::GetWindowThreadProcessId(shell, &shellProcess);
    return shellRestartCommandLine(utf8(taskkill), utf8(explorer), shellProcess);
}

std::string shellWorkingFolder()
{
    return utf8(systemFolder());
}

std::string consoleOutputToUtf8(const std::string &bytes)
{
    if (bytes.empty() || bytes.size() > static_cast<std::size_t>(INT_MAX))
        return {};
    const UINT codePage = ::GetOEMCP();
    const int size = static_cast<int>(bytes.size());
    const int length = ::MultiByteToWideChar(codePage, 0, bytes.data(), size, nullptr, 0);
    if (length <= 0)
        return bytes; // still worth logging as it came
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, 0, bytes.data(), size, &text[0], length);
    return utf8(text);
}

} // namespace platform
