#include "emulator/CommandLoop.h"

#include <windows.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

namespace emu {

namespace {

// Shared with the reading thread, which may still sit in ReadFile when the loop ends; it owns
// a reference, so nothing it touches goes away under it.
struct Input
{
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> chunks;
    bool terminate = false;
};

std::shared_ptr<Input> &input()
{
    static std::shared_ptr<Input> shared = std::make_shared<Input>();
    return shared;
}

BOOL WINAPI onConsoleEvent(DWORD)
{
    const std::shared_ptr<Input> state = input();
    std::lock_guard<std::mutex> lock(state->mutex);
    state->terminate = true;
    state->changed.notify_all();
    return TRUE;
}

} // namespace

void CommandLoop::usePipeFolder(const std::string &) { }

bool CommandLoop::watchTermination()
{
    return SetConsoleCtrlHandler(onConsoleEvent, TRUE) != FALSE;
}

void CommandLoop::run()
{
    std::shared_ptr<Input> state = input();
    std::thread([state] {
        const HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
        char chunk[4096];
        DWORD got = 0;
        while (in != nullptr && in != INVALID_HANDLE_VALUE && ReadFile(in, chunk, sizeof(chunk), &got, nullptr)
            && got > 0) {
            std::lock_guard<std::mutex> lock(state->mutex);
            state->chunks.emplace_back(chunk, got);
            state->changed.notify_all();
        }
    }).detach();

    while (!quitting) {
        std::string chunk;
        {
            std::unique_lock<std::mutex> lock(state->mutex);
            // After the end of input only a termination request ends the loop.
            state->changed.wait(lock, [&] { return state->terminate || !state->chunks.empty(); });
            if (state->terminate)
                return;
            chunk = std::move(state->chunks.front());
            state->chunks.pop_front();
        }
        feed(chunk.data(), chunk.size());
    }
}

} // namespace emu
