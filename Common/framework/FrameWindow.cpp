#include "FrameWindow.h"

#include "App.h"
#include "Controls.h"
#include "Document.h"
#include "FormView.h"
#include "Handles.h"
#include "OutOfMemory.h"
#include "Wait.h"

#include <algorithm>
#include <new>

namespace fw {
namespace {

constexpr wchar_t FRAME_CLASS_NAME[] = L"FwFrameWindow";
constexpr UINT CLASS_NAME_BUFFER = 64;

bool HasClass(HWND hwnd, const wchar_t* className)
{
    wchar_t name[CLASS_NAME_BUFFER] = {};
    ::GetClassNameW(hwnd, name, CLASS_NAME_BUFFER);
    return ::lstrcmpiW(name, className) == 0;
}

} // namespace

FrameWindow::~FrameWindow()
{
    if (hwnd_ && ::IsWindow(hwnd_)) {
        ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
    }
}

bool FrameWindow::Create(HINSTANCE instance, UINT resourceId, const std::wstring& caption, DWORD style)
{
    resourceId_ = resourceId;
    HICON icon = ::LoadIconW(instance, MAKEINTRESOURCEW(resourceId));
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (!::GetClassInfoExW(instance, FRAME_CLASS_NAME, &windowClass)) {
        windowClass = WNDCLASSEXW{};
        windowClass.cbSize = sizeof(windowClass);
        windowClass.style = CS_DBLCLKS;
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
        windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        windowClass.lpszClassName = FRAME_CLASS_NAME;
        if (!::RegisterClassExW(&windowClass)) return false;
    }
    MenuHandle menu(::LoadMenuW(instance, MAKEINTRESOURCEW(resourceId)));
    accelerators_ = ::LoadAcceleratorsW(instance, MAKEINTRESOURCEW(resourceId));
    HWND hwnd = ::CreateWindowExW(0, FRAME_CLASS_NAME, caption.c_str(), style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu.Get(), instance, this);
    if (!hwnd) return false;
    menu.Release(); // the window destroys its menu
    if (icon) {
        SetIcon(icon, true);
        SetIcon(icon, false);
    }
    return true;
}

void FrameWindow::AddBar(HWND bar, BarSide side, int height)
{
    bars_.push_back(Bar{bar, side, height, {}, nullptr, HasClass(bar, TOOLBARCLASSNAMEW)});
}

void FrameWindow::AddBar(const ToolBar& bar, BarSide side) { AddBar(bar.Handle(), side, bar.GetIdealHeight()); }

void FrameWindow::AddBar(StatusBar& bar)
{
    AddBar(bar.Handle(), BarSide::Bottom, bar.GetHeight());
    bars_.back().statusBar = &bar;
}

void FrameWindow::SetBarHeight(HWND bar, int height)
{
    if (Bar* entry = FindBar(bar)) entry->height = height;
}

void FrameWindow::SetBarToggleCommand(HWND bar, UINT commandId)
{
    if (Bar* entry = FindBar(bar)) entry->toggleCommands.push_back(commandId);
}

bool FrameWindow::IsBarVisible(HWND bar) const
{
    // The style bit, not IsWindowVisible: it holds while the frame itself is hidden.
    return FindBar(bar) && (::GetWindowLongPtrW(bar, GWL_STYLE) & WS_VISIBLE);
}

void FrameWindow::ShowBar(HWND bar, bool show)
{
    if (!FindBar(bar)) return;
    ::ShowWindow(bar, show ? SW_SHOWNOACTIVATE : SW_HIDE);
    RecalcLayout();
}

void FrameWindow::ToggleBar(HWND bar) { ShowBar(bar, !IsBarVisible(bar)); }

void FrameWindow::RecalcLayout()
{
    if (!hwnd_) return;
    RECT client = GetClientRect();
    int width = client.right - client.left;
    int top = client.top;
    int bottom = client.bottom;
    for (const Bar& bar : bars_) {
        if (bar.side != BarSide::Top || !IsBarVisible(bar.hwnd)) continue;
        ::MoveWindow(bar.hwnd, client.left, top, width, bar.height, TRUE);
        top += bar.height;
    }
    for (const Bar& bar : bars_) {
        if (bar.side != BarSide::Bottom || !IsBarVisible(bar.hwnd)) continue;
        bottom -= bar.height;
        ::MoveWindow(bar.hwnd, client.left, bottom, width, bar.height, TRUE);
        if (bar.statusBar) bar.statusBar->Resize();
    }
    if (view_ && view_->Handle()) {
        ::MoveWindow(view_->Handle(), client.left, top, width, std::max(0, bottom - top), TRUE);
    }
}

RECT FrameWindow::GetViewRect() const
{
    RECT rect = GetClientRect();
    for (const Bar& bar : bars_) {
        if (!IsBarVisible(bar.hwnd)) continue;
        if (bar.side == BarSide::Top) {
            rect.top += bar.height;
        } else {
            rect.bottom -= bar.height;
        }
    }
    rect.bottom = std::max(rect.top, rect.bottom);
    return rect;
}

void FrameWindow::SetDocument(Document* document) noexcept
{
    document_ = document;
    if (document_) document_->SetFrame(this);
    UpdateCaption();
}

void FrameWindow::UpdateCaption()
{
    if (!hwnd_) return;
    std::wstring name = appName_;
    if (name.empty() && GetApp()) name = GetApp()->GetAppName();
    std::wstring title = document_ ? document_->GetTitle() : std::wstring();
    if (title.empty()) {
        SetText(name);
    } else if (name.empty()) {
        SetText(title);
    } else {
        SetText(title + L" - " + name);
    }
}

bool FrameWindow::GetWindowPlacement(WINDOWPLACEMENT& placement) const
{
    placement = WINDOWPLACEMENT{};
    placement.length = sizeof(placement);
    return ::GetWindowPlacement(hwnd_, &placement) != FALSE;
}

bool FrameWindow::SetWindowPlacement(const WINDOWPLACEMENT& placement) const
{
    WINDOWPLACEMENT copy = placement;
    copy.length = sizeof(copy);
    return ::SetWindowPlacement(hwnd_, &copy) != FALSE;
}

CommandChain FrameWindow::GetCommandChain()
{
    return CommandChain{this, static_cast<CommandTarget*>(view_), document_, GetApp()};
}

bool FrameWindow::RouteCommand(UINT id)
{
    CommandChain chain = GetCommandChain();
    CommandState state(id);
    for (CommandTarget* target : chain) {
        if (target && target->OnUpdateCommand(state)) {
            if (state.Enabled() && !*state.Enabled()) return false;
            break;
        }
    }
    return fw::RouteCommand(chain, id);
}

void FrameWindow::UpdateToolBars()
{
    CommandChain chain = GetCommandChain();
    for (const Bar& bar : bars_) {
        if (bar.isToolBar && IsBarVisible(bar.hwnd)) UpdateToolBarButtons(bar.hwnd, chain);
    }
}

bool FrameWindow::OnCommand(UINT id)
{
    const Bar* bar = FindBarByCommand(id);
    if (!bar) return false;
    ToggleBar(bar->hwnd);
    return true;
}

bool FrameWindow::OnUpdateCommand(CommandState& state)
{
    const Bar* bar = FindBarByCommand(state.Id());
    if (!bar) return false;
    state.Enable(true);
    state.SetCheck(IsBarVisible(bar->hwnd));
    return true;
}

bool FrameWindow::HandlesCommand(UINT id) const { return FindBarByCommand(id) != nullptr; }

int FrameWindow::OnCreate(CREATESTRUCTW* create)
{
    (void)create;
    return 0;
}

void FrameWindow::OnClose() { Destroy(); }

void FrameWindow::OnDestroy() { ::PostQuitMessage(0); }

void FrameWindow::OnTimer(UINT_PTR id) { (void)id; }

void FrameWindow::OnSize(UINT type, int width, int height)
{
    (void)width;
    (void)height;
    if (type != SIZE_MINIMIZED) RecalcLayout();
}

bool FrameWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    (void)message;
    (void)wParam;
    (void)lParam;
    (void)result;
    return false;
}

FrameWindow::Bar* FrameWindow::FindBar(HWND bar)
{
    auto it = std::find_if(bars_.begin(), bars_.end(), [bar](const Bar& entry) { return entry.hwnd == bar; });
    return it == bars_.end() ? nullptr : &*it;
}

const FrameWindow::Bar* FrameWindow::FindBar(HWND bar) const { return const_cast<FrameWindow*>(this)->FindBar(bar); }

const FrameWindow::Bar* FrameWindow::FindBarByCommand(UINT id) const
{
    for (const Bar& bar : bars_) {
        if (std::find(bar.toggleCommands.begin(), bar.toggleCommands.end(), id) != bar.toggleCommands.end()) {
            return &bar;
        }
    }
    return nullptr;
}

LRESULT CALLBACK FrameWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    FrameWindow* frame = nullptr;
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        frame = static_cast<FrameWindow*>(create->lpCreateParams);
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(frame));
        frame->hwnd_ = hwnd;
    } else {
        frame = reinterpret_cast<FrameWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!frame) return ::DefWindowProcW(hwnd, message, wParam, lParam);
    try {
        return frame->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        ShowOutOfMemory(hwnd);
        // A frame that could not set itself up is not created.
        return message == WM_CREATE ? -1 : 0;
    }
}

LRESULT FrameWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;

    switch (message) {
    case WM_CREATE: return OnCreate(reinterpret_cast<CREATESTRUCTW*>(lParam)) == -1 ? -1 : 0;
    case WM_CLOSE:
        // Closing now would pull the window from under the work a wait holds it for.
        if (!DeferCloseDuringWait(hwnd_)) OnClose();
        return 0;
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_NCDESTROY: {
        HWND hwnd = hwnd_;
        ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        hwnd_ = nullptr;
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
    case WM_SIZE: OnSize(static_cast<UINT>(wParam), LOWORD(lParam), HIWORD(lParam)); return 0;
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return 0;
    case WM_SETFOCUS:
        // The view's dialog procedure puts the focus back on its last focused control.
        if (view_ && view_->Handle()) {
            ::SetFocus(view_->Handle());
            return 0;
        }
        break;
    case WM_COMMAND: {
        UINT code = HIWORD(wParam);
        // Menus, accelerators (code 1) and button clicks of the frame's own children
        // (toolbar buttons) are commands; other control notifications are not.
        if (lParam == 0 || code == BN_CLICKED) {
            RouteCommand(LOWORD(wParam));
            return 0;
        }
        break;
    }
    case WM_INITMENUPOPUP:
        if (!HIWORD(lParam)) {
            UpdateMenuItems(reinterpret_cast<HMENU>(wParam), GetCommandChain());
            return 0;
        }
        break;
    default: break;
    }
    return ::DefWindowProcW(hwnd_, message, wParam, lParam);
}

} // namespace fw
