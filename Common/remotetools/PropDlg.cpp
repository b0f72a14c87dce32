#include "remotetools/PropDlg.h"

#include <shellapi.h>

#include "SharedResource.h"
#include "shell/DialogResources.h"
#include "shell/Format.h"

namespace {

const int REMOTE_ONLY_CONTROLS[] = {IDC_PROP_ATTRIBUTES_LABEL, IDC_PROP_ATTRIBUTES, IDC_PROP_OWNER_LABEL,
                                    IDC_PROP_OWNER};
const int LOCAL_ONLY_CONTROLS[] = {IDC_PROP_READ_ONLY, IDC_PROP_HIDDEN, IDC_PROP_SYSTEM};

} // namespace

HICON LoadItemIcon(bool localItem, bool directory, const std::wstring& path, const std::wstring& name)
{
    SHFILEINFOW info = {};
    UINT flags = SHGFI_ICON | SHGFI_LARGEICON;
    DWORD attributes = 0;
    std::wstring target = name;
    if (localItem) {
        target = path.empty() ? name : JoinLocalPath(path, name);
    } else {
        flags |= SHGFI_USEFILEATTRIBUTES;
        attributes = directory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    }
    if (SHGetFileInfoW(target.c_str(), attributes, &info, sizeof info, flags) == 0) return nullptr;
    return info.hIcon;
}

CPropDlg::CPropDlg() : fw::Dialog(SharedDialogs().properties) {}

BOOL CPropDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    iconHandle.Reset(LoadItemIcon(localItem, directory, path, name));
    if (icon.Attach(Handle(), IDC_ITEM_ICON)) icon.SetIcon(iconHandle.Get());
    for (int id : REMOTE_ONLY_CONTROLS)
        ::ShowWindow(GetDlgItem(Handle(), id), localItem ? SW_HIDE : SW_SHOW);
    // The dialog only shows a local item's attributes: boxes that could be ticked would
    // look as if a change were applied.
    for (int id : LOCAL_ONLY_CONTROLS) {
        ::ShowWindow(GetDlgItem(Handle(), id), localItem ? SW_SHOW : SW_HIDE);
        ::EnableWindow(GetDlgItem(Handle(), id), FALSE);
    }
    return TRUE;
}

void CPropDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_PROP_NAME, name);
    exchange.Text(IDC_PROP_PATH, path);
    exchange.Text(IDC_PROP_SIZE, sizeText);
    exchange.Text(IDC_PROP_MODIFIED, modifiedText);
    exchange.Check(IDC_PROP_READ_ONLY, readOnly);
    exchange.Check(IDC_PROP_HIDDEN, hidden);
    exchange.Check(IDC_PROP_SYSTEM, system);
    exchange.Text(IDC_PROP_ATTRIBUTES, attributesText);
    exchange.Text(IDC_PROP_OWNER, ownerText);
}

void CPropDlg::OnFinalMessage()
{
    // The control is gone with the dialog, so the icon it painted can go too.
    icon.SetIcon(nullptr);
    icon.Detach();
    iconHandle.Reset();
    fw::Dialog::OnFinalMessage();
}
