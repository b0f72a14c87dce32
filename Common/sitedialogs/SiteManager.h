#pragma once
// The Site Manager (dialog 135): the site list as a two-level tree of groups and sites,
// where the user creates, edits and deletes them and picks the site to connect to.
// Every change is written to the registry at once. DoModal returns IDOK after a successful
// connect, with the document's title in TitleText(), and IDCANCEL otherwise.
#include <windows.h>

#include <commctrl.h>

#include <cstddef>
#include <functional>
#include <string>

#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "session/ConnectionSession.h"
#include "sites/SiteStore.h"

// What Site Properties shows of the site's last connection in this run: the TLS version and
// cipher, or "Not encrypted" (the status bar's text); empty when the session's last
// connection was not to this site (its label, host and port are not those of currentSite).
std::wstring LastConnectionText(const ConnectionSession& session, const SiteRecord& site);

class CSiteManager : public fw::Dialog {
public:
    // keyPath: where the sites are stored (tests use a key of their own).
    explicit CSiteManager(ConnectionSession& session, std::wstring keyPath = SITES_KEY);

    // A program's own request for a network connection, made by Connect after the
    // system's dial-up attempt and before the logon; its outcome is not asked.
    void SetConnectionRequest(std::function<void()> request) { connectionRequest = std::move(request); }

    // "%s (%s:%d)" of the connected site's label, host and port.
    const std::wstring& TitleText() const { return titleText; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    void OnOK() override;

private:
    void BuildTree();
    void SortTree();
    static int CALLBACK CompareItems(LPARAM first, LPARAM second, LPARAM manager);
    // The top-level item of the group with this id, or TVI_ROOT when there is none.
    HTREEITEM ParentItemFor(std::int32_t parentId) const;
    HTREEITEM InsertRecordItem(HTREEITEM parent, std::size_t position);
    void ShowItem(HTREEITEM parent, HTREEITEM item) const;
    // The selected item's record, found by the item's text; nullptr when there is none.
    SiteRecord* SelectedRecord(HTREEITEM& item);
    // Item data are list positions: after a record left the list, later ones move down.
    void ShiftItemDataAfter(std::size_t removedPosition);

    void Connect();
    void ShowNewMenu();
    void NewGroup();
    void NewSite();
    void Edit();
    void EditSite(HTREEITEM item, SiteRecord& site);
    void EditGroup(HTREEITEM item, SiteRecord& group);
    void Delete();
    void ShowError(const wchar_t* text) const;

    ConnectionSession& session;
    SiteList& siteList;
    std::wstring keyPath;
    fw::TreeView tree;
    fw::ImageList images;
    std::wstring titleText;
    std::function<void()> connectionRequest;
};
