#include "platform/UserToken_win.h"

#include <sddl.h>

#include <memory>
#include <vector>

namespace platform {

namespace {

struct HandleCloser
{
    void operator()(HANDLE handle) const
    {
        if (handle)
            CloseHandle(handle);
    }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

// The TOKEN_USER of a process, in a buffer that owns its SID.
std::vector<unsigned char> tokenUser(HANDLE process)
{
    HANDLE raw = nullptr;
    if (!OpenProcessToken(process, TOKEN_QUERY, &raw))
        return {};
    const OwnedHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(raw, TokenUser, nullptr, 0, &size);
    if (size == 0)
        return {};
    std::vector<unsigned char> buffer(size);
    if (!GetTokenInformation(raw, TokenUser, buffer.data(), size, &size))
        return {};
    return buffer;
}

PSID sidOf(std::vector<unsigned char> &user)
{
    return user.empty() ? nullptr : reinterpret_cast<TOKEN_USER *>(user.data())->User.Sid;
}

} // namespace

std::wstring currentUserSid()
{
    std::vector<unsigned char> user = tokenUser(GetCurrentProcess());
    wchar_t *text = nullptr;
    if (!sidOf(user) || !ConvertSidToStringSidW(sidOf(user), &text))
        return {};
    std::wstring result(text);
    LocalFree(text);
    return result;
}

DWORD currentSession()
{
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session))
        return 0;
    return session;
}

bool processRunsAsCurrentUser(DWORD processId)
{
    if (processId == 0)
        return false;
    const OwnedHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    if (!process)
        return false;
    std::vector<unsigned char> theirs = tokenUser(process.get());
    std::vector<unsigned char> ours = tokenUser(GetCurrentProcess());
    return sidOf(theirs) && sidOf(ours) && EqualSid(sidOf(theirs), sidOf(ours));
}

std::wstring userOnlySddl(bool denyNetwork)
{
    const std::wstring user = currentUserSid();
    if (user.empty())
        return {};
    // FA: every file and pipe right, including adding instances of the pipe. NU: network logons.
    return std::wstring(L"D:P") + (denyNetwork ? L"(D;;FA;;;NU)" : L"") + L"(A;;FA;;;SY)(A;;FA;;;" + user + L")";
}

HANDLE createUserOnlyPipe(const std::wstring &name, DWORD openMode, DWORD pipeMode, DWORD instances, DWORD outSize,
    DWORD inSize, DWORD timeoutMs, bool denyNetwork)
{
    const std::wstring sddl = userOnlySddl(denyNetwork);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (sddl.empty()
        || !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        if (GetLastError() == ERROR_SUCCESS)
            SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    SECURITY_ATTRIBUTES attributes {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    HANDLE pipe
        = CreateNamedPipeW(name.c_str(), openMode, pipeMode, instances, outSize, inSize, timeoutMs, &attributes);
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    SetLastError(error);
    return pipe;
}

} // namespace platform
