#pragma once
// The one-line text prompt (dialog 133) through which commands ask for a name or a path.
#include <string>

#include "framework/Dialog.h"

// The prompts' captions, the same in every window of both programs that asks.
extern const wchar_t* const ENTER_PATH_CAPTION;
extern const wchar_t* const NEW_DIRECTORY_CAPTION;
extern const wchar_t* const RENAME_CAPTION;
extern const wchar_t* const MOVE_TO_CAPTION;

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
