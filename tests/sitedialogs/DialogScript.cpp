#include "DialogScript.h"

#include <commctrl.h>

#include "SharedResource.h"

namespace sitetests {
namespace {

constexpr UINT TICK_MS = 40;
constexpr DWORD STEP_PATIENCE_MS = 10000;
// The static that holds a message box's text.
constexpr int MESSAGE_BOX_TEXT_ID = 0xFFFF;
constexpr std::size_t TEXT_BUFFER = 1024;

DialogScript* current = nullptr;

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

BOOL CALLBACK NoteInputWindow(HWND window, LPARAM data)
{
    if (IsWindowVisible(window) && IsWindowEnabled(window) && ClassOf(window) == L"#32770")
        *reinterpret_cast<HWND*>(data) = window;
    return TRUE;
}

// The dialog or message box of this thread that takes input: the modal loops disable the
// owners of the innermost one.
HWND InputWindow()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), NoteInputWindow, reinterpret_cast<LPARAM>(&found));
    return found;
}

bool IsMessageBox(HWND window) { return GetDlgItem(window, MESSAGE_BOX_TEXT_ID) != nullptr; }

} // namespace

DialogScript::DialogScript()
{
    current = this;
    timer_ = SetTimer(nullptr, 0, TICK_MS, Tick);
}

DialogScript::~DialogScript()
{
    KillTimer(nullptr, timer_);
    current = nullptr;
}

DialogScript& DialogScript::On(const std::wstring& caption, std::function<void(HWND)> action)
{
    steps_.push_back({caption, std::move(action)});
    return *this;
}

DialogScript& DialogScript::AnswerMessage(int button)
{
    steps_.push_back({L"", [this, button](HWND box) {
                          messages_.push_back(MessageText(box));
                          PostMessageW(box, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED), 0);
                      }});
    return *this;
}

void CALLBACK DialogScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (current) current->Play();
}

void DialogScript::Play()
{
    HWND window = InputWindow();
    if (abandoned_) {
        if (window) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        return;
    }
    if (!window) return;
    DWORD now = GetTickCount();
    if (waitingSince_ == 0) waitingSince_ = now;
    if (Finished()) {
        // The script is played, yet a window still waits for the user.
        if (now - waitingSince_ > STEP_PATIENCE_MS) {
            failures_.push_back(L"a window was left open after the last step");
            abandoned_ = true;
        }
        return;
    }
    Step& step = steps_[next_];
    bool matches = false;
    if (step.caption.empty()) {
        matches = IsMessageBox(window);
    } else {
        wchar_t caption[TEXT_BUFFER] = {};
        GetWindowTextW(window, caption, TEXT_BUFFER);
        matches = !IsMessageBox(window) && step.caption == caption;
    }
    if (!matches) {
        if (now - waitingSince_ > STEP_PATIENCE_MS) {
            wchar_t caption[TEXT_BUFFER] = {};
            GetWindowTextW(window, caption, TEXT_BUFFER);
            std::wstring seen = IsMessageBox(window) ? L"message box \"" + MessageText(window) + L"\"" : caption;
            failures_.push_back(L"step " + std::to_wstring(next_ + 1) + L" waited for \"" + step.caption +
                                L"\" but saw " + seen);
            abandoned_ = true;
        }
        return;
    }
    ++next_;
    waitingSince_ = 0;
    step.action(window);
}

void Click(HWND dialog, int controlId) { SendMessageW(GetDlgItem(dialog, controlId), BM_CLICK, 0, 0); }

void SetText(HWND dialog, int controlId, const std::wstring& text) { SetDlgItemTextW(dialog, controlId, text.c_str()); }

std::wstring Text(HWND dialog, int controlId)
{
    wchar_t text[TEXT_BUFFER] = {};
    GetDlgItemTextW(dialog, controlId, text, TEXT_BUFFER);
    return text;
}

bool Checked(HWND dialog, int controlId) { return IsDlgButtonChecked(dialog, controlId) == BST_CHECKED; }

void SetChecked(HWND dialog, int controlId, bool checked)
{
    CheckDlgButton(dialog, controlId, checked ? BST_CHECKED : BST_UNCHECKED);
}

void Choose(HWND dialog, int controlId, int index)
{
    HWND list = GetDlgItem(dialog, controlId);
    SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(controlId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
}

std::wstring MessageText(HWND box) { return Text(box, MESSAGE_BOX_TEXT_ID); }

namespace {

std::wstring ItemText(HWND tree, HTREEITEM item)
{
    wchar_t text[TEXT_BUFFER] = {};
    TVITEMW query = {};
    query.mask = TVIF_TEXT;
    query.hItem = item;
    query.pszText = text;
    query.cchTextMax = TEXT_BUFFER;
    TreeView_GetItem(tree, &query);
    return text;
}

// Every item with its depth, in display order.
template <typename Visit> void ForEachItem(HWND tree, Visit visit)
{
    for (HTREEITEM top = TreeView_GetRoot(tree); top; top = TreeView_GetNextSibling(tree, top)) {
        visit(top, 0);
        for (HTREEITEM child = TreeView_GetChild(tree, top); child; child = TreeView_GetNextSibling(tree, child))
            visit(child, 1);
    }
}

HTREEITEM FindItem(HWND tree, const std::wstring& text)
{
    HTREEITEM found = nullptr;
    ForEachItem(tree, [&](HTREEITEM item, int) {
        if (!found && ItemText(tree, item) == text) found = item;
    });
    return found;
}

} // namespace

std::vector<std::wstring> TreeLines(HWND manager)
{
    HWND tree = GetDlgItem(manager, IDC_SITE_TREE);
    std::vector<std::wstring> lines;
    ForEachItem(tree,
                [&](HTREEITEM item, int depth) { lines.push_back((depth ? L"  " : L"") + ItemText(tree, item)); });
    return lines;
}

bool SelectTreeItem(HWND manager, const std::wstring& text)
{
    HWND tree = GetDlgItem(manager, IDC_SITE_TREE);
    HTREEITEM item = FindItem(tree, text);
    return item && TreeView_SelectItem(tree, item);
}

LPARAM TreeItemData(HWND manager, const std::wstring& text)
{
    HWND tree = GetDlgItem(manager, IDC_SITE_TREE);
    HTREEITEM item = FindItem(tree, text);
    if (!item) return -1;
    TVITEMW query = {};
    query.mask = TVIF_PARAM;
    query.hItem = item;
    TreeView_GetItem(tree, &query);
    return query.lParam;
}

} // namespace sitetests
