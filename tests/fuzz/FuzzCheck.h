#pragma once

#include <cstdio>
#include <cstdlib>

// Names the failed check's file and line before the abort, so a corpus run says what broke.
inline void fuzzCheck(bool condition, const char *file, int line)
{
    if (condition)
        return;
    std::fprintf(stderr, "check failed at %s:%d\n", file, line);
    std::abort();
}

#define require(condition) fuzzCheck((condition), __FILE__, __LINE__)
