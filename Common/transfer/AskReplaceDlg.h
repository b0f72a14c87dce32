#pragma once
// Asks, for one name, whether an item that already exists at the destination of an upload
// or download may be replaced (dialog 132). Shows the item's shell icon, the question and
// both sides' size and date. No answer covers other names. A file that an earlier transfer
// left unfinished may be offered Resume as well.
#include <windows.h>

#include <string>

#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "shell/StaticEx.h"

// What the prompt offers besides replacing: nothing, to download only the rest of a partial
// file, or to upload only what the server's shorter copy lacks.
enum class ResumeOffer { None, Download, Upload };

class CAskReplaceDlg : public fw::Dialog {
public:
    // serverText and localText are shown under "On FTP Server:" and "On Local Computer:".
    CAskReplaceDlg(HWND owner, bool isDirectory, const std::wstring& name, const std::wstring& serverText,
                   const std::wstring& localText, ResumeOffer offer = ResumeOffer::None);

    // IDOK when the user agrees to the replacement, IDC_REPLACE_RESUME when the user chose
    // Resume, IDCANCEL otherwise (Cancel, Esc, close box).
    INT_PTR DoModal();

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void DoDataExchange(fw::DataExchange& exchange) override;
    void OnFinalMessage() override;

private:
    HWND owner;
    bool isDirectory;
    ResumeOffer offer;
    std::wstring name;
    std::wstring message;
    std::wstring serverText;
    std::wstring localText;
    // Declared before the control so that the control lets go of it first.
    fw::IconHandle icon;
    CStaticEx iconControl;
};
