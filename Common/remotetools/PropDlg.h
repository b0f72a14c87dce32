#pragma once
// Properties of one file or directory, on the server or on the local file system (dialog
// 134). The caller fills the members and runs it; it only displays and changes nothing.
#include <string>

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "shell/StaticEx.h"

class CPropDlg : public fw::Dialog {
public:
    CPropDlg();

    bool localItem = false;
    bool directory = false;
    std::wstring name;
    std::wstring path; // the directory that holds the item
    std::wstring sizeText;
    std::wstring modifiedText;
    bool readOnly = false;
    bool hidden = false;
    bool system = false;
    std::wstring attributesText; // as the server listed them
    std::wstring ownerText;

    // The icon shown while the dialog is open; null before and after.
    HICON Icon() const noexcept { return icon.GetIcon(); }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& exchange) override;
    void OnFinalMessage() override;

private:
    fw::IconHandle iconHandle;
    CStaticEx icon;
};

// The item's shell icon (32 x 32): for a local item the real file's own, for a remote item
// the one the shell gives a name of that form with the directory or normal attribute,
// without touching the disk. Null when the shell has none.
HICON LoadItemIcon(bool localItem, bool directory, const std::wstring& path, const std::wstring& name);
