// The replace prompt on its own, answered from the keyboard as a user would.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SharedResource.h"
#include "support/WindowAnswerer.h"
#include "transfer/AskReplaceDlg.h"

namespace {

struct Seen {
    std::wstring question;
    std::wstring serverText;
    std::wstring localText;
};

testsupport::WindowAnswerer::Action PressKey(Seen& seen, UINT key)
{
    return [&seen, key](HWND prompt) {
        seen.question = testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE);
        seen.serverText = testsupport::ItemText(prompt, IDC_REPLACE_SERVER_TEXT);
        seen.localText = testsupport::ItemText(prompt, IDC_REPLACE_LOCAL_TEXT);
        HWND focus = GetDlgItem(prompt, IDOK);
        PostMessageW(focus, WM_KEYDOWN, key, 0);
        PostMessageW(focus, WM_KEYUP, key, 0);
    };
}

TEST(AskReplaceDlgTest, DirectoryFormAndEscapeRefuses)
{
    testsupport::WindowAnswerer answerer;
    Seen seen;
    answerer.OnDialog(L"Confirm Replace", PressKey(seen, VK_ESCAPE));
    CAskReplaceDlg prompt(nullptr, true, L"docs", L"server side", L"local side");
    EXPECT_EQ(prompt.DoModal(), IDCANCEL);
    EXPECT_EQ(seen.question, L"The directory \"docs\" already exists. Would you like to replace it?");
    EXPECT_EQ(seen.serverText, L"server side");
    EXPECT_EQ(seen.localText, L"local side");
}

TEST(AskReplaceDlgTest, FileFormAndEnterAgrees)
{
    testsupport::WindowAnswerer answerer;
    Seen seen;
    answerer.OnDialog(L"Confirm Replace", PressKey(seen, VK_RETURN));
    CAskReplaceDlg prompt(nullptr, false, L"report.pdf", L"1.00 Kb (1024 bytes)\r\nday one",
                          L"2.00 Kb (2048 bytes)\r\nday two");
    EXPECT_EQ(prompt.DoModal(), IDOK);
    EXPECT_EQ(seen.question, L"The file \"report.pdf\" already exists. Would you like to replace it?");
    EXPECT_EQ(seen.serverText, L"1.00 Kb (1024 bytes)\r\nday one");
    EXPECT_EQ(seen.localText, L"2.00 Kb (2048 bytes)\r\nday two");
}

// Resume is there only when offered, says what it would do, and answers with its own id.
TEST(AskReplaceDlgTest, ResumeIsOfferedOnlyWhereItCanBeDone)
{
    struct Row {
        ResumeOffer offer;
        const wchar_t* question;
        INT_PTR answer;
    };
    const Row rows[] = {
        {ResumeOffer::None, L"The file \"f.bin\" already exists. Would you like to replace it?", IDCANCEL},
        {ResumeOffer::Download,
         L"The file \"f.bin\" was partly downloaded. Would you like to replace it, or resume it?", IDC_REPLACE_RESUME},
        {ResumeOffer::Upload,
         L"The file \"f.bin\" already exists and is shorter. Would you like to replace it, or resume it?",
         IDC_REPLACE_RESUME},
    };
    for (const Row& row : rows) {
        testsupport::WindowAnswerer answerer;
        std::wstring question;
        answerer.OnDialog(L"Confirm Replace", [&question](HWND prompt) {
            question = testsupport::ItemText(prompt, IDC_REPLACE_MESSAGE);
            HWND resume = GetDlgItem(prompt, IDC_REPLACE_RESUME);
            if (IsWindowVisible(resume)) {
                PostMessageW(resume, BM_CLICK, 0, 0);
            } else {
                testsupport::PostCommand(prompt, IDCANCEL);
            }
        });
        CAskReplaceDlg prompt(nullptr, false, L"f.bin", L"server", L"local", row.offer);
        EXPECT_EQ(prompt.DoModal(), row.answer);
        EXPECT_EQ(question, row.question);
    }
}

} // namespace
