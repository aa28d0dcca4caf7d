#pragma once

// What the Wine tests share: the checks, a handle of no device and the access list of a handle.
#include "tests/support/Checks.h"
#include "tests/win/HandleDacl.h"

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
