#include "MainFrame.h"

#include <cstdio>
#include <string>
#include <vector>

#include "OrvidDoc.h"
#include "OrvidView.h"
#include "framework/Handles.h"
#include "resource.h"
#include "session/Win32Reporter.h"
#include "shell/StatusText.h"

const wchar_t* const LAYOUT_KEY = L"SOFTWARE\\FTPClient\\Layout";

namespace {

const wchar_t* const PLACEMENT_VALUE = L"Main";
const wchar_t* const TOOLBAR_VALUE = L"ToolBar";
const wchar_t* const FILTER_VALUE = L"Filter";
const wchar_t* const STATUS_BAR_VALUE = L"StatusBar";
const wchar_t* const VIEW_MODE_VALUE = L"View";
const wchar_t* const COLUMN_VALUE_PREFIX = L"Col";

constexpr DWORD VIEW_MODE_BITS = 3;
constexpr DWORD COLUMN_WIDTH_BITS = 0xFFFF;
constexpr int STRING_CAPACITY = 256;

std::wstring ColumnValueName(int column) { return COLUMN_VALUE_PREFIX + std::to_wstring(column); }

std::wstring LoadText(HINSTANCE instance, UINT id)
{
    wchar_t text[STRING_CAPACITY] = {};
    int length = LoadStringW(instance, id, text, STRING_CAPACITY);
    return std::wstring(text, length > 0 ? length : 0);
}

HINSTANCE ModuleOf(HWND window) { return reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window, GWLP_HINSTANCE)); }

} // namespace

COrvidView* CMainFrame::View() const { return static_cast<COrvidView*>(GetView()); }

bool CMainFrame::CreateToolBar(HINSTANCE instance)
{
    // Wrapping keeps every button reachable when the frame is narrower than the row.
    if (!toolBar.Create(Handle(), IDW_TOOLBAR, TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | TBSTYLE_WRAPABLE)) return false;
    if (!toolBar.LoadButtons(instance, IDR_MAINFRAME)) return false;
    if (!toolBar.SetupLabels(instance)) return false;
    toolBar.SetToolBarStyle(toolBar.GetToolBarStyle() | TBSTYLE_FLAT);
    if (toolBar.SetImages(instance, TB_SETIMAGELIST) && toolBar.SetImages(instance, TB_SETHOTIMAGELIST))
        toolBar.SetImages(instance, TB_SETDISABLEDIMAGELIST);
    return true;
}

int CMainFrame::OnCreate(CREATESTRUCTW* create)
{
    if (fw::FrameWindow::OnCreate(create) == -1) return -1;
    HINSTANCE instance = create->hInstance != nullptr ? create->hInstance : ModuleOf(Handle());

    if (!CreateToolBar(instance)) return -1;
    toolBarHeight = toolBar.GetIdealHeight();
    AddBar(toolBar, fw::BarSide::Top, toolBarHeight);
    SetBarToggleCommand(toolBar, ID_VIEW_TOOLBAR);

    if (!filterBar.Create(*this, fw::BarSide::Top)) return -1;
    SetBarToggleCommand(filterBar, ID_VIEW_FILTER);
    SetBarToggleCommand(filterBar, IDC_FILTER_HIDE);

    if (!statusBar.Create(Handle(), IDW_STATUS_BAR)) return -1;
    if (!statusBar.SetIndicators(
            instance, {0, ID_INDICATOR_DIRECTORIES, ID_INDICATOR_FILES, ID_INDICATOR_BYTES, ID_INDICATOR_SECURITY}))
        return -1;
    AddBar(statusBar, fw::BarSide::Bottom, statusBar.GetHeight());
    SetBarToggleCommand(statusBar, ID_VIEW_STATUS_BAR);

    SetTimer(READY_TIMER, READY_TIMER_MS);
    SetStatusTextWindow(Handle());
    Win32Reporter().SetSilent(false);
    statusBar.SetText(STATUS_PANE_MESSAGE, LoadText(instance, IDS_READY));
    for (int pane : {STATUS_PANE_DIRECTORIES, STATUS_PANE_FILES, STATUS_PANE_BYTES, STATUS_PANE_SECURITY})
        statusBar.SetText(pane, L"");
    return 0;
}

void CMainFrame::OnClose()
{
    SaveLayout();
    // The connection ends while this window still stands: QUIT goes out long before the
    // socket library is cleaned up, and anything the log-off reports has a window to show
    // over.
    if (auto* document = dynamic_cast<COrvidDoc*>(GetDocument())) document->Disconnect();
    fw::FrameWindow::OnClose();
}

void CMainFrame::OnDestroy()
{
    Win32Reporter().SetSilent(true);
    KillTimer(READY_TIMER);
    if (StatusTextWindow() == Handle()) SetStatusTextWindow(nullptr);
    // Texts still queued for this window would be lost with it; free their copies.
    MSG pending;
    while (PeekMessageW(&pending, Handle(), WM_STATUS_TEXT, WM_STATUS_TEXT, PM_REMOVE))
        ApplyStatusText(nullptr, pending.wParam, pending.lParam);
    fw::FrameWindow::OnDestroy();
}

void CMainFrame::OnTimer(UINT_PTR id)
{
    if (id == READY_TIMER) SetStatusText(STATUS_PANE_MESSAGE, LoadText(ModuleOf(Handle()), IDS_READY));
    fw::FrameWindow::OnTimer(id);
}

void CMainFrame::OnSize(UINT type, int width, int height)
{
    fw::FrameWindow::OnSize(type, width, height);
    if (type == SIZE_MINIMIZED) return;
    // The toolbar has wrapped its buttons to the new width; give it the rows it needs.
    if (toolBar.IsWindow()) {
        int rowsHeight = toolBar.GetIdealHeight();
        if (rowsHeight != toolBarHeight) {
            toolBarHeight = rowsHeight;
            SetBarHeight(toolBar, rowsHeight);
            RecalcLayout();
        }
    }
    if (statusBar.IsWindow()) statusBar.Resize();
}

bool CMainFrame::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    if (message == WM_STATUS_TEXT) {
        ApplyStatusText(statusBar.IsWindow() ? statusBar.Handle() : nullptr, wParam, lParam);
        result = 0;
        return true;
    }
    return fw::FrameWindow::OnMessage(message, wParam, lParam, result);
}

void CMainFrame::LoadLayout()
{
    LinkFilterControls();

    fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, LAYOUT_KEY);
    if (!key.IsOpen()) return;

    WINDOWPLACEMENT placement = {};
    DWORD size = 0;
    if (key.ReadBinary(PLACEMENT_VALUE, &placement, sizeof placement, &size) && size == sizeof placement) {
        placement.length = sizeof placement;
        // A frame closed maximised or minimised opens again in its normal rectangle.
        placement.showCmd = SW_SHOWNORMAL;
        SetWindowPlacement(placement);
    } else {
        Move(DEFAULT_FRAME_LEFT, DEFAULT_FRAME_TOP, DEFAULT_FRAME_WIDTH, DEFAULT_FRAME_HEIGHT);
    }

    const std::pair<const wchar_t*, HWND> bars[] = {
        {TOOLBAR_VALUE, toolBar.Handle()}, {FILTER_VALUE, filterBar.Handle()}, {STATUS_BAR_VALUE, statusBar.Handle()}};
    for (const auto& [name, bar] : bars) {
        DWORD visible = 0;
        if (key.ReadDword(name, visible)) ShowBar(bar, visible != 0);
    }

    COrvidView* view = View();
    if (view == nullptr) return;
    // The widths go in while the list still has its details mode: in list mode the same
    // call would set the width of the list's columns instead.
    fw::ListView list = view->List();
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        DWORD width = 0;
        if (key.ReadBinary(ColumnValueName(column), &width, sizeof width))
            list.SetColumnWidth(column, static_cast<int>(width & COLUMN_WIDTH_BITS));
    }
    DWORD mode = 0;
    if (key.ReadBinary(VIEW_MODE_VALUE, &mode, sizeof mode)) view->SetViewMode(mode & VIEW_MODE_BITS);
}

void CMainFrame::LinkFilterControls()
{
    auto* document = dynamic_cast<COrvidDoc*>(GetDocument());
    if (document == nullptr) return;
    ConnectionSession& session = document->Session();
    session.filterEdit = filterBar.Child(IDC_FILTER_TEXT).Handle();
    session.kindCombo = filterBar.Child(IDC_FILTER_KIND).Handle();
    session.typeCombo = filterBar.Child(IDC_FILTER_TYPE).Handle();
}

void CMainFrame::SaveLayout()
{
    fw::RegistryKey key = fw::RegistryKey::Create(HKEY_CURRENT_USER, LAYOUT_KEY);
    if (!key.IsOpen()) return;

    WINDOWPLACEMENT placement = {};
    placement.length = sizeof placement;
    if (GetWindowPlacement(placement)) key.WriteBinary(PLACEMENT_VALUE, &placement, sizeof placement);

    key.WriteDword(TOOLBAR_VALUE, IsBarVisible(toolBar) ? 1 : 0);
    key.WriteDword(FILTER_VALUE, IsBarVisible(filterBar) ? 1 : 0);
    key.WriteDword(STATUS_BAR_VALUE, IsBarVisible(statusBar) ? 1 : 0);

    COrvidView* view = View();
    if (view == nullptr) return;
    DWORD mode = view->GetViewMode();
    key.WriteBinary(VIEW_MODE_VALUE, &mode, sizeof mode);
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column) {
        DWORD width = static_cast<DWORD>(view->ColumnWidth(column));
        key.WriteBinary(ColumnValueName(column), &width, sizeof width);
    }
}
