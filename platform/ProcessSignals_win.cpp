#include "platform/ProcessSignals.h"

#include "platform/PlatformLog.h"

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
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kQuitEventSddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        log("Quit event not created, error " + std::to_string(GetLastError()));
        return false;
    }
    SECURITY_ATTRIBUTES attributes {};
    attributes.nLength = sizeof(attributes);
    attributes.lpSecurityDescriptor = descriptor;
    // Created by the first panel, opened by the others: SYNCHRONIZE is all a panel asks for, so it
    // opens one that another user's panel made.
    const std::string name = kQuitEventName;
    quitEvent = CreateEventExW(
        &attributes, std::wstring(name.begin(), name.end()).c_str(), CREATE_EVENT_MANUAL_RESET, SYNCHRONIZE);
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
        // The event stays signalled until the installer is done: one request, one call.
        if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
            onQuit();
            WaitForSingleObject(stopEvent, INFINITE);
        }
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
