#include "platform/SoundPanel.h"

#include <windows.h>

#include <shellapi.h>

#include <string>

namespace platform {

bool openSoundPanel()
{
    // By full path from the system folder: a control.exe planted earlier on the search path or in
    // the working folder is never started.
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::wstring program = std::wstring(folder, length) + L"\\control.exe";
    HINSTANCE result = ShellExecuteW(nullptr, L"open", program.c_str(), L"mmsys.cpl", nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success as any value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace platform
