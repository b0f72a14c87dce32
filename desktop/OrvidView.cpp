#include "OrvidView.h"

#include "OrvidDoc.h"
#include "session/Win32Reporter.h"
#include "shell/ShellHelpers.h"

const std::array<ListColumn, LIST_COLUMN_COUNT> LIST_COLUMNS = {{
    {L"Name", 180, LVCFMT_LEFT},
    {L"Time", 110, LVCFMT_LEFT},
    {L"Size", 80, LVCFMT_RIGHT},
    {L"Attributes", 80, LVCFMT_RIGHT},
    {L"Owner", 60, LVCFMT_RIGHT},
}};

namespace {

constexpr int LAYOUT_MARGIN = 2;
constexpr DWORD LIST_EXTENDED_STYLE = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

struct ViewModeCommand {
    UINT command;
    DWORD mode;
};
constexpr std::array<ViewModeCommand, 3> VIEW_MODE_COMMANDS = {{
    {ID_VIEW_ICONS, LVS_ICON},
    {ID_VIEW_LIST, LVS_LIST},
    {ID_VIEW_DETAILS, LVS_REPORT},
}};

int Width(const RECT& rect) { return rect.right - rect.left; }

int Height(const RECT& rect) { return rect.bottom - rect.top; }

} // namespace

COrvidView::COrvidView() : fw::FormView(IDD_ORVID_FORM) {}

DWORD COrvidView::GetViewMode() const { return List().GetViewMode(); }

void COrvidView::SetViewMode(DWORD mode) { List().SetViewMode(mode & LVS_TYPEMASK); }

int COrvidView::ColumnWidth(int column) const
{
    fw::ListView list = List();
    HWND header = ListView_GetHeader(list.Handle());
    HDITEMW item = {};
    item.mask = HDI_WIDTH;
    if (header != nullptr && Header_GetItem(header, column, &item)) return item.cxy;
    return list.GetColumnWidth(column);
}

bool COrvidView::OnCommand(UINT id)
{
    for (const auto& entry : VIEW_MODE_COMMANDS) {
        if (entry.command == id) {
            SetViewMode(entry.mode);
            return true;
        }
    }
    return false;
}

bool COrvidView::OnUpdateCommand(fw::CommandState& state)
{
    for (const auto& entry : VIEW_MODE_COMMANDS) {
        if (entry.command == state.Id()) {
            state.Enable(true);
            state.SetRadio(GetViewMode() == entry.mode);
            return true;
        }
    }
    return false;
}

void COrvidView::OnInitialUpdate()
{
    MakeBoldFont(Handle(), IDC_FOLDER_LABEL);
    fw::ListView list = List();
    list.SetExtendedStyle(LIST_EXTENDED_STYLE);
    for (int column = 0; column < LIST_COLUMN_COUNT; ++column)
        list.InsertColumn(column, LIST_COLUMNS[column].header, LIST_COLUMNS[column].width, LIST_COLUMNS[column].format);
    LayOut();
    RestartKeepAlive();
    Win32Reporter().SetActivityWindow(Handle());
}

void COrvidView::ClearPane()
{
    fw::ComboBox(Child(IDC_FOLDER_COMBO).Handle()).ResetContent();
    List().DeleteAllItems();
}

void COrvidView::SetKeepAliveInterval(UINT milliseconds)
{
    keepAliveIntervalMs = milliseconds;
    if (IsWindow()) RestartKeepAlive();
}

void COrvidView::RestartKeepAlive()
{
    KillTimer(KEEPALIVE_TIMER);
    SetTimer(KEEPALIVE_TIMER, keepAliveIntervalMs);
}

ConnectionSession* COrvidView::Session() const
{
    auto* document = dynamic_cast<COrvidDoc*>(GetDocument());
    return document != nullptr ? &document->Session() : nullptr;
}

void COrvidView::OnTimer(UINT_PTR id)
{
    if (id != KEEPALIVE_TIMER) {
        fw::FormView::OnTimer(id);
        return;
    }
    if (ConnectionSession* session = Session()) session->KeepAlive();
}

bool COrvidView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    switch (message) {
    case WM_SOCKET_ACTIVITY:
        RestartKeepAlive();
        result = 0;
        return true;
    case WM_DESTROY:
        if (Win32Reporter().ActivityWindow() == Handle()) Win32Reporter().SetActivityWindow(nullptr);
        break;
    default: break;
    }
    return fw::FormView::OnMessage(message, wParam, lParam, result);
}

void COrvidView::OnSize(UINT type, int width, int height)
{
    fw::FormView::OnSize(type, width, height);
    LayOut();
}

void COrvidView::LayOut()
{
    fw::Window up = Child(IDC_UP);
    fw::Window go = Child(IDC_GO);
    fw::ComboBox folder(Child(IDC_FOLDER_COMBO).Handle());
    fw::Window list = Child(IDC_REMOTE_LIST);
    if (!up.IsWindow() || !go.IsWindow() || !folder.IsWindow() || !list.IsWindow()) return;

    RECT client = GetClientRect();
    RECT upRect = up.GetRectInParent();
    int upLeft = client.right - LAYOUT_MARGIN - Width(upRect);
    up.Move(upLeft, upRect.top, Width(upRect), Height(upRect));

    RECT goRect = go.GetRectInParent();
    int goLeft = upLeft - Width(goRect);
    go.Move(goLeft, goRect.top, Width(goRect), Height(goRect));

    // A combo box's window height includes its drop-down list, which the rectangle of
    // the closed box does not show; keep the dropped height.
    RECT folderRect = folder.GetRectInParent();
    RECT dropped = {};
    folder.Send(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    int folderHeight = Height(dropped) > Height(folderRect) ? Height(dropped) : Height(folderRect);
    folder.Move(folderRect.left, folderRect.top, goLeft - folderRect.left, folderHeight);

    RECT listRect = list.GetRectInParent();
    list.Move(listRect.left, listRect.top, client.right - LAYOUT_MARGIN - listRect.left,
              client.bottom - LAYOUT_MARGIN - listRect.top);
}
