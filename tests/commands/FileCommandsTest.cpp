// The single-step file commands against the scripted server, whose command log proves the
// exact lines sent; the prompts and boxes are answered from the same thread.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SessionTestSupport.h"
#include "SharedResource.h"
#include "TestReporter.h"
#include "commands/FileCommands.h"
#include "shell/Format.h"
#include "shell/TempDirectory.h"

using namespace sitetests;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::ScriptedServer;

namespace {

constexpr auto SCRIPT_TIMEOUT = std::chrono::seconds(10);
const std::wstring TEXT_PROMPT_NEW_DIRECTORY = L"New Directory";
const std::wstring TEXT_PROMPT_RENAME = L"Rename";
const std::wstring TEXT_PROMPT_TEMP = L"Set Temp Directory";
const std::wstring PERMISSIONS = L"Change File(s) Attributes";

RemoteEntry Entry(const std::wstring& directory, const std::wstring& name, bool isDirectory = false,
                  std::uint64_t size = 10)
{
    RemoteEntry entry;
    entry.directory = directory;
    entry.name = name;
    entry.displayName = name;
    entry.isDirectory = isDirectory ? 1 : 0;
    entry.size = size;
    return entry;
}

// Answers a text prompt with this text; keeps what the prompt showed first.
std::function<void(HWND)> Answer(const std::wstring& text, std::wstring* initial = nullptr, int button = IDOK)
{
    return [=](HWND prompt) {
        if (initial) *initial = Text(prompt, IDC_TEXT_EDIT);
        SetText(prompt, IDC_TEXT_EDIT, text);
        Click(prompt, button);
    };
}

class FileCommandsTest : public ::testing::Test {
protected:
    // Logs on as alice, home /home/alice; the test's own lines follow, then QUIT.
    void Connect(const std::function<void(ScriptedServer&)>& script)
    {
        ScriptLogon(server);
        script(server);
        server.On("QUIT", "221 bye\r\n");
        server.Start();
        ASSERT_TRUE(OpenSite(session, ScriptedSite(server, false)));
    }

    // Logs off and returns every line after the logon's PWD, QUIT excluded.
    std::vector<std::string> Finish()
    {
        session.LogOff();
        EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
        EXPECT_THAT(server.Failures(), IsEmpty());
        EXPECT_TRUE(script.Failures().empty()) << (script.Failures().empty() ? "" : Narrow(script.Failures()[0]));
        EXPECT_TRUE(script.Finished());
        std::vector<std::string> commands = server.Commands();
        commands.erase(commands.begin(), commands.begin() + 4);
        if (!commands.empty() && commands.back() == "QUIT") commands.pop_back();
        return commands;
    }

    static std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

    TestReporter reporter;
    ScriptedServer server;
    ConnectionSession session;
    DialogScript script;
};

} // namespace

TEST_F(FileCommandsTest, NewDirectoryIsMadeInsideTheTargetWhichThePaneThenShows)
{
    Connect([](ScriptedServer& s) {
        s.On("MKD /home/alice/site/new", "257 \"/home/alice/site/new\" created\r\n")
            .On("CWD /home/alice/site", "250 ok\r\n")
            .On("MKD /home/alice/site/taken", "550 exists\r\n");
    });
    std::wstring initial = L"<not shown>";
    script.On(TEXT_PROMPT_NEW_DIRECTORY, Answer(L"new", &initial))
        .On(TEXT_PROMPT_NEW_DIRECTORY, Answer(L"taken"))
        .On(TEXT_PROMPT_NEW_DIRECTORY, Answer(L"cancelled", nullptr, IDCANCEL))
        .On(TEXT_PROMPT_NEW_DIRECTORY, Answer(L""));

    EXPECT_TRUE(NewDirectoryCommand(nullptr, session, L"/home/alice/site"));
    EXPECT_EQ(initial, L"");
    EXPECT_EQ(session.CurrentDirectory(), L"/home/alice/site");
    // A refusal is the engine's report; there is no change of directory and no refresh.
    EXPECT_FALSE(NewDirectoryCommand(nullptr, session, L"/home/alice/site"));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 exists"));
    EXPECT_FALSE(NewDirectoryCommand(nullptr, session, L"/home/alice/site"));
    EXPECT_FALSE(NewDirectoryCommand(nullptr, session, L"/home/alice/site"));
    // Not connected: the pane has no target and nothing is asked.
    EXPECT_FALSE(NewDirectoryCommand(nullptr, session, L""));
    EXPECT_THAT(Finish(),
                ElementsAre("MKD /home/alice/site/new", "CWD /home/alice/site", "MKD /home/alice/site/taken"));
}

TEST_F(FileCommandsTest, RenameSendsRnfrAndRntoEvenForTheSameName)
{
    Connect([](ScriptedServer& s) {
        s.On("RNFR /home/alice/a.txt", "350 ready\r\n")
            .On("RNTO /home/alice/a.txt", "250 renamed\r\n")
            .On("RNFR /home/alice/a.txt", "350 ready\r\n")
            .On("RNTO /home/alice/sub/b.txt", "553 not allowed\r\n");
    });
    std::wstring initial;
    script
        .On(TEXT_PROMPT_RENAME,
            [&](HWND prompt) {
                initial = Text(prompt, IDC_TEXT_EDIT);
                Click(prompt, IDOK);
            })
        .On(TEXT_PROMPT_RENAME, Answer(L"sub/b.txt"));
    const std::vector<RemoteEntry> selected = {Entry(L"/home/alice", L"a.txt"), Entry(L"/home/alice", L"z.txt")};

    EXPECT_TRUE(RenameCommand(nullptr, session, selected));
    EXPECT_EQ(initial, L"a.txt");
    EXPECT_FALSE(RenameCommand(nullptr, session, selected));
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"553 not allowed"));
    EXPECT_THAT(Finish(), ElementsAre("RNFR /home/alice/a.txt", "RNTO /home/alice/a.txt", "RNFR /home/alice/a.txt",
                                      "RNTO /home/alice/sub/b.txt"));
    // Disconnected: the current directory is unknown, so nothing is asked at all.
    EXPECT_FALSE(RenameCommand(nullptr, session, selected));
}

TEST_F(FileCommandsTest, ATypedLineBreakNeverReachesTheServer)
{
    Connect([](ScriptedServer&) {});
    script.On(TEXT_PROMPT_RENAME, Answer(L"b.txt\r\nDELE important"));
    script.AnswerMessage(IDOK);
    EXPECT_FALSE(RenameCommand(nullptr, session, {Entry(L"/home/alice", L"a.txt")}));
    EXPECT_THAT(script.Messages(), ElementsAre(L"The text cannot contain a line break."));
    EXPECT_THAT(Finish(), IsEmpty());
}

TEST_F(FileCommandsTest, ChmodSendsTheTypedModeOncePerEntryInOrderWhateverTheReplies)
{
    Connect([](ScriptedServer& s) {
        s.On("SITE CHMOD 600 /home/alice/dir", "200 ok\r\n")
            .On("SITE CHMOD 600 /home/alice/a b.txt", "550 not permitted\r\n")
            .On("SITE CHMOD 600 /home/alice/c.txt", "200 ok\r\n");
    });
    std::wstring boxesValue;
    script
        .On(PERMISSIONS,
            [&](HWND dialog) {
                boxesValue = Text(dialog, IDC_ATTR_MANUAL_VALUE);
                SetText(dialog, IDC_ATTR_MANUAL_VALUE, L"600");
                Click(dialog, IDOK);
            })
        .On(PERMISSIONS, [](HWND dialog) { Click(dialog, IDCANCEL); });
    const std::vector<RemoteEntry> selected = {Entry(L"/home/alice", L"dir", true), Entry(L"/home/alice", L"a b.txt"),
                                               Entry(L"/home/alice", L"c.txt")};

    EXPECT_TRUE(ChmodCommand(nullptr, session, selected));
    EXPECT_EQ(boxesValue, L"644");
    EXPECT_THAT(reporter.Errors(), ElementsAre(L"550 not permitted"));
    EXPECT_FALSE(ChmodCommand(nullptr, session, selected));
    EXPECT_THAT(Finish(), ElementsAre("SITE CHMOD 600 /home/alice/dir", "SITE CHMOD 600 /home/alice/a b.txt",
                                      "SITE CHMOD 600 /home/alice/c.txt"));
}

TEST_F(FileCommandsTest, MoveToWithTheTextUnchangedTargetsTheCurrentDirectory)
{
    Connect([](ScriptedServer& s) {
        s.On("MKD /home/alice", "550 exists\r\n")
            .On("RNFR /home/alice/a.txt", "350 ready\r\n")
            .On("RNTO /home/alice/a.txt", "250 ok\r\n");
    });
    std::wstring initial;
    script.On(L"Move To", [&](HWND prompt) {
        initial = Text(prompt, IDC_TEXT_EDIT);
        Click(prompt, IDOK);
    });
    EXPECT_TRUE(MoveToCommand(nullptr, session, {Entry(L"/home/alice", L"a.txt")}));
    EXPECT_EQ(initial, L"/home/alice");
    // Making the target is quiet: it usually exists.
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    EXPECT_THAT(Finish(), ElementsAre("MKD /home/alice", "RNFR /home/alice/a.txt", "RNTO /home/alice/a.txt"));

    // Without a connection nothing is asked and nothing runs.
    const std::vector<RemoteEntry> selected = {Entry(L"/home/alice", L"a.txt")};
    EXPECT_FALSE(MoveToCommand(nullptr, session, selected));
    EXPECT_FALSE(DeleteCommand(nullptr, session, selected));
    OpenRemoteFileCommand(nullptr, session, selected.front());
    EXPECT_TRUE(script.Failures().empty());
}

TEST_F(FileCommandsTest, ANameThatWouldLeaveTheTemporaryDirectoryIsNotOpened)
{
    Connect([](ScriptedServer&) {});
    wchar_t system[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, system);
    const std::filesystem::path temp = std::filesystem::path(system) / L"orvid-name-check";
    std::filesystem::create_directories(temp);
    SetTempDirectoryValue(temp.wstring());
    const std::filesystem::path outside = std::filesystem::path(system) / L"orvid-outside.txt";
    {
        std::ofstream(outside) << "keep";
    }

    for (int i = 0; i < 3; ++i)
        script.AnswerMessage(IDOK);
    OpenRemoteFileCommand(nullptr, session, Entry(L"/home/alice", L"..\\orvid-outside.txt"));
    OpenRemoteFileCommand(nullptr, session, Entry(L"/home/alice", L"..."));
    OpenRemoteFileCommand(nullptr, session, Entry(L"/home/alice", L".. "));
    EXPECT_TRUE(std::filesystem::exists(outside));
    ASSERT_EQ(script.Messages().size(), 3u);
    EXPECT_EQ(script.Messages()[0], L"This name cannot be used for a local file:\n..\\orvid-outside.txt");
    EXPECT_THAT(Finish(), IsEmpty());
    SetTempDirectoryValue(L"");
    std::filesystem::remove(outside);
    std::filesystem::remove_all(temp);
}

namespace {

// What a message box offered: its text, its buttons, the one Enter would press, its icon.
struct BoxSeen {
    std::wstring text;
    bool yesAndNo = false;
    bool noIsDefault = false;
    bool questionIcon = false;
};

BOOL CALLBACK NoteQuestionIcon(HWND child, LPARAM seen)
{
    wchar_t kind[16] = {};
    GetClassNameW(child, kind, 16);
    const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
    if (std::wstring(kind) == L"Static" && icon != nullptr && icon == LoadIconW(nullptr, IDI_QUESTION))
        reinterpret_cast<BoxSeen*>(seen)->questionIcon = true;
    return TRUE;
}

// Notes the box and answers No.
std::function<void(HWND)> NoteAndAnswerNo(std::vector<BoxSeen>& boxes)
{
    return [&boxes](HWND box) {
        BoxSeen seen;
        seen.text = MessageText(box);
        seen.yesAndNo = GetDlgItem(box, IDYES) != nullptr && GetDlgItem(box, IDNO) != nullptr;
        seen.noIsDefault = (GetWindowLongW(GetDlgItem(box, IDNO), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
        EnumChildWindows(box, NoteQuestionIcon, reinterpret_cast<LPARAM>(&seen));
        boxes.push_back(seen);
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDNO, BN_CLICKED), 0);
    };
}

} // namespace

TEST_F(FileCommandsTest, ATypeThatCanRunProgramsIsAskedAboutAndNoFetchesNothing)
{
    Connect([](ScriptedServer&) {});
    wchar_t system[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, system);
    const std::filesystem::path temp = std::filesystem::path(system) / L"orvid-runnable";
    std::filesystem::remove_all(temp);
    std::filesystem::create_directories(temp);
    SetTempDirectoryValue(temp.wstring());
    // Any case, and by the last extension only.
    const std::vector<std::wstring> names = {
        L"setup.exe", L"RUN.BAT",  L"tool.Ps1", L"start.lnk",      L"page.url",   L"app.jar", L"notes.txt.exe",
        L"job.py",    L"disk.ISO", L"pkg.msix", L"find.search-ms", L"drive.vhdx", L"set.reg", L"help.chm"};
    std::vector<BoxSeen> boxes;
    for (std::size_t i = 0; i < names.size(); ++i)
        script.On(L"", NoteAndAnswerNo(boxes));

    for (const std::wstring& name : names)
        OpenRemoteFileCommand(nullptr, session, Entry(L"/home/alice", name));
    ASSERT_EQ(boxes.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(boxes[i].text, L"This file type can run programs. Open it anyway?") << Narrow(names[i]);
        EXPECT_TRUE(boxes[i].yesAndNo) << Narrow(names[i]);
        EXPECT_TRUE(boxes[i].noIsDefault) << Narrow(names[i]);
        EXPECT_TRUE(boxes[i].questionIcon) << Narrow(names[i]);
    }
    EXPECT_THAT(Finish(), IsEmpty());
    EXPECT_TRUE(std::filesystem::is_empty(temp));
    SetTempDirectoryValue(L"");
    std::filesystem::remove_all(temp);
}

TEST(RemoteFileUrlTest, NamesTheServerAndPathButNeverTheLogon)
{
    nsFTP::LogonSettings server;
    server.user = L"alice";
    server.password = L"secret";
    const struct {
        const wchar_t* host;
        std::uint16_t port;
        const wchar_t* path;
        const wchar_t* url;
    } cases[] = {
        {L"ftp.example.com", 21, L"/pub/a.txt", L"ftp://ftp.example.com/pub/a.txt"},
        {L"ftp.example.com", 2121, L"/pub/a.txt", L"ftp://ftp.example.com:2121/pub/a.txt"},
        {L"::1", 21, L"/x", L"ftp://[::1]/x"},
        {L"10.0.0.1", 990, L"relative/x", L"ftp://10.0.0.1:990/relative/x"},
        // Whatever a name holds stays inside the path: no second line, query or fragment.
        {L"h", 21, L"/a b#c?d%e\r\nZoneId=0", L"ftp://h/a%20b%23c%3Fd%25e%0D%0AZoneId%3D0"},
        {L"h", 21, L"/gr\u00FC\u00DFe/\xDCFF", L"ftp://h/gr%C3%BC%C3%9Fe/%FF"},
        {L"evil@h/x", 21, L"/y", L"ftp://evil%40h%2Fx/y"},
    };
    for (const auto& test : cases) {
        server.host = test.host;
        server.port = test.port;
        EXPECT_EQ(RemoteFileUrl(server, test.path), test.url) << test.url;
    }
}

// Wine's file systems have no named streams: there the mark is left out, and no file
// named like the stream appears beside the copy. Where streams exist, the mark reads back.
TEST(MarkAsFromInternetTest, WritesTheZoneWhereTheVolumeHoldsStreamsAndNothingElsewhere)
{
    wchar_t system[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, system);
    const std::filesystem::path folder = std::filesystem::path(system) / L"orvid-mark";
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / L"a.txt";
    {
        std::ofstream(copy) << "data";
    }
    const std::wstring url = L"ftp://h/pub/a.txt";
    const bool marked = MarkAsFromInternet(copy.wstring(), url);

    std::vector<std::wstring> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().wstring());
    EXPECT_THAT(names, ElementsAre(L"a.txt"));
    std::ifstream stream(std::filesystem::path(copy.wstring() + L":Zone.Identifier"), std::ios::binary);
    const std::string mark((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
    if (marked) {
        EXPECT_EQ(mark, "[ZoneTransfer]\r\nZoneId=3\r\nHostUrl=ftp://h/pub/a.txt\r\n");
    } else {
        EXPECT_EQ(mark, "");
    }
    std::filesystem::remove_all(folder);
}

TEST_F(FileCommandsTest, PropertiesShowTheFirstEntryAsListed)
{
    RemoteEntry link = Entry(L"/pub", L"latest", false, 0);
    link.displayName = L"latest -> releases/1.0";
    link.isLink = 1;
    link.attributes = L"lrwxrwxrwx";
    link.owner = L"ftp";
    link.time = {0x2A69C000, 0x01D7A5E1};
    std::wstring name, path, size, modified, attributes, owner;
    script.On(L"Properties", [&](HWND dialog) {
        name = Text(dialog, IDC_PROP_NAME);
        path = Text(dialog, IDC_PROP_PATH);
        size = Text(dialog, IDC_PROP_SIZE);
        modified = Text(dialog, IDC_PROP_MODIFIED);
        attributes = Text(dialog, IDC_PROP_ATTRIBUTES);
        owner = Text(dialog, IDC_PROP_OWNER);
        Click(dialog, IDCANCEL);
    });
    PropertiesCommand(nullptr, {link, Entry(L"/pub", L"other")});
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(name, L"latest -> releases/1.0");
    EXPECT_EQ(path, L"/pub");
    EXPECT_EQ(size, L" (0 bytes)");
    EXPECT_EQ(modified, FormatFileTime(link.time));
    EXPECT_FALSE(modified.empty());
    EXPECT_EQ(attributes, L"lrwxrwxrwx");
    EXPECT_EQ(owner, L"ftp");
}

TEST(SetTempDirectory, StoresTheTextEvenWhenEmptyAndCreatesTheDirectory)
{
    wchar_t system[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, system);
    const std::filesystem::path chosen = std::filesystem::path(system) / L"orvid-open-here";
    std::filesystem::remove_all(chosen);
    SetTempDirectoryValue(L"");

    DialogScript script;
    std::wstring firstInitial, secondInitial;
    script.On(TEXT_PROMPT_TEMP, Answer(chosen.wstring(), &firstInitial))
        .On(TEXT_PROMPT_TEMP, Answer(L"", &secondInitial))
        .On(TEXT_PROMPT_TEMP, Answer(L"ignored", nullptr, IDCANCEL));
    SetTempDirectoryCommand(nullptr);
    EXPECT_EQ(firstInitial, system);
    EXPECT_EQ(GetTempDirectory(), chosen.wstring());
    EXPECT_TRUE(std::filesystem::is_directory(chosen));
    // An empty text is stored as well, and the system's directory is used again.
    SetTempDirectoryCommand(nullptr);
    EXPECT_EQ(secondInitial, chosen.wstring());
    EXPECT_EQ(GetTempDirectory(), system);
    SetTempDirectoryCommand(nullptr);
    EXPECT_EQ(GetTempDirectory(), system);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(script.Failures().empty());
    std::filesystem::remove_all(chosen);
}
