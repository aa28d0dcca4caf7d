#pragma once

// The checks of the plain test programs without QtTest (the Wine tests and the pipe port checks
// both systems run). A failed check prints its file, line and condition and counts; main
// returns whether failures stayed 0.
#include <cstdio>

namespace {

int failures = 0;

void check(bool condition, const char *what, const char *file, int line)
{
    if (!condition) {
        std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
        ++failures;
    }
}

} // namespace

#define CHECK(condition) check((condition), #condition, __FILE__, __LINE__)

#define CHECK_EQ(actual, expected)                                                                                     \
    do {                                                                                                               \
        const auto actualValue = (actual);                                                                             \
        const auto expectedValue = (expected);                                                                         \
        if (!(actualValue == expectedValue)) {                                                                         \
            std::fprintf(stderr, "%s:%d: %s is %lld, expected %lld\n", __FILE__, __LINE__, #actual,                    \
                static_cast<long long>(actualValue), static_cast<long long>(expectedValue));                           \
            ++failures;                                                                                                \
        }                                                                                                              \
    } while (false)
