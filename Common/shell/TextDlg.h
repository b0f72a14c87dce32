#pragma once
// The one-line text prompt (dialog 133) through which commands ask for a name or a path.
#include <string>

#include "framework/Dialog.h"

class CTextDlg : public fw::Dialog {
public:
    CTextDlg(const std::wstring& caption, const std::wstring& text);

    // After DoModal returned IDOK: what the edit showed when OK was pressed.
    const std::wstring& Text() const noexcept { return text; }

protected:
    BOOL OnInitDialog() override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    std::wstring caption;
    std::wstring text;
};
