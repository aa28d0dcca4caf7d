#include "platform/ProcessSignals.h"

#include "platform/PlatformLog.h"
#include "platform/UserToken_win.h"

#include <windows.h>

#include <sddl.h>

#include <thread>

namespace platform {

namespace {

HANDLE quitEvent = nullptr;
HANDLE stopEvent = nullptr;
std::thread watcher;

} // namespace

// A Windows GUI program is asked to end through its windows and the session, which Qt handles.
PortHandle terminationRequests()
{
    return kInvalidHandle;
}

int takeTerminationRequests(PortHandle)
{
    return 0;
}

bool watchQuitRequests(std::function<void()> onQuit)
{
    if (quitEvent)
        return true;
    // The installer runs elevated, and may run as another administrator than the panel's user.
    const std::wstring user = currentUserSid();
    const std::wstring sddl = L"D:P(A;;GA;;;SY)(A;;GA;;;BA)" + (user.empty() ? L"" : L"(A;;GA;;;" + user + L")");
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        log("Quit event not created, error " + std::to_string(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    // Auto-reset: one signal, one request.
    quitEvent = CreateEventW(&attributes, FALSE, FALSE, L"Local\\OrvelinDriverQuit");
    const DWORD error = GetLastError();
    LocalFree(descriptor);
    stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!quitEvent || !stopEvent) {
        log("Quit event not created, error " + std::to_string(error));
        stopQuitRequests();
        return false;
    }
    watcher = std::thread([onQuit = std::move(onQuit)] {
        HANDLE events[2] = { stopEvent, quitEvent };
        while (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
            onQuit();
    });
    return true;
}

void stopQuitRequests()
{
    if (stopEvent)
        SetEvent(stopEvent);
    if (watcher.joinable())
        watcher.join();
    for (HANDLE *event : { &quitEvent, &stopEvent }) {
        if (*event)
            CloseHandle(*event);
        *event = nullptr;
    }
}

std::string instanceKeySuffix()
{
    return std::string();
}

} // namespace platform
