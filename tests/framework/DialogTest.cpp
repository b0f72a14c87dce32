#include "Dialog.h"
#include "Controls.h"
#include "FrameworkTestSupport.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace {

constexpr UINT_PTR SCRIPT_TIMER = 1;
constexpr UINT SCRIPT_DELAY_MS = 10;

// A dialog whose test script runs from a timer once the dialog is open, the way a
// user would act on it.
class ExchangeDialog : public fw::Dialog {
public:
    ExchangeDialog() : Dialog(IDD_EXCHANGE) {}

    std::wstring name = L"/pub";
    bool flag = true;
    int number = -42;
    int choice = 1;
    unsigned count = 7;

    std::function<void(ExchangeDialog&)> script;
    std::vector<std::pair<int, std::wstring>> failures;

    // What the controls showed when the dialog opened.
    std::wstring shownName;
    bool shownFlag = false;
    std::wstring shownNumber;
    int shownChoice = -2;
    std::wstring shownCount;

    void Type(int id, const std::wstring& text) { Child(id).SetText(text); }
    void Press(int id) { fw::Button(Child(id)).Click(); }

protected:
    BOOL OnInitDialog() override
    {
        fw::ComboBox choices(Child(IDC_CHOICE));
        for (const wchar_t* text : {L"zero", L"one", L"two"})
            choices.AddString(text);
        BOOL result = Dialog::OnInitDialog();
        shownName = Child(IDC_NAME).GetText();
        shownFlag = fw::Button(Child(IDC_FLAG)).GetCheck();
        shownNumber = Child(IDC_NUMBER).GetText();
        shownChoice = choices.GetCurSel();
        shownCount = Child(IDC_COUNT).GetText();
        SetTimer(SCRIPT_TIMER, SCRIPT_DELAY_MS);
        return result;
    }
    void OnTimer(UINT_PTR id) override
    {
        KillTimer(id);
        if (script) script(*this);
    }
    void DoDataExchange(fw::DataExchange& exchange) override
    {
        exchange.Text(IDC_NAME, name);
        exchange.Check(IDC_FLAG, flag);
        exchange.Int(IDC_NUMBER, number);
        exchange.ComboSelection(IDC_CHOICE, choice);
        exchange.UInt(IDC_COUNT, count);
    }
    void OnDataExchangeFailure(int controlId, const std::wstring& message) override
    {
        failures.emplace_back(controlId, message);
    }
};

class DialogTest : public ::testing::Test {
protected:
    void SetUp() override { fwtest::InitControls(); }
};

TEST_F(DialogTest, OpeningShowsTheMembersAndOkCopiesTheControlsBack)
{
    ExchangeDialog dialog;
    dialog.script = [](ExchangeDialog& d) {
        d.Type(IDC_NAME, L"/incoming");
        d.Press(IDC_FLAG);
        d.Type(IDC_NUMBER, L" 2121 ");
        fw::ComboBox(d.Child(IDC_CHOICE)).SetCurSel(2);
        d.Type(IDC_COUNT, L"4000000000");
        d.Press(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);

    EXPECT_EQ(dialog.shownName, L"/pub");
    EXPECT_TRUE(dialog.shownFlag);
    EXPECT_EQ(dialog.shownNumber, L"-42");
    EXPECT_EQ(dialog.shownChoice, 1);
    EXPECT_EQ(dialog.shownCount, L"7");

    EXPECT_EQ(dialog.name, L"/incoming");
    EXPECT_FALSE(dialog.flag);
    EXPECT_EQ(dialog.number, 2121);
    EXPECT_EQ(dialog.choice, 2);
    EXPECT_EQ(dialog.count, 4000000000u);
    EXPECT_TRUE(dialog.failures.empty());
    EXPECT_EQ(dialog.Handle(), nullptr) << "the handle is let go when the window is destroyed";
}

TEST_F(DialogTest, NumberThatDoesNotReadKeepsTheDialogOpenAndStopsTheExchange)
{
    ExchangeDialog dialog;
    bool openAfterFailure = false;
    int choiceAfterFailure = -2;
    dialog.script = [&](ExchangeDialog& d) {
        d.Type(IDC_NUMBER, L"21x");
        fw::ComboBox(d.Child(IDC_CHOICE)).SetCurSel(0);
        d.Press(IDOK);
        openAfterFailure = d.IsWindow();
        choiceAfterFailure = d.choice;
        d.Type(IDC_NUMBER, L"21");
        d.Press(IDOK);
    };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_TRUE(openAfterFailure);
    EXPECT_EQ(choiceAfterFailure, 1) << "controls after the faulty one are not read";
    ASSERT_EQ(dialog.failures.size(), 1u);
    EXPECT_EQ(dialog.failures[0].first, IDC_NUMBER);
    EXPECT_EQ(dialog.failures[0].second, L"Please enter an integer.");
    EXPECT_EQ(dialog.number, 21);
    EXPECT_EQ(dialog.choice, 0);
}

TEST_F(DialogTest, UnsignedRefusesSignsAndLettersWithItsOwnMessage)
{
    for (const wchar_t* text : {L"-5", L"abc", L"", L"99999999999"}) {
        ExchangeDialog dialog;
        dialog.script = [&](ExchangeDialog& d) {
            d.Type(IDC_COUNT, text);
            d.Press(IDOK);
            d.Press(IDCANCEL);
        };
        EXPECT_EQ(dialog.DoModal(), IDCANCEL) << "text " << ::testing::PrintToString(std::wstring(text));
        ASSERT_EQ(dialog.failures.size(), 1u);
        EXPECT_EQ(dialog.failures[0].first, IDC_COUNT);
        EXPECT_EQ(dialog.failures[0].second, L"Please enter a positive integer.");
        EXPECT_EQ(dialog.count, 7u);
    }
}

TEST_F(DialogTest, CancelLeavesTheMembersAsTheyWere)
{
    ExchangeDialog dialog;
    dialog.script = [](ExchangeDialog& d) {
        d.Type(IDC_NAME, L"typed");
        d.Press(IDCANCEL);
    };
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.name, L"/pub");
}

TEST_F(DialogTest, ModelessDialogEndsByDestroyingItsWindow)
{
    ExchangeDialog dialog;
    ASSERT_TRUE(dialog.Create(nullptr));
    HWND hwnd = dialog.Handle();
    EXPECT_FALSE(dialog.IsModal());
    EXPECT_EQ(dialog.Child(IDC_NAME).GetText(), L"/pub");
    dialog.Type(IDC_NAME, L"changed");
    dialog.Press(IDOK);
    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(dialog.name, L"changed");
}

TEST_F(DialogTest, ModelessDialogStillOpenIsDestroyedWithItsObject)
{
    HWND hwnd = nullptr;
    {
        ExchangeDialog dialog;
        ASSERT_TRUE(dialog.Create(nullptr));
        hwnd = dialog.Handle();
    }
    EXPECT_FALSE(::IsWindow(hwnd));
}

} // namespace
