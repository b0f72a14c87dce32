#pragma once
// A static control of a dialog that shows an icon at its natural size in its top-left
// corner on a button-face background. The icon belongs to the owner dialog.
#include <windows.h>

#include "framework/Window.h"

class CStaticEx : public fw::Window {
public:
    CStaticEx() = default;
    CStaticEx(const CStaticEx&) = delete;
    CStaticEx& operator=(const CStaticEx&) = delete;
    ~CStaticEx();

    // Takes over painting of the dialog's control; false if there is no such control.
    bool Attach(HWND dialog, int controlId);
    void Detach();
    // Not owned: the owner destroys the icon after the control is gone or has another.
    void SetIcon(HICON icon);
    HICON GetIcon() const noexcept { return icon; }

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    void Paint();

    HICON icon = nullptr;
};
