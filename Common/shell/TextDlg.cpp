#include "shell/TextDlg.h"

#include "SharedResource.h"
#include "shell/DialogResources.h"

const wchar_t* const ENTER_PATH_CAPTION = L"Enter Path";
const wchar_t* const NEW_DIRECTORY_CAPTION = L"New Directory";
const wchar_t* const RENAME_CAPTION = L"Rename";
const wchar_t* const MOVE_TO_CAPTION = L"Move To";

CTextDlg::CTextDlg(const std::wstring& caption, const std::wstring& text)
    : fw::Dialog(SharedDialogs().textPrompt), caption(caption), text(text)
{
}

BOOL CTextDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    SetText(caption);
    return TRUE;
}

void CTextDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(static_cast<int>(SharedDialogs().textEdit), text);
}
