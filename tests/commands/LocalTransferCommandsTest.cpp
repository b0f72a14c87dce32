// Download To and Upload Files: the system pickers as a user answers them, the commands
// with the pickers replaced, against the scripted server (nothing sent unless a job runs)
// and vsftpd (a tree up and back down, byte for byte), and the remembered folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>
#include <dlgs.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "TransferTestSupport.h"
#include "commands/LocalTransferCommands.h"
#include "framework/Handles.h"
#include "shell/Format.h"
#include "shell/LocalPicker.h"
#include "shell/TempDirectory.h"
#include "support/RealServers.h"
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
constexpr std::size_t LOGON_COMMANDS = 4; // USER, PASS, FEAT, PWD
const wchar_t* const OPEN_CAPTION = L"Open";
const wchar_t* const SELECT_FOLDER_CAPTION = L"Select Folder";

// Answers the pickers as a test says and records the folder each one was offered.
class FakePicker : public ILocalPicker {
public:
    FakePicker() { SetLocalPicker(this); }
    ~FakePicker() override { SetLocalPicker(nullptr); }
    FakePicker(const FakePicker&) = delete;
    FakePicker& operator=(const FakePicker&) = delete;

    std::optional<std::wstring> PickFolder(HWND, const std::wstring& initialFolder) override
    {
        offered.push_back(initialFolder);
        return folder;
    }
    std::vector<std::wstring> PickFiles(HWND, const std::wstring& initialFolder) override
    {
        offered.push_back(initialFolder);
        return files;
    }

    std::optional<std::wstring> folder;
    std::vector<std::wstring> files;
    std::vector<std::wstring> offered;
};

// A fresh local directory, and no remembered folder, for the test's duration.
class LocalScene {
public:
    LocalScene()
        : root(fs::temp_directory_path() /
               (L"orvid-local-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(GetTickCount64())))
    {
        fs::create_directories(root);
        ForgetLastFolder();
    }
    ~LocalScene()
    {
        ForgetLastFolder();
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    LocalScene(const LocalScene&) = delete;
    LocalScene& operator=(const LocalScene&) = delete;

    const fs::path root;

private:
    static void ForgetLastFolder()
    {
        fw::RegistryKey key = fw::RegistryKey::Open(HKEY_CURRENT_USER, SETTINGS_KEY, KEY_ALL_ACCESS);
        if (key.IsOpen()) key.DeleteValue(LAST_FOLDER_VALUE);
    }
};

// The edit of the file name box: the open dialog's box is a ComboBoxEx, the folder
// dialog's a plain edit.
HWND FileNameEdit(HWND dialog)
{
    if (HWND combo = GetDlgItem(dialog, cmb13))
        return reinterpret_cast<HWND>(SendMessageW(combo, CBEM_GETEDITCONTROL, 0, 0));
    return GetDlgItem(dialog, edt1);
}

// Types into the dialog's file name box and presses its default button.
std::function<void(HWND)> Type(const std::wstring& text)
{
    return [text](HWND dialog) {
        SetWindowTextW(FileNameEdit(dialog), text.c_str());
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    };
}

} // namespace

// The real dialogs on this thread, answered by typing as a user would: relative names are
// taken in the folder the dialog was started in.
TEST(LocalPickerTest, SystemDialogsStartInTheGivenFolderAndReturnWhatWasChosen)
{
    LocalScene scene;
    transfertests::WriteBytes(scene.root / L"a.txt", 1, 1);
    transfertests::WriteBytes(scene.root / L"b.txt", 1, 1);
    fs::create_directories(scene.root / L"sub");
    const std::wstring root = scene.root.wstring();
    DialogScript script;
    script.On(OPEN_CAPTION, Type(L"\"a.txt\" \"b.txt\""))
        .On(OPEN_CAPTION, Type(L"b.txt"))
        .On(OPEN_CAPTION, [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); })
        .On(SELECT_FOLDER_CAPTION, Type(L"sub"))
        .On(SELECT_FOLDER_CAPTION, [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0); });

    ILocalPicker& system = LocalPicker();
    EXPECT_THAT(system.PickFiles(nullptr, root),
                ElementsAre(JoinLocalPath(root, L"a.txt"), JoinLocalPath(root, L"b.txt")));
    EXPECT_THAT(system.PickFiles(nullptr, root), ElementsAre(JoinLocalPath(root, L"b.txt")));
    EXPECT_THAT(system.PickFiles(nullptr, root), IsEmpty());
    EXPECT_EQ(system.PickFolder(nullptr, root), JoinLocalPath(root, L"sub"));
    EXPECT_EQ(system.PickFolder(nullptr, root), std::nullopt);
    EXPECT_TRUE(script.Finished());
    EXPECT_THAT(script.Failures(), IsEmpty());
}

TEST(LocalTransferCommandsTest, NothingIsAskedOrSentWithoutAConnectionASelectionOrAChoice)
{
    TestReporter reporter;
    ScriptedServer server;
    ScriptLogon(server);
    server.On("QUIT", "221 bye\r\n");
    server.Start();
    ConnectionSession connected;
    ASSERT_TRUE(OpenSite(connected, ScriptedSite(server, false)));
    ConnectionSession idle;
    LocalScene scene;
    const std::wstring remembered = scene.root.wstring();
    SetLastFolder(remembered);
    FakePicker picker;
    RemoteEntry file;
    file.directory = L"/home/alice";
    file.name = L"a.txt";
    const std::vector<RemoteEntry> one = {file};

    const struct {
        const char* what;
        std::function<bool()> run;
        bool asked;
    } cases[] = {
        {"download, nothing selected", [&] { return DownloadToCommand(nullptr, connected, {}); }, false},
        {"download, picker cancelled", [&] { return DownloadToCommand(nullptr, connected, one); }, true},
        {"download, not connected", [&] { return DownloadToCommand(nullptr, idle, one); }, false},
        {"upload, no target", [&] { return UploadFilesCommand(nullptr, connected, L""); }, false},
        {"upload, dialog cancelled", [&] { return UploadFilesCommand(nullptr, connected, L"/home/alice"); }, true},
        {"upload, not connected", [&] { return UploadFilesCommand(nullptr, idle, L"/home/alice"); }, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        picker.offered.clear();
        // A picker that is asked is cancelled; one that is not would have answered.
        picker.folder = c.asked ? std::nullopt : std::optional(remembered);
        picker.files = c.asked ? std::vector<std::wstring>() : std::vector<std::wstring>{remembered};
        EXPECT_FALSE(c.run());
        EXPECT_EQ(picker.offered, std::vector<std::wstring>(c.asked ? 1 : 0, remembered));
    }
    EXPECT_EQ(GetLastFolder(), remembered);

    connected.LogOff();
    EXPECT_TRUE(server.WaitFinished(SCRIPT_TIMEOUT)) << server.CurrentStep();
    EXPECT_THAT(server.Failures(), IsEmpty());
    const std::vector<std::string> commands = server.Commands();
    EXPECT_THAT(std::vector<std::string>(commands.begin() + LOGON_COMMANDS, commands.end()), ElementsAre("QUIT"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

// Upload Files is handed a directory, as a test hook may be, and uploads its whole tree;
// Download To brings the tree back into another folder. Each picker starts in the folder
// the one before it left.
TEST(LocalTransferCommandsTest, ATreeGoesUpAndComesBackWholeAndEachPickerStartsWhereTheLastLeftOff)
{
    std::string why;
    const std::unique_ptr<RealServer> server = RealServer::Start(ServerKind::Vsftpd, &why);
    if (!server) GTEST_SKIP() << "vsftpd is not available here: " << why;
    const fs::path serverDirectory = server->MakeDirectory("local-transfer");
    TestReporter reporter;
    testsupport::WindowAnswerer answerer;
    ConnectionSession session;
    SiteRecord site = RealServerSite(*server, std::wstring());
    site.passive = 1;
    ASSERT_TRUE(OpenSite(session, site));
    const std::wstring remote = JoinRemotePath(session.homeDirectory, L"local-transfer");
    ASSERT_TRUE(session.ChangeDirectory(remote));

    LocalScene scene;
    const fs::path up = scene.root / L"up";
    const fs::path tree = up / L"tree";
    fs::create_directories(tree / L"empty");
    transfertests::WriteBytes(tree / L"zero.bin", 0, 1);
    transfertests::WriteBytes(tree / L"one.txt", 1, 1);
    transfertests::WriteBytes(tree / L"a" / L"b" / L"some KiB.bin", 5 * 1024 + 7, 1);
    transfertests::WriteBytes(tree / L"a" / L"two KiB.bin", 2 * 1024, 1);
    const fs::path down = scene.root / L"down";
    fs::create_directories(down);
    FakePicker picker;

    picker.files = {tree.wstring()};
    EXPECT_TRUE(UploadFilesCommand(nullptr, session, remote));
    EXPECT_EQ(transfertests::Snapshot(serverDirectory / "tree"), transfertests::Snapshot(tree));

    session.RefreshRemote();
    std::vector<RemoteEntry> selected;
    for (const RemoteEntry& entry : session.entries)
        if (entry.name == L"tree") selected.push_back(entry);
    ASSERT_EQ(selected.size(), 1u);
    picker.folder = down.wstring();
    EXPECT_TRUE(DownloadToCommand(nullptr, session, selected));
    EXPECT_EQ(transfertests::Snapshot(down / L"tree"), transfertests::Snapshot(tree));

    picker.files.clear();
    EXPECT_FALSE(UploadFilesCommand(nullptr, session, remote));
    EXPECT_THAT(picker.offered, ElementsAre(L"", up.wstring(), down.wstring()));
    EXPECT_THAT(answerer.MessageTexts(), IsEmpty());
    EXPECT_THAT(reporter.Errors(), IsEmpty());
    session.LogOff();
}
