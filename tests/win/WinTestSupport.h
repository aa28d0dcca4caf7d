#pragma once

// What the Wine tests share: the checks and a handle of no device.
#include "tests/support/Checks.h"

#include <windows.h>

// A handle that is no pipe and no device: a new file in the temporary folder, gone once closed.
inline HANDLE openSelfDeletingTempFile()
{
    char folder[MAX_PATH];
    char path[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    GetTempFileNameA(folder, "orv", 0, path);
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
        FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}
