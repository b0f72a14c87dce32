#include "PaneMenu.h"

#include "resource.h"

namespace {

enum class Greyed { Never, NoSelection, NotOneSelected };

struct MenuItem {
    UINT command;
    const wchar_t* text;
    Greyed greyed;
};

constexpr MenuItem COPY_ITEM = {ID_EDIT_COPY, L"Copy", Greyed::NoSelection};
constexpr MenuItem PASTE_ITEM = {ID_EDIT_PASTE, L"Paste", Greyed::Never};
constexpr MenuItem LOCAL_ITEMS[] = {
    {ID_FILE_DOWNLOAD_TO, L"Download To...", Greyed::NoSelection},
    {ID_FILE_UPLOAD_FILES, L"Upload Files...", Greyed::Never},
};
constexpr MenuItem FILE_ITEMS[] = {
    {ID_FILE_NEW_DIRECTORY, L"New Directory...", Greyed::Never},
    {ID_FILE_RENAME, L"Rename", Greyed::NotOneSelected},
    {ID_FILE_DELETE, L"Delete", Greyed::NoSelection},
    {ID_FILE_MOVE_TO, L"Move To...", Greyed::NoSelection},
};
constexpr MenuItem CHMOD_ITEM = {ID_TOOLS_CHMOD, L"CHMOD...", Greyed::NoSelection};
constexpr MenuItem PROPERTIES_ITEM = {ID_FILE_PROPERTIES, L"Properties", Greyed::NotOneSelected};

} // namespace

fw::MenuHandle BuildPaneContextMenu(const CListCtrlEx& list)
{
    const int selected = list.GetSelectedCount();
    const bool connected = list.IsConnected();
    auto append = [&](HMENU menu, const MenuItem& item) {
        const bool greyed = !connected || (item.greyed == Greyed::NoSelection && selected == 0) ||
                            (item.greyed == Greyed::NotOneSelected && selected != 1);
        list.AppendCommand(menu, item.command, item.text, greyed);
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
