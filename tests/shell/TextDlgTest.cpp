#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "SharedResource.h"
#include "shell/TextDlg.h"

namespace {

// What the user does once the prompt is on screen; run from a thread timer, which fires
// inside the dialog's own modal loop on this thread.
std::function<void(HWND)> userAction;
std::wstring seenText;
std::wstring seenCaption;
constexpr UINT ANSWER_DELAY_MS = 50;

void CALLBACK AnswerPrompt(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND prompt = FindWindowW(L"#32770", nullptr);
    DWORD process = 0;
    if (prompt == nullptr || GetWindowThreadProcessId(prompt, &process) != GetCurrentThreadId()) return;
    KillTimer(nullptr, timer);
    wchar_t text[512] = {};
    GetDlgItemTextW(prompt, IDC_TEXT_EDIT, text, 512);
    seenText = text;
    GetWindowTextW(prompt, text, 512);
    seenCaption = text;
    userAction(prompt);
}

INT_PTR RunPrompt(CTextDlg& prompt, std::function<void(HWND)> action)
{
    userAction = std::move(action);
    seenText.clear();
    seenCaption.clear();
    SetTimer(nullptr, 0, ANSWER_DELAY_MS, AnswerPrompt);
    return prompt.DoModal(nullptr);
}

void Press(HWND prompt, int button) { SendMessageW(GetDlgItem(prompt, button), BM_CLICK, 0, 0); }

} // namespace

TEST(CTextDlg, ShowsCaptionAndTextAndReturnsThemUnchanged)
{
    CTextDlg prompt(L"Enter Path", L"/pub");
    EXPECT_EQ(RunPrompt(prompt, [](HWND dialog) { Press(dialog, IDOK); }), IDOK);
    EXPECT_EQ(seenCaption, L"Enter Path");
    EXPECT_EQ(seenText, L"/pub");
    EXPECT_EQ(prompt.Text(), L"/pub");
}

TEST(CTextDlg, ReturnsWhatTheEditShowsOnOk)
{
    CTextDlg prompt(L"Rename", L"old.txt");
    EXPECT_EQ(RunPrompt(prompt,
                        [](HWND dialog) {
                            SetDlgItemTextW(dialog, IDC_TEXT_EDIT, L"new name.txt");
                            Press(dialog, IDOK);
                        }),
              IDOK);
    EXPECT_EQ(prompt.Text(), L"new name.txt");
}

TEST(CTextDlg, CancelReturnsCancelWhateverWasTyped)
{
    CTextDlg prompt(L"New Directory", L"");
    EXPECT_EQ(RunPrompt(prompt,
                        [](HWND dialog) {
                            SetDlgItemTextW(dialog, IDC_TEXT_EDIT, L"typed");
                            Press(dialog, IDCANCEL);
                        }),
              IDCANCEL);
}

TEST(CTextDlg, EmptyTextIsConfirmedAsEmpty)
{
    CTextDlg prompt(L"Set Temp Directory", L"C:\\temp");
    EXPECT_EQ(RunPrompt(prompt,
                        [](HWND dialog) {
                            SetDlgItemTextW(dialog, IDC_TEXT_EDIT, L"");
                            Press(dialog, IDOK);
                        }),
              IDOK);
    EXPECT_EQ(prompt.Text(), L"");
}
