#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <utility>
#include <vector>

namespace emu {

// What one thread receives and another reads: the messages so far, in order, and a wait until
// enough of them are in. The peers keep what the panel sent in one; tests collect log lines.
template <typename T> class Inbox
{
public:
    void push(T message)
    {
        {
            std::lock_guard<std::mutex> lock(mutex);
            messages.push_back(std::move(message));
        }
        arrived.notify_all();
    }

    std::vector<T> all() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }

    std::size_t size() const
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages.size();
    }

    // Everything so far, leaving the inbox empty.
    std::vector<T> take()
    {
        std::lock_guard<std::mutex> lock(mutex);
        std::vector<T> out;
        out.swap(messages);
        return out;
    }

    void clear() { take(); }

    // Waits until ready(messages so far) holds; false on time-out.
    template <typename Ready> bool waitUntil(Ready ready, int timeoutMs) const
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ready(messages); });
    }

    // Waits until at least count messages are in; false on time-out.
    bool waitFor(std::size_t count, int timeoutMs) const
    {
        return waitUntil([count](const std::vector<T> &received) { return received.size() >= count; }, timeoutMs);
    }

private:
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<T> messages;
};

} // namespace emu
