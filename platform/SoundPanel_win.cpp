#include "platform/SoundPanel.h"

#include <windows.h>

#include <shellapi.h>

namespace platform {

bool openSoundPanel()
{
    HINSTANCE result = ShellExecuteA(nullptr, "open", "control.exe", "mmsys.cpl", nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success as any value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

} // namespace platform
