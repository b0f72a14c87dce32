#include "Dialog.h"

#include "App.h"
#include "OutOfMemory.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cwchar>
#include <cwctype>
#include <new>
#include <vector>

namespace fw {
namespace {

// Modeless dialogs of this (the user-interface) thread, newest last, so that message
// loops can give them keyboard navigation.
std::vector<Dialog*>& ModelessDialogs()
{
    static std::vector<Dialog*> dialogs;
    return dialogs;
}

void Unregister(Dialog* dialog)
{
    auto& dialogs = ModelessDialogs();
    dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), dialog), dialogs.end());
}

std::wstring Trimmed(const std::wstring& text)
{
    size_t first = 0;
    size_t last = text.size();
    while (first < last && std::iswspace(text[first]))
        ++first;
    while (last > first && std::iswspace(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

} // namespace

// ---------------------------------------------------------------- DataExchange

void DataExchange::Text(int controlId, std::wstring& value)
{
    if (failed_) return;
    Window control = dialog_.Child(controlId);
    if (save_) {
        value = control.GetText();
    } else {
        control.SetText(value);
    }
}

void DataExchange::Check(int controlId, bool& value)
{
    if (failed_) return;
    Window control = dialog_.Child(controlId);
    if (save_) {
        value = control.Send(BM_GETCHECK) == BST_CHECKED;
    } else {
        control.Send(BM_SETCHECK, value ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DataExchange::Int(int controlId, int& value)
{
    if (failed_) return;
    Window control = dialog_.Child(controlId);
    if (!save_) {
        control.SetText(std::to_wstring(value));
        return;
    }
    std::wstring text = Trimmed(control.GetText());
    wchar_t* end = nullptr;
    errno = 0;
    long number = text.empty() ? 0 : std::wcstol(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || errno == ERANGE || number < INT_MIN || number > INT_MAX) {
        Fail(controlId, L"Please enter an integer.");
        return;
    }
    value = static_cast<int>(number);
}

void DataExchange::UInt(int controlId, unsigned& value)
{
    if (failed_) return;
    Window control = dialog_.Child(controlId);
    if (!save_) {
        control.SetText(std::to_wstring(value));
        return;
    }
    std::wstring text = Trimmed(control.GetText());
    wchar_t* end = nullptr;
    errno = 0;
    bool digitsOnly = !text.empty() && std::iswdigit(text[0]);
    unsigned long number = digitsOnly ? std::wcstoul(text.c_str(), &end, 10) : 0;
    if (!digitsOnly || *end != L'\0' || errno == ERANGE || number > UINT_MAX) {
        Fail(controlId, L"Please enter a positive integer.");
        return;
    }
    value = static_cast<unsigned>(number);
}

void DataExchange::ComboSelection(int controlId, int& value)
{
    if (failed_) return;
    Window control = dialog_.Child(controlId);
    if (save_) {
        LRESULT selection = control.Send(CB_GETCURSEL);
        value = selection < 0 ? -1 : static_cast<int>(selection);
    } else {
        control.Send(CB_SETCURSEL, static_cast<WPARAM>(value));
    }
}

void DataExchange::Fail(int controlId, const std::wstring& message)
{
    if (failed_) return;
    failed_ = true;
    failedControl_ = controlId;
    dialog_.OnDataExchangeFailure(controlId, message);
}

// ---------------------------------------------------------------- Dialog

Dialog::Dialog(UINT templateId, HINSTANCE module) noexcept
    : templateId_(templateId), module_(module ? module : ::GetModuleHandleW(nullptr))
{
}

Dialog::Dialog(const DLGTEMPLATE* dialogTemplate) noexcept
    : memoryTemplate_(dialogTemplate), module_(::GetModuleHandleW(nullptr))
{
}

Dialog::~Dialog()
{
    Unregister(this);
    if (hwnd_ && ::IsWindow(hwnd_)) {
        // The derived parts are gone: the window must not call back into them.
        ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        if (!modal_) ::DestroyWindow(hwnd_);
    }
}

INT_PTR Dialog::DoModal(HWND parent)
{
    modal_ = true;
    auto param = reinterpret_cast<LPARAM>(this);
    if (memoryTemplate_) return ::DialogBoxIndirectParamW(module_, memoryTemplate_, parent, DialogProc, param);
    return ::DialogBoxParamW(module_, MAKEINTRESOURCEW(templateId_), parent, DialogProc, param);
}

bool Dialog::Create(HWND parent)
{
    modal_ = false;
    auto param = reinterpret_cast<LPARAM>(this);
    HWND hwnd = memoryTemplate_
                    ? ::CreateDialogIndirectParamW(module_, memoryTemplate_, parent, DialogProc, param)
                    : ::CreateDialogParamW(module_, MAKEINTRESOURCEW(templateId_), parent, DialogProc, param);
    if (!hwnd) return false;
    hwnd_ = hwnd;
    ModelessDialogs().push_back(this);
    return true;
}

bool Dialog::DestroyWindow()
{
    if (!hwnd_) return false;
    return ::DestroyWindow(hwnd_) != FALSE;
}

void Dialog::EndDialog(INT_PTR result)
{
    if (!hwnd_) return;
    if (modal_) {
        ::EndDialog(hwnd_, result);
    } else {
        DestroyWindow();
    }
}

bool Dialog::UpdateData(bool save)
{
    DataExchange exchange(*this, save);
    DoDataExchange(exchange);
    return !exchange.Failed();
}

bool Dialog::PreTranslateModeless(MSG& msg)
{
    if (!msg.hwnd || msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST) return false;
    auto& dialogs = ModelessDialogs();
    for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it) {
        HWND dialog = (*it)->Handle();
        if (dialog && (dialog == msg.hwnd || ::IsChild(dialog, msg.hwnd))) {
            return ::IsDialogMessageW(dialog, &msg) != FALSE;
        }
    }
    return false;
}

BOOL Dialog::OnInitDialog()
{
    UpdateData(false);
    return TRUE;
}

bool Dialog::OnCommand(UINT id, UINT code)
{
    (void)code;
    switch (id) {
    case IDOK: OnOK(); return true;
    case IDCANCEL: OnCancel(); return true;
    default: return false;
    }
}

bool Dialog::OnNotify(NMHDR* header, LRESULT& result)
{
    (void)header;
    (void)result;
    return false;
}

void Dialog::OnTimer(UINT_PTR id) { (void)id; }

void Dialog::OnOK()
{
    if (UpdateData(true)) EndDialog(IDOK);
}

void Dialog::OnCancel() { EndDialog(IDCANCEL); }

void Dialog::DoDataExchange(DataExchange& exchange) { (void)exchange; }

void Dialog::OnDataExchangeFailure(int controlId, const std::wstring& message)
{
    App* app = GetApp();
    std::wstring caption = app ? app->GetAppName() : std::wstring();
    ::MessageBoxW(hwnd_, message.c_str(), caption.empty() ? nullptr : caption.c_str(), MB_ICONEXCLAMATION | MB_OK);
    Window control = Child(controlId);
    control.SetFocus();
    control.Send(EM_SETSEL, 0, -1);
}

bool Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result)
{
    (void)message;
    (void)wParam;
    (void)lParam;
    (void)result;
    return false;
}

void Dialog::OnFinalMessage() {}

INT_PTR CALLBACK Dialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    Dialog* dialog = nullptr;
    if (message == WM_INITDIALOG) {
        dialog = reinterpret_cast<Dialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->hwnd_ = hwnd;
    } else {
        dialog = reinterpret_cast<Dialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    }
    // Messages before WM_INITDIALOG (WM_SETFONT, ...) and after the object let go.
    if (!dialog) return FALSE;
    try {
        return dialog->HandleMessage(message, wParam, lParam);
    } catch (const std::bad_alloc&) {
        ShowOutOfMemory(hwnd);
        return FALSE;
    }
}

INT_PTR Dialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_COMMAND: return OnCommand(LOWORD(wParam), HIWORD(wParam)) ? TRUE : FALSE;
    case WM_NOTIFY: {
        LRESULT result = 0;
        if (!OnNotify(reinterpret_cast<NMHDR*>(lParam), result)) return FALSE;
        ::SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, result);
        return TRUE;
    }
    case WM_TIMER: OnTimer(static_cast<UINT_PTR>(wParam)); return TRUE;
    case WM_NCDESTROY:
        ::SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
        Unregister(this);
        hwnd_ = nullptr;
        OnFinalMessage();
        return FALSE;
    default: {
        INT_PTR result = 0;
        return OnMessage(message, wParam, lParam, result) ? result : FALSE;
    }
    }
}

} // namespace fw
