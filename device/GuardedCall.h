#pragma once

#include <exception>
#include <iostream>

// Runs one vendor-command operation and gives its result; an exception ends in the operation's
// failure text followed by the exception's own text on the standard error stream, and false.
template <typename Operation> bool guardedCall(const char *failureText, Operation operation)
{
    try {
        return operation();
    } catch (const std::exception &error) {
        std::cerr << failureText << error.what() << std::endl;
    } catch (...) {
        std::cerr << failureText << "Unknown error" << std::endl;
    }
    return false;
}
