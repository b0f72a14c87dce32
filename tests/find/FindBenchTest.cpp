// Times a search of a 20,000-entry tree on vsftpd through the dialog, with this thread
// dispatching the dialog's messages throughout, as a user's would. Runs only when
// ORVID_FIND_BENCH is set; the figures go to docs/benchmarks.md.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "remotetools/FindDlg.h"
#include "support/RealServers.h"

using testsupport::RealServer;
using testsupport::ServerKind;

namespace {

constexpr int DIRECTORIES = 100;
constexpr int FILES_PER_DIRECTORY = 199; // with the directories, 20,000 entries
constexpr DWORD PATIENCE_MS = 600000;
const char* const TREE = "find-bench";

std::string Numbered(const char* prefix, int number, const char* suffix)
{
    char text[32] = {};
    std::snprintf(text, sizeof text, "%s%03d%s", prefix, number, suffix);
    return text;
}

} // namespace

TEST(FindBench, TwentyThousandEntriesOnVsftpd)
{
    if (std::getenv("ORVID_FIND_BENCH") == nullptr) GTEST_SKIP() << "set ORVID_FIND_BENCH to run";
    std::string why;
    std::unique_ptr<RealServer> server = RealServer::Start(ServerKind::Vsftpd, &why);
    if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
    const std::filesystem::path tree = server->Info().root / TREE;
    for (int d = 0; d < DIRECTORIES; ++d) {
        const std::filesystem::path directory = tree / Numbered("d", d, "");
        std::filesystem::create_directories(directory);
        for (int f = 0; f < FILES_PER_DIRECTORY; ++f)
            std::ofstream(directory / Numbered("f", f, ".txt")) << "x";
    }

    TestReporter reporter;
    ConnectionSession session;
    SiteRecord site = RealServerSite(*server, L"vsftpd");
    site.passive = 1;
    ASSERT_TRUE(OpenSite(session, site));
    const std::wstring home = session.CurrentDirectory();
    ASSERT_TRUE(session.ChangeDirectory(home + (home == L"/" ? L"" : L"/") + L"find-bench"))
        << std::string(home.begin(), home.end()) << " " << tree.string();
    ASSERT_TRUE(session.RefreshRemote());

    CFindDlg dialog(nullptr, session);
    ASSERT_TRUE(dialog.Create(nullptr));
    dialog.Show();
    // Few matches, then a match in nearly every entry, which the results list has to take.
    const struct {
        const wchar_t* text;
        std::size_t results;
    } searches[] = {{L"f042", DIRECTORIES}, {L".txt", DIRECTORIES * FILES_PER_DIRECTORY}};
    for (const auto& search : searches) {
        SetDlgItemTextW(dialog.Handle(), IDC_FIND_TEXT, search.text);
        const auto start = std::chrono::steady_clock::now();
        SendMessageW(GetDlgItem(dialog.Handle(), IDC_FIND_FIND), BM_CLICK, 0, 0);
        const DWORD begun = GetTickCount();
        while (dialog.State() != FindState::Finished && GetTickCount() - begun < PATIENCE_MS) {
            MSG msg = {};
            // Waits for the next message like a program's loop, instead of spinning.
            if (GetMessageW(&msg, nullptr, 0, 0) <= 0) break;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        ASSERT_EQ(dialog.State(), FindState::Finished);
        EXPECT_EQ(dialog.results.size(), search.results);
        const auto visited = dialog.LastOutcome().entriesVisited;
        EXPECT_EQ(visited, static_cast<std::uint64_t>(DIRECTORIES * (FILES_PER_DIRECTORY + 1)));
        std::printf("find %ls: %llu entries in %.2f s, %.0f entries/s, %zu results\n", search.text,
                    static_cast<unsigned long long>(visited), seconds, static_cast<double>(visited) / seconds,
                    dialog.results.size());
    }
    dialog.DestroyWindow();
    session.LogOff();
}
