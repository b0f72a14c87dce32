// orvid_demo_driver: the desktop program's typical road, run by itself on a screen nobody
// watches (tools/run-orvid without a display). It is the program's own application object,
// started as Orvid.exe starts it, and acts as a user would: it picks the demo site in the
// Site Manager that opens at start and presses Connect, waits for the listing, selects a
// folder and runs Download To into a given local folder (the folder picker is the one
// thing answered in-process), then opens that folder on the server. It stops at named
// points so that tools/run-orvid can take a screenshot, and it writes what it did and where
// it failed.
//   orvid_demo_driver STATE_DIR SITE_LABEL FOLDER TARGET_DIR
// STATE_DIR receives driver.log (one line per step), NAME.ready at each picture point
// (the driver goes on when NAME.done appears) and result: "ok", or "failed: STEP: why".
// Exit status 0 when every step succeeded. Not part of the program.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "MainFrame.h"
#include "OrvidApp.h"
#include "OrvidDoc.h"
#include "OrvidView.h"
#include "SharedResource.h"
#include "engine/TextCodec.h"
#include "resource.h"
#include "shell/Format.h"
#include "shell/LocalPicker.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr UINT TICK_MS = 200;
// A program's first start in a prefix takes a while under Wine; a logon on loopback does not.
constexpr auto SITE_MANAGER_WAIT = std::chrono::seconds(90);
constexpr auto LISTING_WAIT = std::chrono::seconds(60);
constexpr auto PICTURE_WAIT = std::chrono::seconds(60);
constexpr auto DOWNLOAD_WAIT = std::chrono::seconds(180);
// Room for the listing and the toolbar in one row, on a 1024 x 768 desktop.
constexpr RECT FRAME_PLACE = {60, 40, 60 + 880, 40 + 640};
const wchar_t* const SITE_MANAGER_CAPTION = L"Site Manager";
const wchar_t* const DIALOG_CLASS = L"#32770";
constexpr int TEXT_CAPACITY = 1024;

enum class Step { FindSiteManager, SelectSite, Connect, WaitListing, SelectFolder, DownloadTo, OpenFolder, Done };

const wchar_t* StepName(Step step)
{
    switch (step) {
    case Step::FindSiteManager: return L"site-manager-opens";
    case Step::SelectSite: return L"select-demo-site";
    case Step::Connect: return L"connect";
    case Step::WaitListing: return L"list-demo-tree";
    case Step::SelectFolder: return L"select-folder";
    case Step::DownloadTo: return L"download-to";
    case Step::OpenFolder: return L"open-folder";
    case Step::Done: return L"done";
    }
    return L"?";
}

struct Options {
    std::wstring stateDir;
    std::wstring siteLabel;
    std::wstring folder;
    std::wstring targetDir;
};

// The folder picker of Download To, answered with the target folder.
class TargetPicker : public ILocalPicker {
public:
    explicit TargetPicker(std::wstring folder) : folder_(std::move(folder)) {}
    std::optional<std::wstring> PickFolder(HWND, const std::wstring&) override
    {
        asked = true;
        return folder_;
    }
    std::vector<std::wstring> PickFiles(HWND, const std::wstring&) override { return {}; }
    bool asked = false;

private:
    std::wstring folder_;
};

class Driver {
public:
    Driver(COrvidApp& app, Options options) : app_(app), options_(std::move(options)), picker_(options_.targetDir) {}

    void Tick();
    bool Succeeded() const { return succeeded_; }

private:
    void Log(const std::wstring& text) const;
    void Enter(Step step, Clock::duration wait);
    void Fail(const std::wstring& why);
    void WriteState(const std::wstring& name, const std::string& content) const;
    bool StateExists(const std::wstring& name) const;
    // True once the picture has been taken; asks for it the first time.
    bool Picture(const std::wstring& name);
    // The text of a box or dialog of ours that nobody expected, or empty.
    std::wstring UnexpectedWindowText() const;
    HWND SiteManager() const { return FindWindowW(DIALOG_CLASS, SITE_MANAGER_CAPTION); }
    COrvidView& View() const { return *static_cast<COrvidView*>(app_.GetView()); }
    ConnectionSession& Session() const { return static_cast<COrvidDoc*>(app_.GetDocument())->Session(); }

    void SelectSite();
    void SelectFolder();
    void DownloadTo();
    void OpenFolder();

    COrvidApp& app_;
    Options options_;
    TargetPicker picker_;
    Step step_ = Step::FindSiteManager;
    Clock::time_point deadline_ = Clock::now() + SITE_MANAGER_WAIT;
    std::wstring pictureAsked_;
    // Set while a call that may run a modal loop (the job, an error box) is under way.
    bool busy_ = false;
    bool finished_ = false;
    bool succeeded_ = false;
};

Driver* driver = nullptr;

std::string Utf8(const std::wstring& text) { return nsFTP::WideToWire(text); }

void Driver::Log(const std::wstring& text) const
{
    std::ofstream(std::filesystem::path(options_.stateDir) / L"driver.log", std::ios::binary | std::ios::app)
        << Utf8(text) << "\n";
}

void Driver::WriteState(const std::wstring& name, const std::string& content) const
{
    std::ofstream(std::filesystem::path(options_.stateDir) / name, std::ios::binary) << content;
}

bool Driver::StateExists(const std::wstring& name) const
{
    return GetFileAttributesW((options_.stateDir + L"\\" + name).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void Driver::Enter(Step step, Clock::duration wait)
{
    Log(std::wstring(L"ok: ") + StepName(step_));
    step_ = step;
    deadline_ = Clock::now() + wait;
}

void Driver::Fail(const std::wstring& why)
{
    if (finished_) return;
    finished_ = true;
    const std::wstring line = std::wstring(L"failed: ") + StepName(step_) + L": " + why;
    Log(line);
    WriteState(L"result", Utf8(line) + "\n");
    // A box of the engine may hold a modal loop; the program's own exit would wait on it.
    ExitProcess(1);
}

bool Driver::Picture(const std::wstring& name)
{
    if (pictureAsked_ != name) {
        pictureAsked_ = name;
        WriteState(name + L".ready", "");
        deadline_ = Clock::now() + PICTURE_WAIT;
        return false;
    }
    if (!StateExists(name + L".done")) return false;
    Log(L"picture: " + name);
    return true;
}

BOOL CALLBACK CollectText(HWND window, LPARAM texts)
{
    wchar_t text[TEXT_CAPACITY] = {};
    if (GetWindowTextW(window, text, TEXT_CAPACITY) > 0) {
        // One line per failure in the result file.
        std::wstring line = text;
        for (wchar_t& c : line)
            if (c == L'\r' || c == L'\n') c = L' ';
        auto& all = *reinterpret_cast<std::wstring*>(texts);
        all += (all.empty() ? L"" : L" | ") + line;
    }
    return TRUE;
}

struct UnexpectedSearch {
    HWND siteManager;
    std::wstring texts;
};

BOOL CALLBACK FindUnexpected(HWND window, LPARAM search)
{
    auto& found = *reinterpret_cast<UnexpectedSearch*>(search);
    // The engine shows its boxes from whichever thread calls it: a worker's too.
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != GetCurrentProcessId()) return TRUE;
    wchar_t className[TEXT_CAPACITY] = {};
    GetClassNameW(window, className, TEXT_CAPACITY);
    if (!IsWindowVisible(window) || std::wstring(className) != DIALOG_CLASS || window == found.siteManager) return TRUE;
    // The transfer job's progress dialog is expected while the download runs.
    wchar_t childClass[TEXT_CAPACITY] = {};
    if (HWND bar = GetDlgItem(window, IDC_TRANSFER_PROGRESS); bar != nullptr &&
                                                              GetClassNameW(bar, childClass, TEXT_CAPACITY) > 0 &&
                                                              std::wstring(childClass) == PROGRESS_CLASSW)
        return TRUE;
    CollectText(window, reinterpret_cast<LPARAM>(&found.texts));
    EnumChildWindows(window, CollectText, reinterpret_cast<LPARAM>(&found.texts));
    return FALSE;
}

std::wstring Driver::UnexpectedWindowText() const
{
    UnexpectedSearch search{SiteManager(), {}};
    EnumWindows(FindUnexpected, reinterpret_cast<LPARAM>(&search));
    return search.texts;
}

void Driver::SelectSite()
{
    const HWND manager = SiteManager();
    fw::TreeView tree(GetDlgItem(manager, IDC_SITE_TREE));
    std::vector<HTREEITEM> pending{reinterpret_cast<HTREEITEM>(tree.Send(TVM_GETNEXTITEM, TVGN_ROOT, 0))};
    while (!pending.empty()) {
        HTREEITEM item = pending.back();
        pending.pop_back();
        if (item == nullptr) continue;
        if (LabelsEqual(tree.GetItemText(item), options_.siteLabel)) {
            tree.Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
            SetFocus(tree.Handle());
            return Enter(Step::Connect, PICTURE_WAIT);
        }
        pending.push_back(
            reinterpret_cast<HTREEITEM>(tree.Send(TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item))));
        pending.push_back(
            reinterpret_cast<HTREEITEM>(tree.Send(TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item))));
    }
    Fail(L"the Site Manager has no site \"" + options_.siteLabel + L"\"");
}

void Driver::SelectFolder()
{
    CListCtrlEx& list = View().List();
    const RemoteEntryList& entries = Session().entries;
    for (int row = 0; row < list.GetItemCount(); ++row) {
        const std::size_t index = View().RowEntry(row);
        if (index >= entries.size() || !entries[index].isDirectory || entries[index].name != options_.folder) continue;
        list.SelectItem(row, true);
        list.EnsureVisible(row);
        SetFocus(list.Handle());
        return Enter(Step::DownloadTo, PICTURE_WAIT);
    }
    Fail(L"the listing has no folder \"" + options_.folder + L"\"");
}

void Driver::DownloadTo()
{
    SetLocalPicker(&picker_);
    deadline_ = Clock::now() + DOWNLOAD_WAIT;
    busy_ = true;
    // Returns when the job has ended; its dialog's loop runs the ticks meanwhile.
    SendMessageW(app_.MainFrame()->Handle(), WM_COMMAND, MAKEWPARAM(ID_FILE_DOWNLOAD_TO, 0), 0);
    busy_ = false;
    SetLocalPicker(nullptr);
    if (!picker_.asked) return Fail(L"Download To did not ask for a folder (command not enabled?)");
    if (const std::wstring text = UnexpectedWindowText(); !text.empty()) return Fail(L"a box is open: " + text);
    Log(L"downloaded \"" + options_.folder + L"\" to " + options_.targetDir);
    Enter(Step::OpenFolder, PICTURE_WAIT);
}

void Driver::OpenFolder()
{
    const std::wstring path = JoinRemotePath(Session().homeDirectory, options_.folder);
    busy_ = true;
    const bool changed = Session().ChangeDirectory(path);
    if (changed) View().Refresh();
    busy_ = false;
    if (!changed) return Fail(L"could not change to " + path);
    if (View().List().GetItemCount() == 0) return Fail(L"the pane shows nothing in " + path);
    SetFocus(View().List().Handle());
    Log(L"listed " + std::to_wstring(Session().entries.size()) + L" entries in " + path);
    Enter(Step::Done, PICTURE_WAIT);
}

void Driver::Tick()
{
    if (finished_) return;
    if (Clock::now() > deadline_)
        return Fail(L"timed out" + [this] {
            const std::wstring text = UnexpectedWindowText();
            return text.empty() ? std::wstring() : L"; open box: " + text;
        }());
    // A modal loop (the job's) calls in here while a step runs: only watch it then.
    if (busy_) {
        if (const std::wstring text = UnexpectedWindowText(); !text.empty()) Fail(L"a box is open: " + text);
        return;
    }
    switch (step_) {
    case Step::FindSiteManager:
        if (SiteManager() != nullptr) Enter(Step::SelectSite, PICTURE_WAIT);
        return;
    case Step::SelectSite: return SelectSite();
    case Step::Connect:
        if (!Picture(L"site-manager")) return;
        Enter(Step::WaitListing, LISTING_WAIT);
        PostMessageW(SiteManager(), WM_COMMAND, MAKEWPARAM(IDC_SITE_CONNECT, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(SiteManager(), IDC_SITE_CONNECT)));
        return;
    case Step::WaitListing:
        if (const std::wstring text = UnexpectedWindowText(); !text.empty()) return Fail(L"a box is open: " + text);
        if (SiteManager() != nullptr || !Session().IsConnected() || View().List().GetItemCount() == 0) return;
        Log(L"listed " + std::to_wstring(Session().entries.size()) + L" entries in " + Session().homeDirectory);
        return Enter(Step::SelectFolder, PICTURE_WAIT);
    case Step::SelectFolder: return SelectFolder();
    case Step::DownloadTo:
        if (!Picture(L"listing")) return;
        return DownloadTo();
    case Step::OpenFolder: return OpenFolder();
    case Step::Done:
        if (!Picture(L"folder")) return;
        WriteState(L"result", "ok\n");
        finished_ = true;
        succeeded_ = true;
        PostMessageW(app_.MainFrame()->Handle(), WM_CLOSE, 0, 0);
        return;
    }
}

void CALLBACK OnTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (driver != nullptr) driver->Tick();
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    if (arguments == nullptr || count != 5) {
        std::fputs("usage: orvid_demo_driver STATE_DIR SITE_LABEL FOLDER TARGET_DIR\n", stderr);
        return 2;
    }
    Options options{arguments[1], arguments[2], arguments[3], arguments[4]};
    LocalFree(arguments);

    COrvidApp app;
    app.SetInstance(instance);
    // As Orvid.exe starts: the window is shown and Connect is posted for the Site Manager.
    if (!app.InitInstance()) return 1;
    app.MainFrame()->Move(FRAME_PLACE);
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    Driver run(app, options);
    driver = &run;
    SetTimer(nullptr, 0, TICK_MS, OnTick);
    app.Run();
    app.ExitInstance();
    driver = nullptr;
    return run.Succeeded() ? 0 : 1;
}
