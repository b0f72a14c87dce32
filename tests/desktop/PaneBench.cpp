// Times what a user waits for in the remote pane, inside the program's own process, for
// tools/bench (run under ftpfixture, against vsftpd):
//   orvid_pane_bench.exe RESULTS DIRECTORY ROWS [DIRECTORY ROWS ...] [--filter TEXT]
// For each directory: from the click on OK in the Enter Path box, the path typed, until
// the list holds every row, the status bar shows the counts and the rows on screen are
// painted. With --filter, then the filter text typed into the filter bar in the
// last directory, until the filtered rows are painted. The window's loop runs throughout.
// Each line of RESULTS is "what<TAB>rows<TAB>seconds".
//
//   orvid_pane_bench.exe RESULTS --connect PORT ROWS
// Connects to the FTP server on 127.0.0.1:PORT (anonymous), from the logon until the list
// holds the first listing's ROWS rows, painted, as the Site Manager's Connect does. Its
// line adds the process's peak working set and peak committed memory, in MiB:
// "connect<TAB>rows<TAB>seconds<TAB>peak working set<TAB>peak committed".
#include <windows.h>

#include <commctrl.h>
#include <psapi.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "SharedResource.h"
#include "resource.h"
#include "session/RemotePane.h"
#include "session/SessionTestSupport.h"
#include "shell/StatusText.h"
#include "support/RealServers.h"

namespace {

constexpr RECT BENCH_FRAME = {0, 0, 1000, 700};
constexpr DWORD SETTLE_LIMIT_MS = 120000;
constexpr UINT PROMPT_POLL_MS = 20;

std::wstring typedPath;
LARGE_INTEGER clickedOk;

// Types the path into the Enter Path box once it is up, and clicks OK.
void CALLBACK AnswerPrompt(HWND, UINT, UINT_PTR timer, DWORD)
{
    const HWND prompt = FindWindowW(L"#32770", L"Enter Path");
    if (prompt == nullptr) return;
    KillTimer(nullptr, timer);
    SetDlgItemTextW(prompt, IDC_TEXT_EDIT, typedPath.c_str());
    QueryPerformanceCounter(&clickedOk);
    SendMessageW(GetDlgItem(prompt, IDOK), BM_CLICK, 0, 0);
}

double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

// Runs the loop until the list holds the rows and the status bar says so; false when that
// never happens.
bool PumpUntilShown(COrvidApp& app, COrvidView& view, std::size_t rows)
{
    const std::wstring files = L"Files: " + std::to_wstring(rows);
    const ULONGLONG until = GetTickCount64() + SETTLE_LIMIT_MS;
    while (GetTickCount64() < until) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const auto count = static_cast<std::size_t>(view.List().Send(LVM_GETITEMCOUNT, 0, 0));
        if (count == rows && app.MainFrame()->StatusBar().GetText(STATUS_PANE_FILES) == files) {
            UpdateWindow(view.List().Handle());
            return true;
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 1, QS_ALLINPUT);
    }
    return false;
}

constexpr double BYTES_PER_MIB = 1024.0 * 1024.0;

// Connect, timed from the logon to the rows on screen; the process's peaks after that.
int BenchConnect(COrvidApp& app, FILE* results, unsigned port, std::size_t rows)
{
    SiteRecord site = DefaultSiteRecord();
    SetText(site.label, L"Bench");
    SetText(site.host, L"127.0.0.1");
    site.port = port;
    SetText(site.user, ANONYMOUS_USER);
    SetText(site.password, ANONYMOUS_PASSWORD);
    site.timeout = 60;
    SetSiteEncryption(site, SiteEncryption::PlainOnly);
    auto& document = *static_cast<COrvidDoc*>(app.GetDocument());
    auto& view = *static_cast<COrvidView*>(app.GetView());
    view.SetViewMode(LVS_REPORT);
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    if (!OpenSite(document.Session(), site)) return 1;
    document.OnSiteConnected(L"Bench");
    const bool shown = PumpUntilShown(app, view, rows);
    LARGE_INTEGER end;
    QueryPerformanceCounter(&end);
    PROCESS_MEMORY_COUNTERS memory = {};
    memory.cb = sizeof memory;
    GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
    std::fwprintf(results, L"connect\t%zu\t%.3f\t%.1f\t%.1f\n", rows, Seconds(start, end),
                  static_cast<double>(memory.PeakWorkingSetSize) / BYTES_PER_MIB,
                  static_cast<double>(memory.PeakPagefileUsage) / BYTES_PER_MIB);
    document.Disconnect();
    return shown ? 0 : 1;
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &argc), &LocalFree);
    if (argc < 4) return 2;
    const bool connectOnly = argc == 5 && std::wstring(argv.get()[2]) == L"--connect";
    std::vector<std::pair<std::wstring, std::size_t>> directories;
    std::wstring filter;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::wstring(argv.get()[i]) == L"--filter") {
            filter = argv.get()[i + 1];
        } else {
            directories.emplace_back(argv.get()[i], std::wcstoul(argv.get()[i + 1], nullptr, 10));
        }
    }
    FILE* results = _wfopen(argv.get()[1], L"w");
    if (results == nullptr) return 2;

    COrvidApp app;
    app.SetInstance(instance);
    if (!app.InitInstance()) return 1;
    HWND frame = app.MainFrame()->Handle();
    // The start-up's Connect would open the Site Manager; the bench connects by itself.
    MSG connect;
    PeekMessageW(&connect, frame, WM_COMMAND, WM_COMMAND, PM_REMOVE);
    app.MainFrame()->Move(BENCH_FRAME);
    if (connectOnly) {
        const int code = BenchConnect(app, results, static_cast<unsigned>(std::wcstoul(argv.get()[3], nullptr, 10)),
                                      std::wcstoul(argv.get()[4], nullptr, 10));
        std::fclose(results);
        app.MainFrame()->Send(WM_CLOSE);
        app.ExitInstance();
        return code;
    }
    std::string why;
    std::unique_ptr<testsupport::RealServer> server =
        testsupport::RealServer::Start(testsupport::ServerKind::Vsftpd, &why);
    if (!server) return 1;
    auto& document = *static_cast<COrvidDoc*>(app.GetDocument());
    if (!OpenSite(document.Session(), RealServerSite(*server, L"Bench"))) return 1;
    document.OnSiteConnected(L"Bench");
    auto& view = *static_cast<COrvidView*>(app.GetView());
    view.SetViewMode(LVS_REPORT);

    int code = 0;
    std::size_t lastRows = 0;
    for (const auto& [directory, rows] : directories) {
        typedPath = directory;
        SetTimer(nullptr, 0, PROMPT_POLL_MS, AnswerPrompt);
        // The Go button of the folder bar, as F9 would.
        view.Send(WM_COMMAND, MAKEWPARAM(IDC_GO, BN_CLICKED), 0);
        if (!PumpUntilShown(app, view, rows)) code = 1;
        LARGE_INTEGER end;
        QueryPerformanceCounter(&end);
        std::fwprintf(results, L"enter %ls\t%zu\t%.3f\n", directory.c_str(), rows, Seconds(clickedOk, end));
        lastRows = rows;
    }
    if (!filter.empty() && code == 0) {
        ConnectionSession& session = document.Session();
        FilterSettings settings;
        settings.text = filter;
        std::size_t matching = 0;
        for (const RemoteEntry& entry : session.entries)
            matching += ApplyFilter(settings, entry.name, entry.isDirectory != 0).accepted ? 1 : 0;
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        SetWindowTextW(session.filterEdit, filter.c_str());
        if (!PumpUntilShown(app, view, matching)) code = 1;
        QueryPerformanceCounter(&end);
        std::fwprintf(results, L"filter %ls of %zu\t%zu\t%.3f\n", filter.c_str(), lastRows, matching,
                      Seconds(start, end));
    }
    std::fclose(results);
    document.Disconnect();
    app.MainFrame()->Send(WM_CLOSE);
    app.ExitInstance();
    return code;
}
