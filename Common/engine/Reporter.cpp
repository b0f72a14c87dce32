#include "engine/Reporter.h"

#include <atomic>

namespace nsFTP {
namespace {
std::atomic<IEngineReporter*> installedReporter{nullptr};
thread_local int quietDepth = 0;
thread_local CapturedErrors* capture = nullptr;
} // namespace

QuietErrors::QuietErrors() noexcept { ++quietDepth; }

QuietErrors::~QuietErrors() { --quietDepth; }

CapturedErrors::CapturedErrors() noexcept : outer(capture) { capture = this; }

CapturedErrors::~CapturedErrors() { capture = outer; }

void SetEngineReporter(IEngineReporter* reporter) { installedReporter.store(reporter); }

void ReportError(const std::wstring& text)
{
    if (quietDepth > 0) return;
    if (capture != nullptr) {
        capture->last = text;
        return;
    }
    if (IEngineReporter* reporter = installedReporter.load()) reporter->ShowError(text);
}

void ReportStatus(int pane, const std::wstring& text)
{
    if (IEngineReporter* reporter = installedReporter.load()) reporter->SetStatusText(pane, text);
}

void ReportSocketActivity()
{
    if (IEngineReporter* reporter = installedReporter.load()) reporter->SocketActivity();
}

} // namespace nsFTP
