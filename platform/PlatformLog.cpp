#include "platform/PlatformLog.h"

#include <cstdio>
#include <mutex>
#include <utility>

namespace platform {

namespace {
std::mutex sinkMutex;
LogSink &sink()
{
    static LogSink instance;
    return instance;
}
} // namespace

void setLogSink(LogSink newSink)
{
    std::lock_guard<std::mutex> lock(sinkMutex);
    sink() = std::move(newSink);
}

void log(const std::string &line)
{
    LogSink current;
    {
        std::lock_guard<std::mutex> lock(sinkMutex);
        current = sink();
    }
    if (current)
        current(line);
    else
        std::fprintf(stderr, "%s\n", line.c_str());
}

} // namespace platform
