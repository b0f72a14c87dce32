#pragma once
// Thin typed wrappers over the common controls. Each is a non-owning Window; calls
// return bool (or an index, -1 when the control refused).
#include "Handles.h"
#include "Window.h"

#include <commctrl.h>

#include <string>
#include <vector>

namespace fw {

// Owns an image list until it is released to a control that keeps it.
class ImageList {
public:
    ImageList() noexcept = default;
    explicit ImageList(HIMAGELIST list) noexcept : list_(list) {}

    // flags: ILC_COLOR24/ILC_COLOR32, with ILC_MASK for transparent images.
    bool Create(int width, int height, UINT flags, int initial, int grow);
    // Adds every image of the bitmap (its width / image width); pixels of maskColour
    // become transparent. Returns the index of the first image, or -1.
    int AddMasked(HBITMAP bitmap, COLORREF maskColour);
    int AddIcon(HICON icon); // the list copies the icon; the caller still owns it
    int GetCount() const;
    bool GetImageSize(int& width, int& height) const;

    HIMAGELIST Get() const noexcept { return list_.Get(); }
    HIMAGELIST Release() noexcept { return list_.Release(); }
    void Reset() noexcept { list_.Reset(); }
    bool IsValid() const noexcept { return list_.IsValid(); }

private:
    ImageListHandle list_;
};

class ListView : public Window {
public:
    using Window::Window;

    // format: LVCFMT_LEFT, LVCFMT_RIGHT or LVCFMT_CENTER. Returns the new index or -1.
    int InsertColumn(int index, const std::wstring& text, int width, int format = LVCFMT_LEFT) const;
    int GetColumnCount() const;
    int GetColumnWidth(int column) const; // 0 when the column does not exist
    bool SetColumnWidth(int column, int width) const;

    // The style bits LVS_ICON (0), LVS_REPORT (1), LVS_SMALLICON (2) or LVS_LIST (3).
    DWORD GetViewMode() const;
    bool SetViewMode(DWORD mode) const;
    DWORD GetExtendedStyle() const;
    bool SetExtendedStyle(DWORD style) const;

    // Returns the new row index or -1.
    int InsertItem(int index, const std::wstring& text, int image = -1, LPARAM data = 0) const;
    bool SetItemText(int item, int subItem, const std::wstring& text) const;
    std::wstring GetItemText(int item, int subItem) const;
    bool DeleteItem(int item) const;
    bool DeleteAllItems() const;
    int GetItemCount() const;
    int GetSelectedCount() const;
    // LVNI_SELECTED, LVNI_FOCUSED ...; start -1 searches from the first row.
    int GetNextItem(int start, UINT flags) const;
    std::vector<int> GetSelectedItems() const;
    bool SelectItem(int item, bool select) const;
    // Clears every row's selection and focus, then selects and focuses the row (none for -1).
    bool SelectOnly(int item) const;
    bool EnsureVisible(int item) const;
    LPARAM GetItemData(int item) const;
    bool SetItemData(int item, LPARAM data) const;
    // The row under a point in client coordinates, or -1.
    int HitTest(POINT point) const;

    // which: LVSIL_NORMAL or LVSIL_SMALL. The control does not destroy the list unless
    // it has LVS_SHAREIMAGELISTS cleared; callers keep their ImageList and release
    // nothing. Returns the previous list.
    HIMAGELIST SetImageList(HIMAGELIST list, int which) const;
    HIMAGELIST GetImageList(int which) const;
};

class TreeView : public Window {
public:
    using Window::Window;

    // Returns the new item or nullptr.
    HTREEITEM InsertItem(HTREEITEM parent, HTREEITEM after, const std::wstring& text, int image = -1,
                         int selectedImage = -1, LPARAM data = 0) const;
    bool DeleteItem(HTREEITEM item) const;
    bool DeleteAllItems() const;
    int GetCount() const;
    HTREEITEM GetRoot() const;
    HTREEITEM GetChild(HTREEITEM item) const;
    HTREEITEM GetNextSibling(HTREEITEM item) const;
    HTREEITEM GetParent(HTREEITEM item) const;
    HTREEITEM GetSelection() const;
    bool Select(HTREEITEM item) const;
    bool Expand(HTREEITEM item, UINT action = TVE_EXPAND) const;
    std::wstring GetItemText(HTREEITEM item) const;
    bool SetItemText(HTREEITEM item, const std::wstring& text) const;
    LPARAM GetItemData(HTREEITEM item) const;
    bool SetItemImage(HTREEITEM item, int image, int selectedImage) const;
    HIMAGELIST SetImageList(HIMAGELIST list, int which = TVSIL_NORMAL) const;
};

class ComboBox : public Window {
public:
    using Window::Window;

    int AddString(const std::wstring& text) const;               // index or -1
    int InsertString(int index, const std::wstring& text) const; // index or -1
    bool DeleteString(int index) const;
    bool ResetContent() const;
    // Selects an entry; -1 clears the selection (and counts as success).
    bool SetCurSel(int index) const;
    int GetCurSel() const; // -1 when nothing is selected
    int GetCount() const;
    std::wstring GetLBText(int index) const;
    // Case-insensitive; start -1 searches from the first entry. Index or -1.
    int FindString(int start, const std::wstring& prefix) const;
    int FindStringExact(int start, const std::wstring& text) const;
    LPARAM GetItemData(int index) const;
    bool SetItemData(int index, LPARAM data) const;
    // The window's height with the list dropped: the height to give it when it moves. The
    // window is as high as its box and its list together, while its rectangle in the
    // parent shows only the box.
    int DroppedHeight() const;
};

class Edit : public Window {
public:
    using Window::Window;
    bool LimitText(int maxCharacters) const;
    bool SetSel(int start, int end) const;
    bool ReplaceSel(const std::wstring& text) const;
};

class Button : public Window {
public:
    using Window::Window;
    bool GetCheck() const;
    bool SetCheck(bool checked) const;
    bool Click() const;
};

class ProgressBar : public Window {
public:
    using Window::Window;
    bool SetRange(int low, int high) const;
    bool SetPos(int position) const;
    int GetPos() const;
    bool SetStep(int step) const;
    bool StepIt() const;
};

class StatusBar : public Window {
public:
    using Window::Window;

    // A status bar along the bottom of parent (style adds to WS_CHILD | WS_VISIBLE).
    bool Create(HWND parent, UINT id, DWORD style = SBARS_SIZEGRIP);
    // One pane per entry: 0 is a pane that takes the width left over; any other id
    // names a string resource whose text, measured in the bar's font, sets the pane's
    // width. The panes are re-spread by Resize.
    bool SetIndicators(HINSTANCE instance, const std::vector<UINT>& indicatorIds);
    // Lays the bar out again after its parent's size changed.
    bool Resize() const;
    bool SetText(int pane, const std::wstring& text) const;
    std::wstring GetText(int pane) const;
    int GetPaneCount() const;
    int GetHeight() const;

private:
    std::vector<int> widths_; // 0 for the stretching pane
};

// Our toolbar resource (custom type 241, same id as the toolbar's bitmap): WORD
// version (1), WORD image width, WORD image height, WORD count, then count WORD
// command ids where 0 is a separator.
constexpr WORD TOOLBAR_RESOURCE_TYPE = 241;
constexpr WORD TOOLBAR_RESOURCE_VERSION = 1;

class ToolBar : public Window {
public:
    using Window::Window;

    // A toolbar the frame positions itself (CCS_NOPARENTALIGN | CCS_NORESIZE are
    // added); style adds to WS_CHILD | WS_VISIBLE, e.g. TBSTYLE_FLAT | TBSTYLE_TOOLTIPS.
    bool Create(HWND parent, UINT id, DWORD style = TBSTYLE_FLAT | TBSTYLE_TOOLTIPS);
    // Creates the buttons of toolbar resource id: TBSTYLE_BUTTON for each command,
    // TBSTYLE_SEP for 0; image indexes count the non-separators only. Also sets the
    // bitmap size from the resource.
    bool LoadButtons(HINSTANCE instance, UINT resourceId);
    int GetButtonCount() const;
    bool GetButton(int index, TBBUTTON& button) const;
    UINT GetCommandId(int index) const; // 0 for separators and bad indexes
    bool IsSeparator(int index) const;
    // The buttons are measured again with the text (a label under the image).
    bool SetButtonText(int index, const std::wstring& text) const;
    std::wstring GetButtonText(int index) const;
    bool GetItemRect(int index, RECT& rect) const;

    // message: TB_SETIMAGELIST, TB_SETHOTIMAGELIST or TB_SETDISABLEDIMAGELIST. The
    // toolbar does not destroy the list: release it from its ImageList or keep it.
    bool SetImageList(UINT message, HIMAGELIST list) const;
    bool SetButtonSize(int width, int height) const;
    bool SetBitmapSize(int width, int height) const;
    SIZE GetButtonSize() const;
    bool SetToolBarStyle(DWORD style) const; // TB_SETSTYLE
    DWORD GetToolBarStyle() const;
    bool SetExtendedStyle(DWORD style) const;
    bool AutoSize() const;
    // The height the bar needs for its buttons, for the frame's layout.
    int GetIdealHeight() const;

    bool EnableButton(UINT commandId, bool enable) const;
    bool CheckButton(UINT commandId, bool check) const;
    bool IsButtonEnabled(UINT commandId) const;
    bool IsButtonChecked(UINT commandId) const;
};

} // namespace fw
