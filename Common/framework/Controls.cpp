#include "Controls.h"

#include <algorithm>

namespace fw {
namespace {

// Room around a status-bar indicator's measured text, as the bar draws a border and
// a little padding inside each pane.
constexpr int STATUS_PANE_PADDING = 8;
constexpr size_t INITIAL_TEXT_BUFFER = 256;

HINSTANCE InstanceOf(HWND hwnd) { return reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(hwnd, GWLP_HINSTANCE)); }

} // namespace

// ---------------------------------------------------------------- ImageList

bool ImageList::Create(int width, int height, UINT flags, int initial, int grow)
{
    list_.Reset(::ImageList_Create(width, height, flags, initial, grow));
    return list_.IsValid();
}

int ImageList::AddMasked(HBITMAP bitmap, COLORREF maskColour)
{
    if (!list_ || !bitmap) return -1;
    return ::ImageList_AddMasked(list_.Get(), bitmap, maskColour);
}

int ImageList::AddIcon(HICON icon)
{
    if (!list_ || !icon) return -1;
    return ::ImageList_ReplaceIcon(list_.Get(), -1, icon);
}

int ImageList::GetCount() const { return list_ ? ::ImageList_GetImageCount(list_.Get()) : 0; }

bool ImageList::GetImageSize(int& width, int& height) const
{
    return list_ && ::ImageList_GetIconSize(list_.Get(), &width, &height);
}

// ---------------------------------------------------------------- ListView

int ListView::InsertColumn(int index, const std::wstring& text, int width, int format) const
{
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = format;
    column.cx = width;
    column.pszText = const_cast<wchar_t*>(text.c_str());
    column.iSubItem = index;
    return static_cast<int>(Send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column)));
}

int ListView::GetColumnCount() const
{
    HWND header = reinterpret_cast<HWND>(Send(LVM_GETHEADER));
    return header ? static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 0;
}

int ListView::GetColumnWidth(int column) const
{
    if (column < 0 || column >= GetColumnCount()) return 0;
    return static_cast<int>(Send(LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column)));
}

bool ListView::SetColumnWidth(int column, int width) const
{
    return Send(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)) != 0;
}

DWORD ListView::GetViewMode() const { return GetStyle() & LVS_TYPEMASK; }

bool ListView::SetViewMode(DWORD mode) const
{
    if (!IsWindow()) return false;
    ModifyStyle(LVS_TYPEMASK, mode & LVS_TYPEMASK);
    return GetViewMode() == (mode & LVS_TYPEMASK);
}

DWORD ListView::GetExtendedStyle() const { return static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)); }

bool ListView::SetExtendedStyle(DWORD style) const
{
    if (!IsWindow()) return false;
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style));
    return true;
}

int ListView::InsertItem(int index, const std::wstring& text, int image, LPARAM data) const
{
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_PARAM | (image >= 0 ? LVIF_IMAGE : 0);
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(text.c_str());
    item.iImage = image;
    item.lParam = data;
    return static_cast<int>(Send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

bool ListView::SetItemText(int item, int subItem, const std::wstring& text) const
{
    LVITEMW lvItem{};
    lvItem.iSubItem = subItem;
    lvItem.pszText = const_cast<wchar_t*>(text.c_str());
    return Send(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvItem)) != 0;
}

std::wstring ListView::GetItemText(int item, int subItem) const
{
    std::wstring buffer(INITIAL_TEXT_BUFFER, L'\0');
    for (;;) {
        LVITEMW lvItem{};
        lvItem.iSubItem = subItem;
        lvItem.pszText = buffer.data();
        lvItem.cchTextMax = static_cast<int>(buffer.size());
        auto length =
            static_cast<size_t>(Send(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvItem)));
        // A full buffer may mean the text was cut; try again with more room.
        if (length + 1 < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool ListView::DeleteItem(int item) const { return Send(LVM_DELETEITEM, static_cast<WPARAM>(item)) != 0; }

bool ListView::DeleteAllItems() const { return Send(LVM_DELETEALLITEMS) != 0; }

int ListView::GetItemCount() const { return static_cast<int>(Send(LVM_GETITEMCOUNT)); }

int ListView::GetSelectedCount() const { return static_cast<int>(Send(LVM_GETSELECTEDCOUNT)); }

int ListView::GetNextItem(int start, UINT flags) const
{
    return static_cast<int>(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(start), MAKELPARAM(flags, 0)));
}

std::vector<int> ListView::GetSelectedItems() const
{
    std::vector<int> items;
    for (int item = GetNextItem(-1, LVNI_SELECTED); item >= 0; item = GetNextItem(item, LVNI_SELECTED)) {
        items.push_back(item);
    }
    return items;
}

bool ListView::SelectOnly(int item) const
{
    LVITEMW clear{};
    clear.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    if (!Send(LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&clear))) return false;
    if (item < 0) return true;
    LVITEMW select{};
    select.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    select.state = LVIS_SELECTED | LVIS_FOCUSED;
    return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&select)) != 0;
}

bool ListView::SelectItem(int item, bool select) const
{
    LVITEMW lvItem{};
    lvItem.stateMask = LVIS_SELECTED;
    lvItem.state = select ? LVIS_SELECTED : 0;
    return Send(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&lvItem)) != 0;
}

bool ListView::EnsureVisible(int item) const { return Send(LVM_ENSUREVISIBLE, static_cast<WPARAM>(item), FALSE) != 0; }

LPARAM ListView::GetItemData(int item) const
{
    LVITEMW lvItem{};
    lvItem.mask = LVIF_PARAM;
    lvItem.iItem = item;
    if (!Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&lvItem))) return 0;
    return lvItem.lParam;
}

bool ListView::SetItemData(int item, LPARAM data) const
{
    LVITEMW lvItem{};
    lvItem.mask = LVIF_PARAM;
    lvItem.iItem = item;
    lvItem.lParam = data;
    return Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&lvItem)) != 0;
}

int ListView::HitTest(POINT point) const
{
    LVHITTESTINFO info{};
    info.pt = point;
    return static_cast<int>(Send(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}

HIMAGELIST ListView::SetImageList(HIMAGELIST list, int which) const
{
    return reinterpret_cast<HIMAGELIST>(
        Send(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
}

HIMAGELIST ListView::GetImageList(int which) const
{
    return reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, static_cast<WPARAM>(which)));
}

// ---------------------------------------------------------------- TreeView

HTREEITEM TreeView::InsertItem(HTREEITEM parent, HTREEITEM after, const std::wstring& text, int image,
                               int selectedImage, LPARAM data) const
{
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask =
        TVIF_TEXT | TVIF_PARAM | (image >= 0 ? TVIF_IMAGE : 0) | (selectedImage >= 0 ? TVIF_SELECTEDIMAGE : 0);
    insert.item.pszText = const_cast<wchar_t*>(text.c_str());
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(Send(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

bool TreeView::DeleteItem(HTREEITEM item) const { return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)) != 0; }

bool TreeView::DeleteAllItems() const { return Send(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT)) != 0; }

int TreeView::GetCount() const { return static_cast<int>(Send(TVM_GETCOUNT)); }

HTREEITEM TreeView::GetRoot() const { return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_ROOT)); }

HTREEITEM TreeView::GetChild(HTREEITEM item) const
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM TreeView::GetNextSibling(HTREEITEM item) const
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM TreeView::GetParent(HTREEITEM item) const
{
    return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}

HTREEITEM TreeView::GetSelection() const { return reinterpret_cast<HTREEITEM>(Send(TVM_GETNEXTITEM, TVGN_CARET)); }

bool TreeView::Select(HTREEITEM item) const
{
    return Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0;
}

bool TreeView::Expand(HTREEITEM item, UINT action) const
{
    return Send(TVM_EXPAND, action, reinterpret_cast<LPARAM>(item)) != 0;
}

std::wstring TreeView::GetItemText(HTREEITEM item) const
{
    std::wstring buffer(INITIAL_TEXT_BUFFER, L'\0');
    for (;;) {
        TVITEMW tvItem{};
        tvItem.mask = TVIF_TEXT;
        tvItem.hItem = item;
        tvItem.pszText = buffer.data();
        tvItem.cchTextMax = static_cast<int>(buffer.size());
        if (!Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvItem))) return {};
        size_t length = std::char_traits<wchar_t>::length(buffer.c_str());
        if (length + 1 < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.assign(buffer.size() * 2, L'\0');
    }
}

bool TreeView::SetItemText(HTREEITEM item, const std::wstring& text) const
{
    TVITEMW tvItem{};
    tvItem.mask = TVIF_TEXT;
    tvItem.hItem = item;
    tvItem.pszText = const_cast<wchar_t*>(text.c_str());
    return Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tvItem)) != 0;
}

LPARAM TreeView::GetItemData(HTREEITEM item) const
{
    TVITEMW tvItem{};
    tvItem.mask = TVIF_PARAM;
    tvItem.hItem = item;
    if (!Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tvItem))) return 0;
    return tvItem.lParam;
}

bool TreeView::SetItemImage(HTREEITEM item, int image, int selectedImage) const
{
    TVITEMW tvItem{};
    tvItem.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    tvItem.hItem = item;
    tvItem.iImage = image;
    tvItem.iSelectedImage = selectedImage;
    return Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tvItem)) != 0;
}

HIMAGELIST TreeView::SetImageList(HIMAGELIST list, int which) const
{
    return reinterpret_cast<HIMAGELIST>(
        Send(TVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
}

// ---------------------------------------------------------------- ComboBox

namespace {
int ComboIndex(LRESULT result) { return result < 0 ? -1 : static_cast<int>(result); }
} // namespace

int ComboBox::AddString(const std::wstring& text) const
{
    return ComboIndex(Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
}

int ComboBox::InsertString(int index, const std::wstring& text) const
{
    return ComboIndex(Send(CB_INSERTSTRING, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.c_str())));
}

bool ComboBox::DeleteString(int index) const { return Send(CB_DELETESTRING, static_cast<WPARAM>(index)) != CB_ERR; }

int ComboBox::DroppedHeight() const
{
    RECT dropped = {};
    Send(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(&dropped));
    const RECT closed = GetRectInParent();
    return std::max(dropped.bottom - dropped.top, closed.bottom - closed.top);
}

bool ComboBox::ResetContent() const
{
    if (!IsWindow()) return false;
    Send(CB_RESETCONTENT);
    return true;
}

bool ComboBox::SetCurSel(int index) const
{
    LRESULT result = Send(CB_SETCURSEL, static_cast<WPARAM>(index));
    // Clearing the selection answers CB_ERR although it worked.
    return index < 0 ? IsWindow() : result == index;
}

int ComboBox::GetCurSel() const { return ComboIndex(Send(CB_GETCURSEL)); }

int ComboBox::GetCount() const { return std::max(0, ComboIndex(Send(CB_GETCOUNT))); }

std::wstring ComboBox::GetLBText(int index) const
{
    LRESULT length = Send(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (length <= 0) return {};
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    LRESULT copied = Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

int ComboBox::FindString(int start, const std::wstring& prefix) const
{
    return ComboIndex(Send(CB_FINDSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(prefix.c_str())));
}

int ComboBox::FindStringExact(int start, const std::wstring& text) const
{
    return ComboIndex(Send(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text.c_str())));
}

LPARAM ComboBox::GetItemData(int index) const { return Send(CB_GETITEMDATA, static_cast<WPARAM>(index)); }

bool ComboBox::SetItemData(int index, LPARAM data) const
{
    return Send(CB_SETITEMDATA, static_cast<WPARAM>(index), data) != CB_ERR;
}

// ---------------------------------------------------------------- Edit, Button, ProgressBar

bool Edit::LimitText(int maxCharacters) const
{
    if (!IsWindow()) return false;
    Send(EM_LIMITTEXT, static_cast<WPARAM>(maxCharacters));
    return true;
}

bool Edit::SetSel(int start, int end) const
{
    if (!IsWindow()) return false;
    Send(EM_SETSEL, static_cast<WPARAM>(start), static_cast<LPARAM>(end));
    return true;
}

bool Edit::ReplaceSel(const std::wstring& text) const
{
    if (!IsWindow()) return false;
    Send(EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
    return true;
}

bool Button::GetCheck() const { return Send(BM_GETCHECK) == BST_CHECKED; }

bool Button::SetCheck(bool checked) const
{
    if (!IsWindow()) return false;
    Send(BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED);
    return true;
}

bool Button::Click() const
{
    if (!IsWindow()) return false;
    Send(BM_CLICK);
    return true;
}

bool ProgressBar::SetRange(int low, int high) const
{
    if (!IsWindow()) return false;
    Send(PBM_SETRANGE32, static_cast<WPARAM>(low), static_cast<LPARAM>(high));
    return true;
}

bool ProgressBar::SetPos(int position) const
{
    if (!IsWindow()) return false;
    Send(PBM_SETPOS, static_cast<WPARAM>(position));
    return true;
}

int ProgressBar::GetPos() const { return static_cast<int>(Send(PBM_GETPOS)); }

bool ProgressBar::SetStep(int step) const
{
    if (!IsWindow()) return false;
    Send(PBM_SETSTEP, static_cast<WPARAM>(step));
    return true;
}

bool ProgressBar::StepIt() const
{
    if (!IsWindow()) return false;
    Send(PBM_STEPIT);
    return true;
}

// ---------------------------------------------------------------- StatusBar

bool StatusBar::Create(HWND parent, UINT id, DWORD style)
{
    hwnd_ = ::CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                              reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), InstanceOf(parent), nullptr);
    return hwnd_ != nullptr;
}

bool StatusBar::SetIndicators(HINSTANCE instance, const std::vector<UINT>& indicatorIds)
{
    if (!IsWindow() || indicatorIds.empty()) return false;
    HDC dc = ::GetDC(hwnd_);
    if (!dc) return false;
    HFONT font = GetFont();
    HGDIOBJ oldFont = ::SelectObject(dc, font ? static_cast<HGDIOBJ>(font) : ::GetStockObject(DEFAULT_GUI_FONT));
    bool ok = true;
    widths_.clear();
    for (UINT id : indicatorIds) {
        if (id == 0) {
            widths_.push_back(0);
            continue;
        }
        const wchar_t* text = nullptr;
        int length = ::LoadStringW(instance, id, reinterpret_cast<wchar_t*>(&text), 0);
        SIZE size{};
        if (length <= 0 || !::GetTextExtentPoint32W(dc, text, length, &size)) {
            ok = false;
            size.cx = 0;
        }
        widths_.push_back(size.cx + STATUS_PANE_PADDING);
    }
    ::SelectObject(dc, oldFont);
    ::ReleaseDC(hwnd_, dc);
    return Resize() && ok;
}

bool StatusBar::Resize() const
{
    if (!IsWindow()) return false;
    Send(WM_SIZE);
    if (widths_.empty()) return true;
    int client = GetClientRect().right;
    int fixed = 0;
    int stretching = 0;
    for (int width : widths_) {
        fixed += width;
        if (width == 0) ++stretching;
    }
    int share = stretching ? std::max(0, client - fixed) / stretching : 0;
    std::vector<int> rights;
    int x = 0;
    for (int width : widths_) {
        x += width ? width : share;
        rights.push_back(x);
    }
    rights.back() = -1; // the last pane reaches the bar's right edge
    return Send(SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data())) != 0;
}

bool StatusBar::SetText(int pane, const std::wstring& text) const
{
    return Send(SB_SETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text.c_str())) != 0;
}

std::wstring StatusBar::GetText(int pane) const
{
    LRESULT info = Send(SB_GETTEXTLENGTHW, static_cast<WPARAM>(pane));
    size_t length = LOWORD(info);
    std::wstring text(length + 1, L'\0');
    Send(SB_GETTEXTW, static_cast<WPARAM>(pane), reinterpret_cast<LPARAM>(text.data()));
    text.resize(length);
    return text;
}

int StatusBar::GetPaneCount() const { return static_cast<int>(Send(SB_GETPARTS, 0, 0)); }

int StatusBar::GetHeight() const
{
    RECT rect = GetWindowRect();
    return rect.bottom - rect.top;
}

// ---------------------------------------------------------------- ToolBar

bool ToolBar::Create(HWND parent, UINT id, DWORD style)
{
    hwnd_ = ::CreateWindowExW(
        0, TOOLBARCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER | style,
        0, 0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)), InstanceOf(parent), nullptr);
    if (!hwnd_) return false;
    Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    return true;
}

bool ToolBar::LoadButtons(HINSTANCE instance, UINT resourceId)
{
    constexpr size_t HEADER_WORDS = 4;
    HRSRC resource = ::FindResourceW(instance, MAKEINTRESOURCEW(resourceId), MAKEINTRESOURCEW(TOOLBAR_RESOURCE_TYPE));
    if (!resource || !IsWindow()) return false;
    HGLOBAL loaded = ::LoadResource(instance, resource);
    const auto* words = loaded ? static_cast<const WORD*>(::LockResource(loaded)) : nullptr;
    DWORD size = ::SizeofResource(instance, resource);
    if (!words || size < HEADER_WORDS * sizeof(WORD)) return false;
    WORD version = words[0];
    WORD width = words[1];
    WORD height = words[2];
    WORD count = words[3];
    if (version != TOOLBAR_RESOURCE_VERSION || size < (HEADER_WORDS + count) * sizeof(WORD)) return false;

    std::vector<TBBUTTON> buttons(count);
    int image = 0;
    for (size_t i = 0; i < count; ++i) {
        WORD command = words[HEADER_WORDS + i];
        TBBUTTON& button = buttons[i];
        button.idCommand = command;
        button.iString = -1;
        if (command == 0) {
            button.fsStyle = BTNS_SEP;
        } else {
            button.iBitmap = image++;
            button.fsStyle = BTNS_BUTTON;
            button.fsState = TBSTATE_ENABLED;
        }
    }
    SetBitmapSize(width, height);
    return count == 0 || Send(TB_ADDBUTTONSW, buttons.size(), reinterpret_cast<LPARAM>(buttons.data())) != 0;
}

int ToolBar::GetButtonCount() const { return static_cast<int>(Send(TB_BUTTONCOUNT)); }

bool ToolBar::GetButton(int index, TBBUTTON& button) const
{
    button = TBBUTTON{};
    return Send(TB_GETBUTTON, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&button)) != 0;
}

UINT ToolBar::GetCommandId(int index) const
{
    TBBUTTON button{};
    if (!GetButton(index, button) || (button.fsStyle & BTNS_SEP)) return 0;
    return static_cast<UINT>(button.idCommand);
}

bool ToolBar::IsSeparator(int index) const
{
    TBBUTTON button{};
    return GetButton(index, button) && (button.fsStyle & BTNS_SEP);
}

bool ToolBar::SetButtonText(int index, const std::wstring& text) const
{
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_TEXT;
    info.pszText = const_cast<wchar_t*>(text.c_str());
    if (!Send(TB_SETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info))) return false;
    // Some toolbar implementations keep the old button size until the text rows are
    // set again; setting them to what they are makes the toolbar measure the new text.
    Send(TB_SETMAXTEXTROWS, static_cast<WPARAM>(Send(TB_GETTEXTROWS)));
    return true;
}

std::wstring ToolBar::GetButtonText(int index) const
{
    std::wstring buffer(INITIAL_TEXT_BUFFER, L'\0');
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_BYINDEX | TBIF_TEXT;
    info.pszText = buffer.data();
    info.cchText = static_cast<int>(buffer.size());
    if (Send(TB_GETBUTTONINFOW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&info)) < 0) return {};
    buffer.resize(std::char_traits<wchar_t>::length(buffer.c_str()));
    return buffer;
}

bool ToolBar::GetItemRect(int index, RECT& rect) const
{
    return Send(TB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rect)) != 0;
}

bool ToolBar::SetImageList(UINT message, HIMAGELIST list) const
{
    if (!IsWindow() || !list) return false;
    Send(message, 0, reinterpret_cast<LPARAM>(list));
    return true;
}

bool ToolBar::SetButtonSize(int width, int height) const
{
    return Send(TB_SETBUTTONSIZE, 0, MAKELPARAM(width, height)) != 0;
}

bool ToolBar::SetBitmapSize(int width, int height) const
{
    return Send(TB_SETBITMAPSIZE, 0, MAKELPARAM(width, height)) != 0;
}

SIZE ToolBar::GetButtonSize() const
{
    LRESULT size = Send(TB_GETBUTTONSIZE);
    return SIZE{LOWORD(size), HIWORD(size)};
}

bool ToolBar::SetToolBarStyle(DWORD style) const
{
    if (!IsWindow()) return false;
    Send(TB_SETSTYLE, 0, static_cast<LPARAM>(style));
    return true;
}

DWORD ToolBar::GetToolBarStyle() const { return static_cast<DWORD>(Send(TB_GETSTYLE)); }

bool ToolBar::SetExtendedStyle(DWORD style) const
{
    if (!IsWindow()) return false;
    Send(TB_SETEXTENDEDSTYLE, 0, static_cast<LPARAM>(style));
    return true;
}

bool ToolBar::AutoSize() const
{
    if (!IsWindow()) return false;
    Send(TB_AUTOSIZE);
    return true;
}

int ToolBar::GetIdealHeight() const
{
    int top = 0;
    int bottom = 0;
    int count = GetButtonCount();
    for (int i = 0; i < count; ++i) {
        RECT rect{};
        if (IsSeparator(i) || !GetItemRect(i, rect)) continue;
        if (bottom == 0 || rect.top < top) top = rect.top;
        bottom = std::max(bottom, static_cast<int>(rect.bottom));
    }
    // The same gap below the buttons as above them.
    return bottom ? bottom + top : GetButtonSize().cy;
}

bool ToolBar::EnableButton(UINT commandId, bool enable) const
{
    return Send(TB_ENABLEBUTTON, commandId, MAKELPARAM(enable ? TRUE : FALSE, 0)) != 0;
}

bool ToolBar::CheckButton(UINT commandId, bool check) const
{
    return Send(TB_CHECKBUTTON, commandId, MAKELPARAM(check ? TRUE : FALSE, 0)) != 0;
}

bool ToolBar::IsButtonEnabled(UINT commandId) const { return Send(TB_ISBUTTONENABLED, commandId) != 0; }

bool ToolBar::IsButtonChecked(UINT commandId) const { return Send(TB_ISBUTTONCHECKED, commandId) != 0; }

} // namespace fw
