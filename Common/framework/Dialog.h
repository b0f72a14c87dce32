#pragma once
// The dialog base class. Modal (DoModal) and modeless (Create) dialogs share
// everything but the way they end: EndDialog for modal ones, DestroyWindow for
// modeless ones.
//
// Data exchange: DoDataExchange binds control ids to members. UpdateData(false) copies
// members into controls (done by the default OnInitDialog); UpdateData(true) copies
// controls into members and stops at the first control whose text does not read as
// its member's type (the default OnOK then keeps the dialog open).
#include "Window.h"

#include <windows.h>

#include <string>

namespace fw {

class Dialog;

class DataExchange {
public:
    DataExchange(Dialog& dialog, bool save) noexcept : dialog_(dialog), save_(save) {}

    bool IsSaving() const noexcept { return save_; }
    bool Failed() const noexcept { return failed_; }
    int FailedControl() const noexcept { return failedControl_; }
    Dialog& GetDialog() const noexcept { return dialog_; }

    void Text(int controlId, std::wstring& value);
    void Check(int controlId, bool& value);
    // A signed decimal number; failure message "Please enter an integer.".
    void Int(int controlId, int& value);
    // An unsigned decimal number; failure message "Please enter a positive integer.".
    void UInt(int controlId, unsigned& value);
    // The selected entry of a combo box; -1 for none.
    void ComboSelection(int controlId, int& value);

    // Marks the exchange failed and tells the dialog (OnDataExchangeFailure).
    void Fail(int controlId, const std::wstring& message);

private:
    Dialog& dialog_;
    bool save_;
    bool failed_ = false;
    int failedControl_ = 0;
};

class Dialog : public Window {
public:
    // The template is a dialog resource of module (nullptr: the program's own .exe).
    explicit Dialog(UINT templateId, HINSTANCE module = nullptr) noexcept;
    // An in-memory template that must outlive the dialog's window.
    explicit Dialog(const DLGTEMPLATE* dialogTemplate) noexcept;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;
    // Destroys a modeless window that is still open.
    virtual ~Dialog();

    // Runs the dialog modally; IDOK, IDCANCEL or what EndDialog passed; -1 on failure.
    INT_PTR DoModal(HWND parent = nullptr);
    // Creates the dialog modeless (visible if its template says WS_VISIBLE).
    bool Create(HWND parent);
    // Ends a modeless dialog.
    bool DestroyWindow();
    // Ends the dialog either way; result is DoModal's return value.
    void EndDialog(INT_PTR result);

    bool UpdateData(bool save);
    bool IsModal() const noexcept { return modal_; }
    UINT TemplateId() const noexcept { return templateId_; }
    HINSTANCE Module() const noexcept { return module_; }

    // A modeless dialog of ours that contains msg's window takes keyboard navigation
    // (Tab, Enter, Esc); true when the message was consumed. Message loops call it.
    static bool PreTranslateModeless(MSG& msg);

protected:
    // Default: UpdateData(false); TRUE lets the system focus the first control.
    virtual BOOL OnInitDialog();
    // A WM_COMMAND from a control, menu or accelerator. Default: IDOK → OnOK, IDCANCEL →
    // OnCancel. True when handled.
    virtual bool OnCommand(UINT id, UINT code);
    // A WM_NOTIFY; set result for notifications that need one. True when handled.
    virtual bool OnNotify(NMHDR* header, LRESULT& result);
    virtual void OnTimer(UINT_PTR id);
    // Default: UpdateData(true), then EndDialog(IDOK) if it succeeded.
    virtual void OnOK();
    // Default: EndDialog(IDCANCEL).
    virtual void OnCancel();
    virtual void DoDataExchange(DataExchange& exchange);
    // Default: a message box with the text, then focus and select the control.
    virtual void OnDataExchangeFailure(int controlId, const std::wstring& message);
    // Every other message (WM_SIZE, WM_ERASEBKGND, WM_CTLCOLOR*, ...). Return true and
    // set result to answer it; result goes back as the dialog procedure's value (for
    // messages that return data, use SetWindowLongPtr(DWLP_MSGRESULT) as usual).
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result);
    // Called for WM_NCDESTROY, after which the handle is no longer valid.
    virtual void OnFinalMessage();

    friend class DataExchange;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

    UINT templateId_ = 0;
    const DLGTEMPLATE* memoryTemplate_ = nullptr;
    HINSTANCE module_ = nullptr;
    bool modal_ = false;
};

} // namespace fw
