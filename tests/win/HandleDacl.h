#pragma once

// Read back what the Windows layer handed to the system, for the Wine tests (QtTest ones too).
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>

// The access list of a handle (a pipe, an event) as SDDL; empty when it cannot be read.
inline std::wstring daclOf(HANDLE handle)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(
            handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor)
        != ERROR_SUCCESS)
        return {};
    wchar_t *text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(
            descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}
