#include "platform/PipePort_win.h"
#include "platform/PipePort.h"
#include "platform/UserToken_win.h"

#include <windows.h>

#include <atomic>

namespace platform {

namespace {

bool failWithLastError()
{
    return pipeFail(static_cast<std::uint32_t>(::GetLastError()));
}

std::wstring wide(const std::string &text)
{
    if (text.empty())
        return {};
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &result[0], length);
    return result;
}

HANDLE toHandle(PortHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

} // namespace

PortHandle pipeOpen(const std::string &name)
{
    // Identification only: a server behind this name may learn who we are but cannot act as us.
    HANDLE handle = ::CreateFileW(wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        failWithLastError();
        return kInvalidHandle;
    }
    return reinterpret_cast<PortHandle>(handle);
}

bool pipeWait(const std::string &name, int timeoutMs)
{
    if (!::WaitNamedPipeW(wide(name).c_str(), static_cast<DWORD>(timeoutMs)))
        return failWithLastError();
    return true;
}

bool pipeSetMessageMode(PortHandle handle)
{
    DWORD mode = PIPE_READMODE_MESSAGE;
    if (!::SetNamedPipeHandleState(toHandle(handle), &mode, nullptr, nullptr))
        return failWithLastError();
    return true;
}

bool pipeWrite(PortHandle handle, const void *data, std::size_t length)
{
    if (length > MAXDWORD)
        return pipeFail(PipeError::MoreData);
    DWORD written = 0;
    if (!::WriteFile(toHandle(handle), data, static_cast<DWORD>(length), &written, nullptr))
        return failWithLastError();
    return written == length || pipeFail(PipeError::BrokenPipe);
}

void pipeClose(PortHandle handle)
{
    if (handle != kInvalidHandle)
        ::CloseHandle(toHandle(handle));
}

DWORD pipeServerOpenMode()
{
    // The first instance of the name only: otherwise another process already serving it could
    // take the driver's messages.
    return PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
}

// The server handle is overlapped so that every wait also watches the stop event: stop() wakes
// a blocked connect or read, which cancels its own I/O and waits for the cancellation to complete
// before returning, so nothing the kernel may still write to is freed early.
struct PipeServerPort::Impl
{
    std::wstring name;
    HANDLE pipe = INVALID_HANDLE_VALUE;
    HANDLE ioEvent = nullptr;
    HANDLE stopEvent = nullptr;
    std::atomic<bool> stopped { false };

    // Readies overlapped for one operation on the pipe; false (with Aborted once stopped, else
    // noPipe while there is no pipe) when there is nothing to wait on.
    bool begin(OVERLAPPED &overlapped, std::uint32_t noPipe)
    {
        if (stopped.load())
            return pipeFail(PipeError::Aborted);
        if (pipe == INVALID_HANDLE_VALUE)
            return pipeFail(noPipe);
        overlapped = OVERLAPPED {};
        overlapped.hEvent = ioEvent;
        ::ResetEvent(ioEvent);
        return true;
    }

    // Completes one pending overlapped operation. timeoutMs INFINITE waits for ever.
    bool finish(OVERLAPPED &overlapped, DWORD timeoutMs, DWORD &transferred)
    {
        HANDLE events[2] = { stopEvent, ioEvent };
        const DWORD woke = ::WaitForMultipleObjects(2, events, FALSE, timeoutMs);
        if (woke == WAIT_OBJECT_0 + 1) {
            if (!::GetOverlappedResult(pipe, &overlapped, &transferred, FALSE))
                return failWithLastError();
            return true;
        }
        ::CancelIoEx(pipe, &overlapped);
        const BOOL completed = ::GetOverlappedResult(pipe, &overlapped, &transferred, TRUE);
        if (woke == WAIT_TIMEOUT) {
            // It may have completed just before the cancellation took hold.
            return completed || pipeFail(PipeError::Timeout);
        }
        return pipeFail(PipeError::Aborted);
    }
};

PipeServerPort::PipeServerPort(std::string name)
    : d(new Impl)
{
    d->name = wide(name);
    d->ioEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    d->stopEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
}

PipeServerPort::~PipeServerPort()
{
    close();
    if (d->ioEvent)
        ::CloseHandle(d->ioEvent);
    if (d->stopEvent)
        ::CloseHandle(d->stopEvent);
}

bool PipeServerPort::create()
{
    if (d->pipe != INVALID_HANDLE_VALUE)
        return true;
    if (!d->ioEvent || !d->stopEvent)
        return failWithLastError();
    // One instance for the whole run, reused for every client; remote clients are refused so no
    // other machine can drive the panel. Only this user and SYSTEM may open it: with the default
    // access list any local user could read from it and so hold the one instance.
    d->pipe = createUserOnlyPipe(d->name, pipeServerOpenMode(),
        PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, PIPE_UNLIMITED_INSTANCES,
        65536, 65536, 300);
    if (d->pipe == INVALID_HANDLE_VALUE)
        return failWithLastError();
    return true;
}

bool PipeServerPort::isOpen() const
{
    return d->pipe != INVALID_HANDLE_VALUE;
}

bool PipeServerPort::connect()
{
    OVERLAPPED overlapped;
    // A server that was never created has no handle to connect on.
    if (!d->begin(overlapped, PipeError::InvalidHandle))
        return false;
    if (::ConnectNamedPipe(d->pipe, &overlapped))
        return true;
    const DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED)
        return true; // the client came before the call
    // The client came, wrote and left before the call: its message still waits in the pipe, and
    // the read takes it (or reports the broken pipe); the disconnect after it frees the instance.
    if (error == ERROR_NO_DATA)
        return true;
    if (error != ERROR_IO_PENDING)
        return pipeFail(error);
    DWORD transferred = 0;
    return d->finish(overlapped, INFINITE, transferred);
}

bool PipeServerPort::read(void *buffer, std::size_t capacity, std::size_t &received)
{
    received = 0;
    OVERLAPPED overlapped;
    if (!d->begin(overlapped, PipeError::FileNotFound))
        return false;
    DWORD transferred = 0;
    if (!::ReadFile(d->pipe, buffer, static_cast<DWORD>(capacity), nullptr, &overlapped)) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_IO_PENDING)
            return pipeFail(error); // ERROR_MORE_DATA for a message longer than the buffer
        if (!d->finish(overlapped, static_cast<DWORD>(kPipeReadTimeoutMs), transferred))
            return false;
    } else if (!::GetOverlappedResult(d->pipe, &overlapped, &transferred, FALSE)) {
        return failWithLastError();
    }
    received = transferred;
    return true;
}

void PipeServerPort::disconnect()
{
    if (d->pipe != INVALID_HANDLE_VALUE)
        ::DisconnectNamedPipe(d->pipe);
}

void PipeServerPort::stop()
{
    d->stopped.store(true);
    if (d->stopEvent)
        ::SetEvent(d->stopEvent);
}

bool PipeServerPort::stopped() const
{
    return d->stopped.load();
}

void PipeServerPort::close()
{
    if (d->pipe == INVALID_HANDLE_VALUE)
        return;
    ::DisconnectNamedPipe(d->pipe);
    ::CloseHandle(d->pipe);
    d->pipe = INVALID_HANDLE_VALUE;
}

} // namespace platform
