#pragma once
// Reading and driving the pane's controls as a user would.
#include <windows.h>

#include <commctrl.h>
#include <shlobj.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "framework/Controls.h"
#include "framework/Handles.h"
#include "support/WindowTestHelpers.h"

using testsupport::MenuItemEnabled;

inline std::vector<std::wstring> RowTexts(const fw::ListView& list)
{
    std::vector<std::wstring> texts;
    for (int row = 0; row < list.GetItemCount(); ++row)
        texts.push_back(list.GetItemText(row, 0));
    return texts;
}

inline int RowImage(const fw::ListView& list, int row)
{
    LVITEMW item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    if (!list.Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return -1;
    return item.iImage;
}

inline std::vector<std::wstring> ComboTexts(const fw::ComboBox& combo)
{
    std::vector<std::wstring> texts;
    for (int index = 0; index < combo.GetCount(); ++index)
        texts.push_back(combo.GetLBText(index));
    return texts;
}

// Selects an entry of a combo box in a bar and notifies the bar, as a click would.
inline void SelectInBar(const fw::Window& bar, int comboId, int index)
{
    fw::ComboBox combo(bar.Child(comboId).Handle());
    combo.SetCurSel(index);
    bar.Send(WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo.Handle()));
}

// Types the characters one by one at the edit's caret.
inline void TypeInto(const fw::Window& edit, const std::wstring& text)
{
    for (wchar_t unit : text)
        edit.Send(WM_CHAR, unit, 1);
}

inline void PressKey(const fw::Window& window, WORD key)
{
    window.Send(WM_KEYDOWN, key, 1);
    window.Send(WM_KEYUP, key, 1);
}

// The clipboard as the test leaves it: emptied again at the end.
class ClipboardFiles {
public:
    explicit ClipboardFiles(HWND owner = nullptr) : owner(owner != nullptr ? owner : GetDesktopWindow()) {}
    ~ClipboardFiles() { Clear(); }
    ClipboardFiles(const ClipboardFiles&) = delete;
    ClipboardFiles& operator=(const ClipboardFiles&) = delete;

    bool Clear() const
    {
        if (!OpenClipboard(owner)) return false;
        const bool emptied = EmptyClipboard() != 0;
        CloseClipboard();
        return emptied;
    }
    // Puts one path in the shell's file-drop format.
    bool PutFile(const std::wstring& path) const
    {
        const std::size_t bytes = sizeof(DROPFILES) + (path.size() + 2) * sizeof(wchar_t);
        fw::GlobalHandle memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes));
        if (!memory) return false;
        {
            auto* drop = static_cast<DROPFILES*>(GlobalLock(memory.Get()));
            if (drop == nullptr) return false;
            drop->pFiles = sizeof(DROPFILES);
            drop->fWide = TRUE;
            std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), path.c_str(), path.size() * sizeof(wchar_t));
            GlobalUnlock(memory.Get());
        }
        if (!OpenClipboard(owner)) return false;
        EmptyClipboard();
        const bool put = SetClipboardData(CF_HDROP, memory.Get()) != nullptr;
        if (put) memory.Release();
        CloseClipboard();
        return put;
    }

private:
    HWND owner;
};
