#include "PaneMenu.h"

#include "resource.h"

namespace {

struct MenuItem {
    UINT command;
    const wchar_t* text;
};

constexpr MenuItem COPY_ITEM = {ID_EDIT_COPY, L"Copy"};
constexpr MenuItem PASTE_ITEM = {ID_EDIT_PASTE, L"Paste"};
constexpr MenuItem LOCAL_ITEMS[] = {
    {ID_FILE_DOWNLOAD_TO, L"Download To..."},
    {ID_FILE_UPLOAD_FILES, L"Upload Files..."},
};
constexpr MenuItem FILE_ITEMS[] = {
    {ID_FILE_NEW_DIRECTORY, L"New Directory..."},
    {ID_FILE_RENAME, L"Rename"},
    {ID_FILE_DELETE, L"Delete"},
    {ID_FILE_MOVE_TO, L"Move To..."},
};
constexpr MenuItem CHMOD_ITEM = {ID_TOOLS_CHMOD, L"CHMOD..."};
constexpr MenuItem PROPERTIES_ITEM = {ID_FILE_PROPERTIES, L"Properties"};

} // namespace

fw::MenuHandle BuildPaneContextMenu(const CListCtrlEx& list)
{
    const bool connected = list.IsConnected();
    // The view's update handlers enable each item as the menus and the toolbar show it.
    auto append = [&](HMENU menu, const MenuItem& item) {
        list.AppendCommand(menu, item.command, item.text, !connected);
    };

    fw::MenuHandle menu(CreatePopupMenu());
    if (!menu) return menu;
    append(menu.Get(), COPY_ITEM);
    if (IsClipboardFormatAvailable(CF_HDROP)) append(menu.Get(), PASTE_ITEM);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : LOCAL_ITEMS)
        append(menu.Get(), item);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    for (const MenuItem& item : FILE_ITEMS)
        append(menu.Get(), item);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    if (list.IsRemote()) append(menu.Get(), CHMOD_ITEM);
    append(menu.Get(), PROPERTIES_ITEM);
    AppendMenuW(menu.Get(), MF_SEPARATOR, 0, nullptr);
    list.AppendViewMenu(menu.Get(), ID_VIEW_ICONS, ID_VIEW_LIST, ID_VIEW_DETAILS, !connected);
    return menu;
}
