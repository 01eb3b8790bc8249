#pragma once
// The exception an action raises, so a test can look at its message and fields.

#include <functional>
#include <stdexcept>

template <class E>
E Caught(const std::function<void()>& action)
{
    try {
        action();
    } catch (const E& e) {
        return e;
    }
    throw std::logic_error("no failure raised");
}
