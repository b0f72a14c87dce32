#include "engine/Reporter.h"

#include <atomic>

namespace nsFTP {
namespace {
std::atomic<IEngineReporter*> installedReporter{nullptr};
}

void SetEngineReporter(IEngineReporter* reporter) { installedReporter.store(reporter); }

void ReportError(const std::wstring& text)
{
    if (IEngineReporter* reporter = installedReporter.load())
        reporter->ShowError(text);
}

void ReportStatus(int pane, const std::wstring& text)
{
    if (IEngineReporter* reporter = installedReporter.load())
        reporter->SetStatusText(pane, text);
}

void ReportSocketActivity()
{
    if (IEngineReporter* reporter = installedReporter.load())
        reporter->SocketActivity();
}

} // namespace nsFTP
