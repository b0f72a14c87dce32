// Delete and opening a remote file, which run the transfer job, against vsftpd: what
// happens to the real files and what the shell is asked to open.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DialogScript.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "commands/FileCommands.h"
#include "framework/Handles.h"
#include "shell/Format.h"
#include "shell/TempDirectory.h"
#include "support/RealServers.h"
#include "support/Text.h"
#include "support/WindowAnswerer.h"

using namespace sitetests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ScriptedServer;
using testsupport::ServerKind;

namespace {

namespace fs = std::filesystem;

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
constexpr auto MARKER_PATIENCE = std::chrono::seconds(20);
const wchar_t* const DELETE_QUESTION = L"Are you sure you want to delete the selected items?";
const wchar_t* const OPEN_EXTENSION = L".orvidopen";
const wchar_t* const OPEN_CLASS = L"OrvidOpenTest";

using testsupport::Wide;

std::string ReadAll(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

fs::path SystemTemp()
{
    wchar_t path[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, path);
    return path;
}

// Registers an extension whose "open" appends the opened file's path to a marker file, so
// that a test sees what the shell was asked to open without any real application.
class OpenRecorder {
public:
    explicit OpenRecorder(const fs::path& marker, std::wstring extension = OPEN_EXTENSION)
        : marker(marker), extension(std::move(extension))
    {
        fs::remove(marker);
        SetDefault(this->extension, OPEN_CLASS);
        SetDefault(std::wstring(OPEN_CLASS) + L"\\shell\\open\\command",
                   L"cmd.exe /c echo %1>>\"" + marker.wstring() + L"\"");
    }
    ~OpenRecorder()
    {
        fw::RegistryKey::DeleteTree(HKEY_CLASSES_ROOT, extension);
        fw::RegistryKey::DeleteTree(HKEY_CLASSES_ROOT, OPEN_CLASS);
    }

    // The opened paths once at least `count` were recorded, or what there is after the wait.
    std::vector<std::string> WaitForOpens(std::size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + MARKER_PATIENCE;
        std::vector<std::string> opened;
        do {
            opened = Lines();
            if (opened.size() >= count) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        } while (std::chrono::steady_clock::now() < deadline);
        return opened;
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(ReadAll(marker));
        for (std::string line; std::getline(in, line);) {
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (!line.empty()) lines.push_back(line);
        }
        return lines;
    }

private:
    static void SetDefault(const std::wstring& key, const std::wstring& value)
    {
        fw::RegistryKey created = fw::RegistryKey::Create(HKEY_CLASSES_ROOT, key);
        ASSERT_TRUE(created.IsOpen());
        const auto bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
        ASSERT_EQ(
            RegSetValueExW(created.Get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), bytes),
            ERROR_SUCCESS);
    }

    fs::path marker;
    std::wstring extension;
};

class VsftpdCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(ServerKind::Vsftpd, &why);
        if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
        directory = std::string("commands-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        server->MakeDirectory(directory);
    }

    // Logs on, goes into the test's directory and lists it.
    void Connect()
    {
        SiteRecord site = RealServerSite(*server, std::wstring());
        site.passive = 1;
        ASSERT_TRUE(OpenSite(session, site));
        ASSERT_TRUE(session.ChangeDirectory(RemoteDirectory()));
        session.RefreshRemote();
    }

    std::wstring RemoteDirectory() const
    {
        const std::wstring home = Wide(server->Info().loginDirectory);
        return (home.back() == L'/' ? home : home + L"/") + Wide(directory);
    }
    fs::path Local(const std::string& relative) const { return server->Info().root / directory / relative; }

    std::vector<RemoteEntry> Selected(std::initializer_list<const wchar_t*> names) const
    {
        std::vector<RemoteEntry> chosen;
        for (const wchar_t* name : names)
            for (const RemoteEntry& entry : session.entries)
                if (entry.name == name) chosen.push_back(entry);
        EXPECT_EQ(chosen.size(), names.size());
        return chosen;
    }

    void ExpectScriptPlayed(const DialogScript& script)
    {
        EXPECT_TRUE(script.Finished());
        for (const std::wstring& failure : script.Failures())
            ADD_FAILURE() << std::string(failure.begin(), failure.end());
    }

    TestReporter reporter;
    std::unique_ptr<RealServer> server;
    std::string directory;
    ConnectionSession session;
};

} // namespace

TEST_F(VsftpdCommandsTest, DeleteRemovesTheWholeTreeOnlyAfterOk)
{
    server->WriteFile(directory + "/d/x", "x");
    server->WriteFile(directory + "/d/e/y", "yy");
    server->WriteFile(directory + "/keep.txt", "keep");
    Connect();
    DialogScript script;
    script.AnswerMessage(IDCANCEL).AnswerMessage(IDOK);

    EXPECT_FALSE(DeleteCommand(nullptr, session, Selected({L"d"})));
    EXPECT_TRUE(fs::exists(Local("d/e/y")));
    EXPECT_TRUE(DeleteCommand(nullptr, session, Selected({L"d"})));
    ExpectScriptPlayed(script);
    EXPECT_THAT(script.Messages(), ElementsAre(DELETE_QUESTION, DELETE_QUESTION));
    EXPECT_FALSE(fs::exists(Local("d")));
    EXPECT_TRUE(fs::exists(Local("keep.txt")));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    session.LogOff();
}

TEST_F(VsftpdCommandsTest, OpeningAFileTwiceReplacesTheCopyAndAsksTheShellToOpenIt)
{
    const fs::path temp = SystemTemp() / L"orvid-open-test";
    fs::remove_all(temp);
    fs::create_directories(temp);
    SetTempDirectoryValue(temp.wstring());
    // The user's own file of the same name, right in the temporary directory.
    std::ofstream(temp / L"notes.orvidopen") << "mine";
    OpenRecorder recorder(SystemTemp() / L"orvid-opened.txt");
    server->WriteFile(directory + "/notes.orvidopen", "first version, longer");
    server->WriteFile(directory + "/sub/notes.orvidopen", "in sub");
    Connect();
    const RemoteEntry first = Selected({L"notes.orvidopen"}).at(0);
    // A prompt (replace, or anything else) would fail the test instead of waiting.
    DialogScript script;

    OpenRemoteFileCommand(nullptr, session, first);
    const std::vector<std::string> opened = recorder.WaitForOpens(1);
    ASSERT_EQ(opened.size(), 1u);
    const fs::path copy = opened[0];
    EXPECT_EQ(ReadAll(copy), "first version, longer");
    EXPECT_EQ(copy.filename(), L"notes.orvidopen");
    // The copy sits in a folder of the program's own below the temporary directory, each
    // level a plain local name.
    const fs::path below = copy.parent_path().lexically_relative(temp);
    ASSERT_FALSE(below.empty());
    EXPECT_NE(*below.begin(), L"..");
    for (const fs::path& part : below)
        EXPECT_TRUE(IsUsableLocalName(part.wstring())) << part;

    // The second copy replaces the first in the same folder without a replace prompt.
    server->WriteFile(directory + "/notes.orvidopen", "second");
    session.RefreshRemote();
    OpenRemoteFileCommand(nullptr, session, Selected({L"notes.orvidopen"}).at(0));
    EXPECT_EQ(ReadAll(copy), "second");
    EXPECT_THAT(recorder.WaitForOpens(2), ElementsAre(copy.string(), copy.string()));

    // The same name in another directory gets a folder of its own.
    ASSERT_TRUE(session.ChangeDirectory(RemoteDirectory() + L"/sub"));
    session.RefreshRemote();
    OpenRemoteFileCommand(nullptr, session, Selected({L"notes.orvidopen"}).at(0));
    const std::vector<std::string> all = recorder.WaitForOpens(3);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_NE(fs::path(all[2]).parent_path(), copy.parent_path());
    EXPECT_EQ(ReadAll(all[2]), "in sub");
    EXPECT_EQ(ReadAll(copy), "second");

    EXPECT_EQ(ReadAll(temp / L"notes.orvidopen"), "mine");
    EXPECT_TRUE(script.Failures().empty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    session.LogOff();
    SetTempDirectoryValue(L"");
    fs::remove_all(temp);
}

TEST_F(VsftpdCommandsTest, ATypeThatCanRunProgramsIsFetchedAndOpenedOnlyAfterYes)
{
    const fs::path temp = SystemTemp() / L"orvid-open-runnable";
    fs::remove_all(temp);
    fs::create_directories(temp);
    SetTempDirectoryValue(temp.wstring());
    OpenRecorder recorder(SystemTemp() / L"orvid-opened-runnable.txt", L".jar");
    server->WriteFile(directory + "/tool.jar", "archive");
    Connect();
    const RemoteEntry tool = Selected({L"tool.jar"}).at(0);
    DialogScript script;
    script.AnswerMessage(IDNO).AnswerMessage(IDYES);

    OpenRemoteFileCommand(nullptr, session, tool);
    EXPECT_TRUE(fs::is_empty(temp));
    OpenRemoteFileCommand(nullptr, session, tool);
    const std::vector<std::string> opened = recorder.WaitForOpens(1);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(ReadAll(opened[0]), "archive");
    ExpectScriptPlayed(script);
    EXPECT_EQ(script.Messages().size(), 2u);
    session.LogOff();
    SetTempDirectoryValue(L"");
    fs::remove_all(temp);
}

TEST_F(VsftpdCommandsTest, AFailedDownloadOpensNothing)
{
    const fs::path temp = SystemTemp() / L"orvid-open-failed";
    fs::remove_all(temp);
    fs::create_directories(temp);
    SetTempDirectoryValue(temp.wstring());
    OpenRecorder recorder(SystemTemp() / L"orvid-opened-failed.txt");
    server->WriteFile(directory + "/gone.orvidopen", "soon gone");
    server->WriteFile(directory + "/shrunk.orvidopen", "listed at this length");
    server->WriteFile(directory + "/there.orvidopen", "there");
    Connect();
    const RemoteEntry gone = Selected({L"gone.orvidopen"}).at(0);
    const RemoteEntry shrunk = Selected({L"shrunk.orvidopen"}).at(0);
    const RemoteEntry there = Selected({L"there.orvidopen"}).at(0);
    fs::remove(Local("gone.orvidopen"));
    server->WriteFile(directory + "/shrunk.orvidopen", "short");
    // The job's own failure box comes from its worker thread.
    testsupport::WindowAnswerer answerer;

    OpenRemoteFileCommand(nullptr, session, gone);
    EXPECT_EQ(reporter.Errors().size(), 1u) << "the server's refusal of RETR is shown";
    // The job ends with OK after a short download too, and names the file it could not get.
    OpenRemoteFileCommand(nullptr, session, shrunk);
    ASSERT_EQ(answerer.MessageTexts().size(), 2u) << testing::PrintToString(answerer.MessageTexts());
    for (const std::wstring& text : answerer.MessageTexts())
        EXPECT_EQ(text.find(L"Failed to download"), 0u) << text;
    // A later open is recorded after anything the failed ones might have started.
    OpenRemoteFileCommand(nullptr, session, there);
    const std::vector<std::string> opened = recorder.WaitForOpens(1);
    ASSERT_EQ(opened.size(), 1u);
    const fs::path copies = fs::path(opened[0]).parent_path();
    EXPECT_EQ(fs::path(opened[0]).filename(), L"there.orvidopen");
    EXPECT_FALSE(fs::exists(copies / L"gone.orvidopen"));
    EXPECT_FALSE(fs::exists(copies / L"shrunk.orvidopen")) << "a short copy keeps no file under the real name";
    session.LogOff();
    SetTempDirectoryValue(L"");
    fs::remove_all(temp);
}
