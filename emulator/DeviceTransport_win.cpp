// The device interface as the relay driver on a root-enumerated device: the driver hands each of
// the panel's requests to this process, which keeps a Wait pending on the relay's own interface
// and answers each request with a second one.
#include "emulator/DeviceTransport.h"

#include "emulator/EmulatorCore.h"
#include "emulator/win/RelayProtocol.h"
#include "emulator/win/RootDevice.h"
#include "platform/DeviceInterface_win.h"
#include "platform/PlatformLog.h"

#include <windows.h>

#include <winioctl.h>

#include <cstring>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace emu {

namespace {

const GUID kRelayInterface = ORVELIN_RELAY_GUID_INIT;
const GUID kPanelInterface = { 0x6EB9AB90, 0xB331, 0x4508, { 0xB9, 0x03, 0x48, 0xAA, 0xA2, 0x6E, 0xA4, 0xF1 } };

// Wine may list a new device's interfaces a little after its installation returned.
constexpr int kInterfaceWaitMs = 10000;
constexpr int kPollMs = 10;

std::wstring widen(const std::string &text)
{
    if (text.empty())
        return {};
    std::wstring wide(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(wide.size() - 1);
    return wide;
}

std::string narrow(const std::wstring &wide)
{
    if (wide.empty())
        return {};
    std::string text(
        static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr)),
        '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], static_cast<int>(text.size()), nullptr, nullptr);
    text.resize(text.size() - 1);
    return text;
}

HANDLE openRelay()
{
    for (int waited = 0; waited < kInterfaceWaitMs; waited += kPollMs) {
        HANDLE file = platform::openFirstDeviceInterface(kRelayInterface);
        if (file != INVALID_HANDLE_VALUE)
            return file;
        Sleep(kPollMs);
    }
    return INVALID_HANDLE_VALUE;
}

// Until the driver has the emulator's first Wait, it fails the panel's requests at once.
bool waitUntilReady()
{
    HANDLE probe = openRelay();
    if (probe == INVALID_HANDLE_VALUE)
        return false;
    bool ready = false;
    for (int waited = 0; !ready && waited < kInterfaceWaitMs; waited += kPollMs) {
        DWORD none = 0;
        ready = DeviceIoControl(probe, ORVELIN_RELAY_READY, nullptr, 0, nullptr, 0, &none, nullptr) != FALSE;
        if (!ready)
            Sleep(kPollMs);
    }
    CloseHandle(probe);
    return ready;
}

std::string fileBytes(const std::wstring &path)
{
    std::string bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

std::wstring systemDriverFile()
{
    wchar_t folder[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return {};
    return std::wstring(folder) + L"\\drivers\\orvelin_relay.sys";
}

} // namespace

std::string defaultDeviceLocation()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    std::wstring folder(path, length);
    const std::size_t slash = folder.find_last_of(L"\\/");
    return narrow(slash == std::wstring::npos ? L"." : folder.substr(0, slash));
}

struct DeviceTransport::Impl
{
    Impl(std::string folder, EmulatorCore &device)
        : location(std::move(folder))
        , core(device)
    { }

    const std::string location;
    EmulatorCore &core;

    mutable std::mutex mutex; // one plug or unplug at a time
    std::string interfaceName;
    std::string panelPath;
    HANDLE relay = INVALID_HANDLE_VALUE;
    std::thread answerer;

    std::wstring infPath() const
    {
        const std::wstring relative = widen(location) + L"\\orvelin_relay.inf";
        wchar_t full[MAX_PATH] = {};
        const DWORD length = GetFullPathNameW(relative.c_str(), MAX_PATH, full, nullptr);
        return length == 0 || length >= MAX_PATH ? relative : std::wstring(full);
    }

    // The drivers folder keeps an older relay from an earlier installation; installing does not
    // replace it, so the one beside the INF is copied over it first.
    void refreshDriverFile() const
    {
        const std::wstring target = systemDriverFile();
        const std::wstring source = widen(location) + L"\\orvelin_relay.sys";
        if (target.empty() || GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES
            || fileBytes(target) == fileBytes(source))
            return;
        if (!CopyFileW(source.c_str(), target.c_str(), FALSE))
            platform::log("Emulator cannot refresh the relay driver, error " + std::to_string(GetLastError()));
    }

    void doUnplug()
    {
        std::string error;
        // Removing the device completes the pending Wait, which ends the answerer.
        if (!emuwin::removeRootDevice(error))
            platform::log("Emulator cannot remove the device: " + error);
        if (relay != INVALID_HANDLE_VALUE) {
            CancelIoEx(relay, nullptr);
            if (answerer.joinable())
                answerer.join();
            CloseHandle(relay);
            relay = INVALID_HANDLE_VALUE;
        }
        panelPath.clear();
        core.unplugged();
    }

    void doPlug(std::uint32_t model)
    {
        doUnplug();
        refreshDriverFile();
        std::string error;
        if (!emuwin::createRootDevice(infPath(), error)) {
            platform::log("Emulator cannot install the device: " + error);
            return;
        }
        relay = openRelay();
        if (relay == INVALID_HANDLE_VALUE) {
            platform::log("Emulator finds no relay interface on its device");
            emuwin::removeRootDevice(error);
            return;
        }
        // The device model learns of the new device before its first request can arrive.
        core.plugged(model);
        answerer = std::thread([this, handle = relay] { answerAll(handle); });
        if (!waitUntilReady()) {
            platform::log("Emulator relay does not take requests");
            doUnplug();
            return;
        }
        panelPath = narrow(platform::firstDeviceInterfacePath(kPanelInterface));
    }

    // Serves until the Wait fails: the device went, or the handle was cancelled.
    void answerAll(HANDLE handle)
    {
        std::vector<std::uint8_t> request(sizeof(RelayRequest) + ORVELIN_RELAY_MAX_DATA);
        std::vector<std::uint8_t> answer;
        std::map<unsigned int, int> connections; // the driver's handle number -> the log's
        for (;;) {
            DWORD got = 0;
            if (!DeviceIoControl(
                    handle, ORVELIN_RELAY_WAIT, nullptr, 0, request.data(), DWORD(request.size()), &got, nullptr))
                return;
            if (got < sizeof(RelayRequest))
                continue;
            RelayRequest header;
            std::memcpy(&header, request.data(), sizeof(header));
            auto known = connections.find(header.connection);
            if (known == connections.end())
                known = connections.emplace(header.connection, core.newConnection()).first;

            RequestRecord record;
            record.connection = known->second;
            record.code = header.code;
            record.outputLength = header.outputLength;
            const bool wellFormed = got - sizeof(header) == header.inputLength;
            if (wellFormed)
                record.input.assign(request.begin() + sizeof(header), request.begin() + got);
            const Verdict verdict = core.answer(std::move(record), wellFormed);

            RelayAnswer reply {};
            reply.id = header.id;
            const std::uint8_t stub[3] = { 1, 0, 0 };
            const std::uint8_t *data = verdict.reply.data.data();
            std::size_t length = 0;
            switch (verdict.mode) {
            case FaultMode::Off:
            case FaultMode::Refuse:
                reply.ok = verdict.reply.ok ? 1 : 0;
                length = verdict.reply.ok ? verdict.reply.data.size() : 0;
                break;
            case FaultMode::Partial:
                reply.flags = ORVELIN_RELAY_PARTIAL;
                length = verdict.reply.data.size();
                break;
            case FaultMode::Short:
                // A driver cannot send a malformed reply; its nearest is fewer bytes than asked for.
                reply.ok = 1;
                data = stub;
                length = sizeof(stub);
                break;
            case FaultMode::Silent:
                continue; // the request stays pending until the device goes
            case FaultMode::Close:
                reply.flags = ORVELIN_RELAY_CLOSE;
                break;
            }
            reply.length = static_cast<unsigned int>(length);
            answer.resize(sizeof(reply) + length);
            std::memcpy(answer.data(), &reply, sizeof(reply));
            if (length > 0)
                std::memcpy(answer.data() + sizeof(reply), data, length);
            DWORD none = 0;
            // Fails only when the panel closed its handle meanwhile; nobody waits for the answer then.
            DeviceIoControl(
                handle, ORVELIN_RELAY_ANSWER, answer.data(), DWORD(answer.size()), nullptr, 0, &none, nullptr);
        }
    }
};

DeviceTransport::DeviceTransport(std::string location, EmulatorCore &core)
    : d(std::make_unique<Impl>(std::move(location), core))
{ }

DeviceTransport::~DeviceTransport()
{
    stop();
}

bool DeviceTransport::start(std::uint32_t model)
{
    plug(model);
    return d->core.state().plugged;
}

void DeviceTransport::stop()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->relay != INVALID_HANDLE_VALUE)
        d->doUnplug();
}

void DeviceTransport::plug(std::uint32_t model)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->doPlug(model);
}

void DeviceTransport::unplug()
{
    std::lock_guard<std::mutex> lock(d->mutex);
    d->doUnplug();
}

const std::string &DeviceTransport::location() const
{
    return d->location;
}

void DeviceTransport::setInterfaceName(const std::string &name)
{
    // Windows names the interface after its device; the name is only kept for interfacePath().
    std::lock_guard<std::mutex> lock(d->mutex);
    d->interfaceName = name;
}

std::string DeviceTransport::interfacePath() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->panelPath;
}

} // namespace emu
