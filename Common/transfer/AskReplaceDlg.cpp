#include "transfer/AskReplaceDlg.h"

#include <shellapi.h>

#include <cwchar>
#include <vector>

#include "SharedResource.h"
#include "shell/DialogResources.h"

namespace {

const wchar_t* const DIRECTORY_QUESTION = L"The directory \"%ls\" already exists. Would you like to replace it?";
const wchar_t* const FILE_QUESTION = L"The file \"%ls\" already exists. Would you like to replace it?";
const wchar_t* const PARTIAL_DOWNLOAD_QUESTION =
    L"The file \"%ls\" was partly downloaded. Would you like to replace it, or resume it?";
const wchar_t* const PARTIAL_UPLOAD_QUESTION =
    L"The file \"%ls\" already exists and is shorter. Would you like to replace it, or resume it?";

std::wstring Question(bool isDirectory, ResumeOffer offer, const std::wstring& name)
{
    const wchar_t* format = isDirectory                      ? DIRECTORY_QUESTION
                            : offer == ResumeOffer::Download ? PARTIAL_DOWNLOAD_QUESTION
                            : offer == ResumeOffer::Upload   ? PARTIAL_UPLOAD_QUESTION
                                                             : FILE_QUESTION;
    std::vector<wchar_t> text(std::wcslen(format) + name.size() + 1);
    std::swprintf(text.data(), text.size(), format, name.c_str());
    return text.data();
}

} // namespace

CAskReplaceDlg::CAskReplaceDlg(HWND owner, bool isDirectory, const std::wstring& name, const std::wstring& serverText,
                               const std::wstring& localText, ResumeOffer offer)
    : fw::Dialog(SharedDialogs().askReplace), owner(owner), isDirectory(isDirectory), offer(offer), name(name),
      serverText(serverText), localText(localText)
{
}

INT_PTR CAskReplaceDlg::DoModal() { return fw::Dialog::DoModal(owner); }

BOOL CAskReplaceDlg::OnInitDialog()
{
    // The name need not exist here: the shell answers from the attributes and the extension.
    SHFILEINFOW info = {};
    const DWORD attributes = isDirectory ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    if (SHGetFileInfoW(name.c_str(), attributes, &info, sizeof info, SHGFI_ICON | SHGFI_USEFILEATTRIBUTES) != 0)
        icon.Reset(info.hIcon);
    iconControl.Attach(Handle(), IDC_ITEM_ICON);
    iconControl.SetIcon(icon.Get());
    message = Question(isDirectory, offer, name);
    if (offer != ResumeOffer::None) ShowWindow(GetDlgItem(Handle(), IDC_REPLACE_RESUME), SW_SHOW);
    UpdateData(false);
    return TRUE;
}

bool CAskReplaceDlg::OnCommand(UINT id, UINT code)
{
    if (id != IDC_REPLACE_RESUME || offer == ResumeOffer::None) return fw::Dialog::OnCommand(id, code);
    EndDialog(IDC_REPLACE_RESUME);
    return true;
}

void CAskReplaceDlg::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_REPLACE_MESSAGE, message);
    exchange.Text(IDC_REPLACE_SERVER_TEXT, serverText);
    exchange.Text(IDC_REPLACE_LOCAL_TEXT, localText);
}

void CAskReplaceDlg::OnFinalMessage()
{
    iconControl.Detach();
    icon.Reset();
}
