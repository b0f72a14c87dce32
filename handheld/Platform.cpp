#include "Platform.h"

#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

const wchar_t* const INPUT_PANEL_PREFERENCE_CLASS = L"SIPPREF";

// 436EF144-B4FB-4863-A041-8F905A62C572
const GUID INTERNET_DESTINATION_NETWORK = {
    0x436EF144, 0xB4FB, 0x4863, {0xA0, 0x41, 0x8F, 0x90, 0x5A, 0x62, 0xC5, 0x72}};

namespace {

const wchar_t* const DIALOG_CLASS = L"#32770";
const wchar_t* const OK_TEXT = L"OK";
constexpr int CLASS_NAME_CAPACITY = 64;
// The title-bar OK's size and its distance from the client area's top right, in pixels.
constexpr int OK_WIDTH = 32;
constexpr int OK_HEIGHT = 18;
constexpr int OK_MARGIN = 2;
constexpr int LABEL_CAPACITY = 64;

bool HasClass(HWND window, const wchar_t* className)
{
    wchar_t name[CLASS_NAME_CAPACITY] = {};
    GetClassNameW(window, name, CLASS_NAME_CAPACITY);
    return lstrcmpiW(name, className) == 0;
}

BOOL CALLBACK FindInputPanelPreference(HWND child, LPARAM found)
{
    if (!HasClass(child, INPUT_PANEL_PREFERENCE_CLASS)) return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

} // namespace

bool InitializeShell(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    if (GetClassInfoExW(instance, INPUT_PANEL_PREFERENCE_CLASS, &windowClass)) return true;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = INPUT_PANEL_PREFERENCE_CLASS;
    return RegisterClassExW(&windowClass) != 0;
}

TitleBarOk::TitleBarOk() : hook(SetWindowsHookExW(WH_CALLWNDPROCRET, OnCallWindowReturn, nullptr, GetCurrentThreadId()))
{
}

TitleBarOk::~TitleBarOk()
{
    if (hook != nullptr) UnhookWindowsHookEx(hook);
}

bool TitleBarOk::Apply(HWND dialog)
{
    if (!HasClass(dialog, DIALOG_CLASS) || (GetWindowLongW(dialog, GWL_STYLE) & WS_CHILD) != 0) return false;
    if (GetDlgItem(dialog, IDOK) != nullptr) return false;
    bool carriesPreference = false;
    EnumChildWindows(dialog, FindInputPanelPreference, reinterpret_cast<LPARAM>(&carriesPreference));
    if (!carriesPreference) return false;

    RECT client = {};
    GetClientRect(dialog, &client);
    HWND button = CreateWindowExW(0, WC_BUTTONW, OK_TEXT, WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON,
                                  client.right - OK_MARGIN - OK_WIDTH, OK_MARGIN, OK_WIDTH, OK_HEIGHT, dialog,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDOK)), nullptr, nullptr);
    if (button == nullptr) return false;
    SendMessageW(button, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), FALSE);
    // Above every control of the template, which may reach into that corner.
    SetWindowPos(button, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    return true;
}

LRESULT CALLBACK TitleBarOk::OnCallWindowReturn(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
        if (call->message == WM_INITDIALOG) Apply(call->hwnd);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

bool MenuBar::Create(HWND frame, UINT barId, UINT buttonId, HINSTANCE instance)
{
    if (!fw::ToolBar::Create(frame, barId, TBSTYLE_FLAT | TBSTYLE_LIST | TBSTYLE_TOOLTIPS)) return false;
    wchar_t label[LABEL_CAPACITY] = {};
    LoadStringW(instance, buttonId, label, LABEL_CAPACITY);
    Send(TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_MIXEDBUTTONS);
    SetBitmapSize(0, 0);
    TBBUTTON button = {};
    button.iBitmap = I_IMAGENONE;
    button.idCommand = static_cast<int>(buttonId);
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE | BTNS_SHOWTEXT;
    button.iString = reinterpret_cast<INT_PTR>(label);
    return Send(TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button)) != 0;
}

bool MenuBar::AddButtons(HINSTANCE instance, UINT toolBarId, HIMAGELIST images)
{
    TBBUTTON separator = {};
    separator.fsStyle = BTNS_SEP;
    if (Send(TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&separator)) == 0) return false;
    const int first = GetButtonCount();
    // The images count from the first button of the resource: the "Menu" button has none.
    if (!LoadButtons(instance, toolBarId) || !SetImageList(TB_SETIMAGELIST, images)) return false;
    // A bar that shows a label beside its images gives every button the widest one's width
    // unless each takes its own.
    for (int index = first; index < GetButtonCount(); ++index) {
        if (IsSeparator(index)) continue;
        TBBUTTONINFOW info = {};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_STYLE | TBIF_BYINDEX;
        info.fsStyle = BTNS_BUTTON | BTNS_AUTOSIZE;
        if (Send(TB_SETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info)) == 0) return false;
    }
    return AutoSize();
}

bool MenuBar::SetWrap(int index, bool wrap) const
{
    TBBUTTONINFOW info = {};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_STATE | TBIF_BYINDEX;
    if (Send(TB_GETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info)) == -1) return false;
    info.fsState = static_cast<BYTE>(wrap ? info.fsState | TBSTATE_WRAP : info.fsState & ~TBSTATE_WRAP);
    return Send(TB_SETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info)) != 0;
}

void MenuBar::WrapTo(int width) const
{
    const int count = GetButtonCount();
    for (int index = 0; index < count; ++index)
        SetWrap(index, false);
    AutoSize();
    std::vector<int> widths(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        RECT rect = {};
        GetItemRect(index, rect);
        widths[static_cast<std::size_t>(index)] = rect.right - rect.left;
    }
    // A row ends at its last separator that fits, so that groups stay together; a group
    // wider than the bar ends at its last button that fits.
    int rowStart = 0;
    int lastSeparator = -1;
    int x = 0;
    for (int index = 0; index < count; ++index) {
        const int itemWidth = widths[static_cast<std::size_t>(index)];
        if (x + itemWidth > width && index > rowStart) {
            const int rowEnd = lastSeparator > rowStart ? lastSeparator : index - 1;
            SetWrap(rowEnd, true);
            rowStart = rowEnd + 1;
            lastSeparator = -1;
            x = 0;
            for (int moved = rowStart; moved < index; ++moved)
                x += widths[static_cast<std::size_t>(moved)];
        }
        if (IsSeparator(index)) lastSeparator = index;
        x += itemWidth;
    }
    AutoSize();
}

UINT MenuBar::OpenMenu(HWND frame, HMENU menu) const
{
    if (menu == nullptr || GetButtonCount() == 0) return 0;
    RECT button = {};
    if (!GetItemRect(0, button)) return 0;
    POINT corner = {button.left, button.top};
    ::ClientToScreen(Handle(), &corner);
    // The frame receives WM_INITMENUPOPUP for each pop-up, which asks the update handlers.
    return static_cast<UINT>(
        TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_BOTTOMALIGN | TPM_RETURNCMD, corner.x, corner.y, 0, frame, nullptr));
}

ConnectionInfo MakeInternetConnectionInfo()
{
    ConnectionInfo info = {};
    info.size = sizeof info;
    info.parameters = CONNECTION_PARAM_DESTINATION_GIVEN;
    info.flags = 0;
    info.priority = CONNECTION_PRIORITY_USER_INTERACTIVE;
    info.exclusive = FALSE;
    info.destinationNetwork = INTERNET_DESTINATION_NETWORK;
    return info;
}

void RequestInternetConnection(const ConnectionInfo& info, DWORD timeoutMs)
{
    (void)info;
    (void)timeoutMs;
}
