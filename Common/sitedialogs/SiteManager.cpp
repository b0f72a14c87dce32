#include "sitedialogs/SiteManager.h"

#include <wininet.h>

#include <utility>

#include "SharedResource.h"
#include "shell/DialogResources.h"
#include "shell/ShellHelpers.h"
#include "shell/TextDlg.h"
#include "sitedialogs/PasswordPrompt.h"
#include "sitedialogs/SiteProp.h"

namespace {

constexpr int TREE_IMAGE_SIZE = 16;
constexpr int TREE_IMAGE_INITIAL = 2;
constexpr int TREE_IMAGE_GROW = 2;
constexpr int GROUP_IMAGE = 0;
constexpr int SITE_IMAGE = 1;

constexpr const wchar_t* GROUP_PROMPT_CAPTION = L"New Group";
constexpr const wchar_t* DUPLICATE_LABEL = L"A site or group with this label already exists.";

// The text prompt for a group's label, held to what a record can store.
class CGroupLabelDlg : public CTextDlg {
public:
    explicit CGroupLabelDlg(const std::wstring& text) : CTextDlg(GROUP_PROMPT_CAPTION, text) {}

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CTextDlg::OnInitDialog();
        fw::Edit(Child(static_cast<int>(SharedDialogs().textEdit))).LimitText(static_cast<int>(SITE_TEXT_MAX_UNITS));
        return result;
    }
};

std::size_t ToPosition(LPARAM data) { return static_cast<std::size_t>(data); }
LPARAM ToItemData(std::size_t position) { return static_cast<LPARAM>(position); }

} // namespace

std::wstring LastConnectionText(const ConnectionSession& session, const SiteRecord& site)
{
    const SiteRecord& current = session.currentSite;
    if (!LabelsEqual(::GetText(site.label), ::GetText(current.label)) ||
        ::GetText(site.host) != ::GetText(current.host) || site.port != current.port)
        return {};
    return session.lastSecurity;
}

CSiteManager::CSiteManager(ConnectionSession& session, std::wstring keyPath)
    : fw::Dialog(SharedDialogs().siteManager), session(session), siteList(session.siteList), keyPath(std::move(keyPath))
{
}

BOOL CSiteManager::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    LoadSites(siteList, keyPath);
    tree = fw::TreeView(Child(static_cast<int>(SharedDialogs().siteTree)));
    if (images.Create(TREE_IMAGE_SIZE, TREE_IMAGE_SIZE, ILC_COLOR32 | ILC_MASK, TREE_IMAGE_INITIAL, TREE_IMAGE_GROW)) {
        for (UINT iconId : {IDI_SITE_GROUP, IDI_SITE_SITE}) {
            fw::IconHandle icon(static_cast<HICON>(
                ::LoadImageW(Module(), MAKEINTRESOURCEW(iconId), IMAGE_ICON, TREE_IMAGE_SIZE, TREE_IMAGE_SIZE, 0)));
            images.AddIcon(icon.Get());
        }
        tree.SetImageList(images.Get());
    }
    MakeBoldFont(Handle(), IDC_SITE_CONNECT);
    BuildTree();
    return TRUE;
}

void CSiteManager::BuildTree()
{
    tree.DeleteAllItems();
    for (std::size_t position = 0; position < siteList.Size(); ++position) {
        if (IsGroup(siteList[position])) InsertRecordItem(TVI_ROOT, position);
    }
    for (std::size_t position = 0; position < siteList.Size(); ++position) {
        if (!IsGroup(siteList[position])) InsertRecordItem(ParentItemFor(siteList[position].parentId), position);
    }
    SortTree();
}

void CSiteManager::SortTree()
{
    TVSORTCB sort = {};
    sort.lpfnCompare = CompareItems;
    sort.lParam = reinterpret_cast<LPARAM>(this);
    for (HTREEITEM item = tree.GetRoot(); item; item = tree.GetNextSibling(item)) {
        if (!tree.GetChild(item)) continue;
        sort.hParent = item;
        tree.Send(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
    }
    sort.hParent = TVI_ROOT;
    tree.Send(TVM_SORTCHILDRENCB, 0, reinterpret_cast<LPARAM>(&sort));
}

int CALLBACK CSiteManager::CompareItems(LPARAM first, LPARAM second, LPARAM manager)
{
    const SiteList& list = reinterpret_cast<CSiteManager*>(manager)->siteList;
    std::size_t a = ToPosition(first);
    std::size_t b = ToPosition(second);
    if (a >= list.Size() || b >= list.Size()) return -1;
    bool aIsGroup = IsGroup(list[a]);
    if (aIsGroup != IsGroup(list[b])) return aIsGroup ? -1 : 1;
    return CompareLabels(::GetText(list[a].label), ::GetText(list[b].label));
}

HTREEITEM CSiteManager::ParentItemFor(std::int32_t parentId) const
{
    if (parentId == NO_GROUP) return TVI_ROOT;
    for (HTREEITEM item = tree.GetRoot(); item; item = tree.GetNextSibling(item)) {
        std::size_t position = ToPosition(tree.GetItemData(item));
        if (position < siteList.Size() && IsGroup(siteList[position]) && siteList[position].groupId == parentId)
            return item;
    }
    return TVI_ROOT;
}

HTREEITEM CSiteManager::InsertRecordItem(HTREEITEM parent, std::size_t position)
{
    int image = IsGroup(siteList[position]) ? GROUP_IMAGE : SITE_IMAGE;
    return tree.InsertItem(parent, TVI_LAST, ::GetText(siteList[position].label), image, image, ToItemData(position));
}

void CSiteManager::ShowItem(HTREEITEM parent, HTREEITEM item) const
{
    if (parent != TVI_ROOT) tree.Expand(parent, TVE_EXPAND);
    tree.Send(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item));
    tree.Select(item);
}

SiteRecord* CSiteManager::SelectedRecord(HTREEITEM& item)
{
    item = tree.GetSelection();
    if (!item) return nullptr;
    return siteList.FindSite(tree.GetItemText(item));
}

void CSiteManager::ShiftItemDataAfter(std::size_t removedPosition)
{
    auto shift = [&](HTREEITEM item) {
        std::size_t position = ToPosition(tree.GetItemData(item));
        if (position <= removedPosition) return;
        TVITEMW update = {};
        update.mask = TVIF_HANDLE | TVIF_PARAM;
        update.hItem = item;
        update.lParam = ToItemData(position - 1);
        tree.Send(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&update));
    };
    for (HTREEITEM top = tree.GetRoot(); top; top = tree.GetNextSibling(top)) {
        shift(top);
        for (HTREEITEM child = tree.GetChild(top); child; child = tree.GetNextSibling(child))
            shift(child);
    }
}

bool CSiteManager::OnCommand(UINT id, UINT code)
{
    switch (id) {
    case IDC_SITE_CONNECT: Connect(); return true;
    case IDC_SITE_NEW: ShowNewMenu(); return true;
    case IDC_SITE_EDIT: Edit(); return true;
    case IDC_SITE_DELETE: Delete(); return true;
    case ID_SITE_NEW_GROUP: NewGroup(); return true;
    case ID_SITE_NEW_SITE: NewSite(); return true;
    default: return fw::Dialog::OnCommand(id, code);
    }
}

bool CSiteManager::OnNotify(NMHDR* header, LRESULT& result)
{
    (void)result;
    // A double-click connects and is still left to the tree, which toggles a group.
    if (header->idFrom == SharedDialogs().siteTree && header->code == NM_DBLCLK) Connect();
    return false;
}

// The dialog has no OK button: a plain OK command ends it like Esc.
void CSiteManager::OnOK() { EndDialog(IDCANCEL); }

void CSiteManager::ShowError(const wchar_t* text) const { SiteMessageBox(Handle(), text, MB_ICONERROR | MB_OK); }

void CSiteManager::Connect()
{
    // Brings up a dial-up connection where one is needed; the answer does not matter.
    ::InternetAttemptConnect(0);
    HTREEITEM item = nullptr;
    const SiteRecord* found = SelectedRecord(item);
    if (!found || IsGroup(*found)) return;
    SiteRecord site = *found;
    if (!AskForUnreadablePasswords(Handle(), site)) return;
    if (connectionRequest) connectionRequest();
    if (!OpenSite(session, site, keyPath)) return;
    GoToStartDirectory(session, ::GetText(site.directory));
    titleText = ::GetText(site.label) + L" (" + ::GetText(site.host) + L":" + std::to_wstring(site.port) + L")";
    EndDialog(IDOK);
}

void CSiteManager::ShowNewMenu()
{
    fw::MenuHandle menu(::CreatePopupMenu());
    if (!menu) return;
    ::AppendMenuW(menu.Get(), MF_STRING, ID_SITE_NEW_GROUP, L"New Group");
    ::AppendMenuW(menu.Get(), MF_STRING, ID_SITE_NEW_SITE, L"New Site");
    RECT button = Child(IDC_SITE_NEW).GetWindowRect();
    UINT command = static_cast<UINT>(::TrackPopupMenu(menu.Get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD,
                                                      button.left, button.bottom, 0, Handle(), nullptr));
    if (command == ID_SITE_NEW_GROUP) NewGroup();
    if (command == ID_SITE_NEW_SITE) NewSite();
}

void CSiteManager::NewGroup()
{
    CGroupLabelDlg prompt(L"");
    if (prompt.DoModal(Handle()) != IDOK) return;
    if (siteList.FindSite(prompt.Text())) {
        ShowError(DUPLICATE_LABEL);
        return;
    }
    SiteRecord group = DefaultSiteRecord();
    ::SetText(group.label, prompt.Text());
    group.groupId = siteList.NextGroupId();
    int position = AddSite(siteList, group, Handle(), keyPath);
    if (position < 0) return;
    HTREEITEM item = InsertRecordItem(TVI_ROOT, static_cast<std::size_t>(position));
    tree.Expand(item, TVE_EXPAND);
    ShowItem(TVI_ROOT, item);
}

void CSiteManager::NewSite()
{
    CSiteProp properties(siteList);
    if (properties.DoModal(Handle()) != IDOK) return;
    SiteRecord site = DefaultSiteRecord();
    properties.StoreTo(site);
    int position = AddSite(siteList, site, Handle(), keyPath);
    if (position < 0) return;
    HTREEITEM parent = ParentItemFor(site.parentId);
    ShowItem(parent, InsertRecordItem(parent, static_cast<std::size_t>(position)));
}

void CSiteManager::Edit()
{
    HTREEITEM item = nullptr;
    SiteRecord* record = SelectedRecord(item);
    if (!record) return;
    if (IsGroup(*record)) {
        EditGroup(item, *record);
    } else {
        EditSite(item, *record);
    }
}

void CSiteManager::EditSite(HTREEITEM item, SiteRecord& site)
{
    CSiteProp properties(siteList);
    properties.LoadFrom(site);
    properties.connectionText = LastConnectionText(session, site);
    if (properties.DoModal(Handle()) != IDOK) return;
    std::wstring oldLabel = tree.GetItemText(item);
    std::int32_t oldParent = site.parentId;
    properties.StoreTo(site);
    std::wstring newLabel = ::GetText(site.label);
    std::int32_t newParent = site.parentId;
    ReplaceSite(siteList, oldLabel, newLabel, Handle(), keyPath);
    if (newParent == oldParent) {
        tree.SetItemText(item, newLabel);
        return;
    }
    LPARAM data = tree.GetItemData(item);
    tree.DeleteItem(item);
    HTREEITEM parent = ParentItemFor(newParent);
    ShowItem(parent, InsertRecordItem(parent, ToPosition(data)));
}

void CSiteManager::EditGroup(HTREEITEM item, SiteRecord& group)
{
    std::wstring oldLabel = tree.GetItemText(item);
    CGroupLabelDlg prompt(oldLabel);
    if (prompt.DoModal(Handle()) != IDOK) return;
    const std::wstring& newLabel = prompt.Text();
    if (!LabelsEqual(newLabel, oldLabel) && siteList.FindSite(newLabel)) {
        ShowError(DUPLICATE_LABEL);
        return;
    }
    ::SetText(group.label, newLabel);
    std::wstring stored = ::GetText(group.label);
    ReplaceSite(siteList, oldLabel, stored, Handle(), keyPath);
    tree.SetItemText(item, stored);
}

void CSiteManager::Delete()
{
    HTREEITEM item = nullptr;
    SiteRecord* record = SelectedRecord(item);
    if (!record) return;
    const wchar_t* question = L"Are you sure you want to delete the selected site from Site Manager?";
    if (IsGroup(*record)) {
        if (tree.GetChild(item)) {
            ShowError(L"The group is not empty.");
            return;
        }
        question = L"Are you sure you want to delete the selected group?";
    }
    if (SiteMessageBox(Handle(), question, MB_ICONQUESTION | MB_OKCANCEL) != IDOK) return;
    std::wstring label = ::GetText(record->label);
    int position = siteList.IndexOf(label);
    RemoveSite(siteList, label, true, keyPath);
    tree.DeleteItem(item);
    if (position >= 0) ShiftItemDataAfter(static_cast<std::size_t>(position));
}
