#pragma once
// Records what the engine would have shown the user.
#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "engine/Reporter.h"

class TestReporter : public nsFTP::IEngineReporter {
public:
    TestReporter() { nsFTP::SetEngineReporter(this); }
    ~TestReporter() override { nsFTP::SetEngineReporter(nullptr); }
    TestReporter(const TestReporter&) = delete;
    TestReporter& operator=(const TestReporter&) = delete;

    void ShowError(const std::wstring& text) override
    {
        std::lock_guard lock(mutex);
        errors.push_back(text);
    }
    void SetStatusText(int pane, const std::wstring& text) override
    {
        std::lock_guard lock(mutex);
        statuses.push_back(std::to_wstring(pane) + L":" + text);
    }
    void SocketActivity() override { ++activity; }

    std::vector<std::wstring> Errors() const
    {
        std::lock_guard lock(mutex);
        return errors;
    }
    std::vector<std::wstring> Statuses() const
    {
        std::lock_guard lock(mutex);
        return statuses;
    }
    int Activity() const { return activity.load(); }
    void Clear()
    {
        std::lock_guard lock(mutex);
        errors.clear();
        statuses.clear();
        activity = 0;
    }

private:
    mutable std::mutex mutex;
    std::vector<std::wstring> errors;
    std::vector<std::wstring> statuses;
    std::atomic<int> activity{0};
};
