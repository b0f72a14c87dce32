// Files between the pane and the shell, with the test playing the shell through the real
// OLE interfaces: Copy and the virtual files it offers, their streams, the busy guard, the
// drop target and Paste, and a second process reading the clipboard, against vsftpd and
// pure-ftpd.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "OrvidDoc.h"
#include "PaneTestSupport.h"
#include "ProgramRun.h"
#include "SessionTestSupport.h"
#include "TestReporter.h"
#include "VirtualFiles.h"
#include "shell/LocalPicker.h"
#include "shell/StatusText.h"
#include "support/RealServers.h"
#include "support/Text.h"

using namespace dragdroptests;
using ::testing::AnyOf;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testsupport::RealServer;
using testsupport::ServerKind;
namespace fs = std::filesystem;

namespace {

constexpr std::size_t MEBIBYTE = 1024 * 1024;
constexpr DWORD DESCRIPTOR_FLAGS = 0x407C;
constexpr DWORD PROCESS_WAIT_MS = 60000;

using testsupport::Wide;

std::string Bytes(std::size_t size, char seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>(seed + i * 7 + i / 251);
    return bytes;
}

std::string ReadLocal(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class FolderAnswer : public ILocalPicker {
public:
    std::optional<std::wstring> PickFolder(HWND, const std::wstring&) override
    {
        ++asked;
        return std::nullopt;
    }
    std::vector<std::wstring> PickFiles(HWND, const std::wstring&) override
    {
        ++asked;
        return {};
    }
    int asked = 0;
};

class DragDropTest : public ::testing::TestWithParam<ServerKind> {
protected:
    void SetUp() override
    {
        std::string why;
        server = RealServer::Start(GetParam(), &why);
        if (!server) GTEST_SKIP() << testsupport::ServerName(GetParam()) << " is not available here: " << why;
        directory = std::string("dnd-") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : directory)
            if (c == '/') c = '-';
        server->MakeDirectory(directory);
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        local = fs::path(temp) / (L"orvid-dnd-" + std::to_wstring(GetCurrentProcessId()));
        fs::remove_all(local);
        fs::create_directories(local);
    }

    void TearDown() override
    {
        if (!server) return;
        Document().Disconnect();
        PumpMessages();
        fs::remove_all(local);
    }

    void Connect()
    {
        SiteRecord site = RealServerSite(*server, L"Real");
        ConnectionSession& session = Document().Session();
        ASSERT_TRUE(OpenSite(session, site));
        GoToStartDirectory(session, Wide(directory));
        Document().OnSiteConnected(L"Real");
        PumpMessages();
    }

    COrvidDoc& Document() const { return run.Document(); }
    CListCtrlEx& List() const { return run.View().List(); }

    int Row(const std::wstring& name) const
    {
        for (int row = 0; row < List().GetItemCount(); ++row)
            if (List().GetItemText(row, 0) == name) return row;
        return -1;
    }

    // Copy of the named rows, then the clipboard as any program would take it.
    fw::ComPtr<IDataObject> CopyRows(const std::vector<std::wstring>& names)
    {
        List().SelectOnly(-1);
        for (const std::wstring& name : names)
            List().SelectItem(Row(name), true);
        run.Frame().RouteCommand(ID_EDIT_COPY);
        fw::ComPtr<IDataObject> clipboard;
        EXPECT_EQ(OleGetClipboard(clipboard.Put()), S_OK);
        return clipboard;
    }

    POINT RowPoint(int row) const
    {
        RECT rect = {};
        rect.left = LVIR_LABEL;
        List().Send(LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rect));
        POINT point = {rect.left + 4, (rect.top + rect.bottom) / 2};
        List().ClientToScreen(point);
        return point;
    }

    POINT EmptySpacePoint() const
    {
        RECT client = List().GetClientRect();
        POINT point = {client.right / 2, client.bottom - 4};
        List().ClientToScreen(point);
        return point;
    }

    // The whole drag of shell files over the pane, ended with a drop at point; the effects
    // of enter and drop.
    std::pair<DWORD, DWORD> DragAndDrop(IDataObject* data, POINT point)
    {
        IDropTarget& target = run.View().DropTarget();
        const POINTL at = {point.x, point.y};
        DWORD entered = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        target.DragEnter(data, MK_LBUTTON, at, &entered);
        DWORD over = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        target.DragOver(MK_LBUTTON, at, &over);
        DWORD dropped = DROPEFFECT_COPY | DROPEFFECT_MOVE;
        target.Drop(data, 0, at, &dropped);
        PumpMessages();
        return {entered, dropped};
    }

    LayoutKeyGuard layoutKey;
    ProgramRun run;
    TestReporter reporter;
    std::unique_ptr<RealServer> server;
    std::string directory;
    fs::path local;
};

} // namespace

TEST_P(DragDropTest, CopyOffersADirectorysFilesAsVirtualFilesWithTheirExactBytes)
{
    const std::string big = Bytes(3 * MEBIBYTE, 'a');
    server->WriteFile(directory + "/dir/a", big);
    server->WriteFile(directory + "/dir/b", "b");
    server->WriteFile(directory + "/zero", "");
    Connect();

    fw::ComPtr<IDataObject> clipboard = CopyRows({L"dir"});
    ASSERT_TRUE(clipboard);
    FORMATETC marker = {Format(L"Orvid_CFM"), nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(clipboard->QueryGetData(&marker), S_OK);
    std::vector<VirtualFile> files;
    ASSERT_TRUE(ReadDescriptors(clipboard.Get(), files));
    ASSERT_EQ(files.size(), 2u);
    // The files come in the server's listing order, which MLSD does not sort.
    const std::size_t first = files[0].name == L"dir/a" ? 0 : 1;
    EXPECT_EQ(files[first].name, L"dir/a");
    EXPECT_EQ(files[first].size, big.size());
    EXPECT_EQ(files[first].flags, DESCRIPTOR_FLAGS);
    EXPECT_EQ(files[1 - first].name, L"dir/b");
    EXPECT_EQ(files[1 - first].size, 1u);

    // The shell reads each file whole, in blocks of its own size.
    for (LONG index = 0; index < 2; ++index) {
        SCOPED_TRACE(index);
        const std::string& expected = static_cast<std::size_t>(index) == first ? big : std::string("b");
        fw::ComPtr<IStream> stream;
        stream.Attach(OpenContents(clipboard.Get(), index));
        ASSERT_TRUE(stream);
        std::string bytes;
        EXPECT_TRUE(ReadToEnd(stream.Get(), bytes, expected.size() > 1 ? 100000 : 7));
        EXPECT_EQ(ContentHash(bytes), ContentHash(expected));
        EXPECT_EQ(bytes.size(), expected.size());
    }
    // Nothing else is served: no index "all", no file past the last, no storage of the
    // caller's, no seeking or statistics.
    HRESULT refused = S_OK;
    EXPECT_EQ(OpenContents(clipboard.Get(), -1, &refused), nullptr);
    EXPECT_TRUE(FAILED(refused));
    EXPECT_EQ(OpenContents(clipboard.Get(), 2, &refused), nullptr);
    EXPECT_TRUE(FAILED(refused));
    FORMATETC contents = {Format(CFSTR_FILECONTENTS), nullptr, DVASPECT_CONTENT, 0, TYMED_ISTREAM};
    STGMEDIUM own = {};
    EXPECT_EQ(run.View().DataSource()->GetDataHere(&contents, &own), DV_E_TYMED);

    // A zero-byte file: a descriptor of size 0 and a stream whose first read is the end.
    clipboard = CopyRows({L"zero"});
    files.clear();
    ASSERT_TRUE(ReadDescriptors(clipboard.Get(), files));
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].name, L"zero");
    EXPECT_EQ(files[0].size, 0u);
    fw::ComPtr<IStream> stream;
    stream.Attach(OpenContents(clipboard.Get(), 0));
    ASSERT_TRUE(stream);
    LARGE_INTEGER move = {};
    EXPECT_EQ(stream->Seek(move, STREAM_SEEK_SET, nullptr), E_NOTIMPL);
    STATSTG stat = {};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), E_NOTIMPL);
    char byte = 0;
    ULONG got = 99;
    EXPECT_EQ(stream->Read(&byte, 1, &got), S_OK);
    EXPECT_EQ(got, 0u);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(DragDropTest, AnOpenStreamKeepsTheWindowOffTheConnectionUntilItEnds)
{
    // The frame puts "Ready" back every 15 s; a slow run must not see it instead of the busy text.
    KillTimer(run.Frame().Handle(), READY_TIMER);
    const std::string big = Bytes(2 * MEBIBYTE, 'q');
    server->WriteFile(directory + "/big.bin", big);
    Connect();
    ASSERT_EQ(RowTexts(List()), std::vector<std::wstring>{L"big.bin"});

    fw::ComPtr<IDataObject> clipboard = CopyRows({L"big.bin"});
    fw::ComPtr<IStream> stream;
    stream.Attach(OpenContents(clipboard.Get(), 0));
    ASSERT_TRUE(stream);
    std::string bytes(1024, '\0');
    ULONG got = 0;
    ASSERT_EQ(stream->Read(bytes.data(), 1024, &got), S_OK);
    bytes.resize(got);

    // The window's refresh, its keep-alive and Disconnect wait for the copy.
    server->WriteFile(directory + "/later.txt", "later");
    PressKey(List(), VK_F5);
    run.Frame().RouteCommand(ID_FILE_DISCONNECT);
    PumpMessages();
    EXPECT_EQ(PaneText(STATUS_PANE_MESSAGE), SESSION_BUSY_TEXT);
    EXPECT_TRUE(Document().Session().IsConnected());
    EXPECT_EQ(RowTexts(List()), std::vector<std::wstring>{L"big.bin"});

    std::string rest;
    ASSERT_TRUE(ReadToEnd(stream.Get(), rest));
    bytes += rest;
    EXPECT_EQ(ContentHash(bytes), ContentHash(big));
    EXPECT_EQ(bytes.size(), big.size());

    // The end of the file gave the connection back.
    PressKey(List(), VK_F5);
    PumpMessages();
    EXPECT_THAT(RowTexts(List()), ElementsAre(L"big.bin", L"later.txt"));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(DragDropTest, ShellFilesDroppedOrPastedUploadIntoTheRowUnderTheCursorOrHere)
{
    server->MakeDirectory(directory + "/target");
    server->WriteFile(directory + "/plain.txt", "plain");
    const fs::path file = local / "dropped.txt";
    std::ofstream(file, std::ios::binary) << "dropped bytes";
    fs::create_directories(local / "tree" / "empty");
    std::ofstream(local / "tree" / "inner.bin", std::ios::binary) << Bytes(5000, 'x');
    Connect();

    struct Case {
        const char* how;
        bool onDirectoryRow;
        bool marked;
        const char* expectedRemote; // relative to the test's directory; null: nothing arrives
    };
    const Case cases[] = {
        {"onto the directory row", true, false, "target/dropped.txt"},
        {"onto empty space", false, false, "dropped.txt"},
        {"the pane's own drag", true, true, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.how);
        const fs::path arrived = server->Info().root / directory / (c.expectedRemote ? c.expectedRemote : "target");
        fs::remove(server->Info().root / directory / "target" / "dropped.txt");
        fs::remove(server->Info().root / directory / "dropped.txt");
        fw::ComPtr<IDataObject> data = ShellFileDrop({file.wstring(), L"C:\\no\\such\\file.txt"}, c.marked);
        const POINT point = c.onDirectoryRow ? RowPoint(Row(L"target")) : EmptySpacePoint();
        const auto [entered, dropped] = DragAndDrop(data.Get(), point);
        if (c.expectedRemote == nullptr) {
            EXPECT_EQ(entered, static_cast<DWORD>(DROPEFFECT_NONE));
            EXPECT_EQ(dropped, static_cast<DWORD>(DROPEFFECT_NONE));
            EXPECT_FALSE(fs::exists(arrived / "dropped.txt"));
            continue;
        }
        EXPECT_EQ(entered, static_cast<DWORD>(DROPEFFECT_COPY));
        EXPECT_EQ(dropped, static_cast<DWORD>(DROPEFFECT_COPY));
        EXPECT_EQ(ReadLocal(arrived), "dropped bytes");
    }

    // Paste takes the shell's files from the clipboard, a whole tree included.
    ClipboardFiles clipboard(run.Frame().Handle());
    ASSERT_TRUE(clipboard.Clear());
    EXPECT_EQ(run.Update(ID_EDIT_PASTE).Enabled(), std::optional<bool>(false));
    ASSERT_TRUE(clipboard.PutFile((local / "tree").wstring()));
    EXPECT_EQ(run.Update(ID_EDIT_PASTE).Enabled(), std::optional<bool>(true));
    List().SelectOnly(Row(L"plain.txt"));
    run.Frame().RouteCommand(ID_EDIT_PASTE);
    PumpMessages();
    const fs::path tree = server->Info().root / directory / "tree";
    EXPECT_TRUE(fs::is_directory(tree / "empty"));
    EXPECT_EQ(ReadLocal(tree / "inner.bin"), Bytes(5000, 'x'));
    EXPECT_NE(Row(L"tree"), -1);
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(DragDropTest, ASecondProcessPastingGetsTheSameFilesAndBytes)
{
    const std::string big = Bytes(3 * MEBIBYTE, 'k');
    server->WriteFile(directory + "/dir/a", big);
    server->WriteFile(directory + "/dir/b", "b");
    Connect();
    fw::ComPtr<IDataObject> clipboard = CopyRows({L"dir"});
    ASSERT_TRUE(clipboard);
    clipboard.Reset();

    wchar_t module[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    const fs::path reader = fs::path(module).parent_path() / L"clipboard_reader.exe";
    const fs::path output = local / "reader.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE file = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION process = {};
    std::wstring command = L"\"" + reader.wstring() + L"\"";
    ASSERT_TRUE(
        CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process));
    CloseHandle(file);
    CloseHandle(process.hThread);
    // The other process's calls reach the data source through this thread's messages.
    const ULONGLONG deadline = GetTickCount64() + PROCESS_WAIT_MS;
    while (WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT && GetTickCount64() < deadline) {
        MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 100, QS_ALLINPUT);
        PumpMessages();
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hProcess);
    EXPECT_EQ(exitCode, 0u);

    char line[64];
    std::snprintf(line, sizeof line, "%016llx", static_cast<unsigned long long>(ContentHash(big)));
    const std::string lineA =
        "dir/a\t" + std::to_string(big.size()) + "\t" + std::to_string(big.size()) + "\t" + line + "\n";
    std::snprintf(line, sizeof line, "%016llx", static_cast<unsigned long long>(ContentHash("b")));
    const std::string lineB = std::string("dir/b\t1\t1\t") + line + "\n";
    // In the server's listing order, which MLSD does not sort.
    EXPECT_THAT(ReadLocal(output), AnyOf(lineA + lineB, lineB + lineA));
    EXPECT_THAT(reporter.Errors(), IsEmpty());
}

TEST_P(DragDropTest, TheListTakesDropsOnlyWhileConnectedAndTheLocalCommandsAskThePicker)
{
    server->WriteFile(directory + "/one.txt", "1");
    EXPECT_EQ(RevokeDragDrop(List().Handle()), DRAGDROP_E_NOTREGISTERED);
    Connect();
    EXPECT_EQ(RegisterDragDrop(List().Handle(), &run.View().DropTarget()), DRAGDROP_E_ALREADYREGISTERED);

    FolderAnswer answer;
    SetLocalPicker(&answer);
    List().SelectOnly(Row(L"one.txt"));
    run.Frame().RouteCommand(ID_FILE_DOWNLOAD_TO);
    run.Frame().RouteCommand(ID_FILE_UPLOAD_FILES);
    SetLocalPicker(nullptr);
    EXPECT_EQ(answer.asked, 2);

    Document().Disconnect();
    EXPECT_EQ(RevokeDragDrop(List().Handle()), DRAGDROP_E_NOTREGISTERED);
}

INSTANTIATE_TEST_SUITE_P(Servers, DragDropTest, ::testing::Values(ServerKind::Vsftpd, ServerKind::PureFtpd),
                         [](const ::testing::TestParamInfo<ServerKind>& info) {
                             return std::string(info.param == ServerKind::Vsftpd ? "Vsftpd" : "PureFtpd");
                         });
