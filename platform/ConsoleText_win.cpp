#include "platform/ConsoleText.h"

#include <windows.h>

#include <string>

namespace platform {

void writeConsoleText(std::FILE *stream, const std::string &utf8)
{
    std::fflush(stream);
    HANDLE handle = GetStdHandle(stream == stderr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    // A console takes wide characters whatever its code page; anything else gets the UTF-8 bytes.
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) && !utf8.empty()
        && utf8.size() < 0x7fffffff) {
        const int size = static_cast<int>(utf8.size());
        const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
        if (length > 0) {
            std::wstring wide(static_cast<std::size_t>(length), L'\0');
            MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
            DWORD written = 0;
            if (WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
                return;
        }
    }
    std::fwrite(utf8.data(), 1, utf8.size(), stream);
    std::fflush(stream);
}

} // namespace platform
