#pragma once
// Waiting for a condition another thread or process brings about.
#include <chrono>
#include <functional>
#include <thread>

namespace testsupport {

// Long enough that only a hang runs out of it, on a loaded machine under Wine too.
inline constexpr std::chrono::milliseconds kPatience{20000};

// Polls done() until it holds; false when it still does not after `patience`.
inline bool PollUntil(const std::function<bool()>& done, std::chrono::milliseconds patience = kPatience)
{
    const auto deadline = std::chrono::steady_clock::now() + patience;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

} // namespace testsupport
