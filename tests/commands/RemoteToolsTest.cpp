// The permissions picker and the item properties dialog, run modally and driven from the
// same thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DialogScript.h"
#include "SharedResource.h"
#include "commands/FileCommands.h"
#include "remotetools/FileAttributes.h"
#include "remotetools/PropDlg.h"

using namespace sitetests;

namespace {

const std::wstring PERMISSIONS = L"Change File(s) Attributes";
const std::wstring PROPERTIES = L"Properties";

const int BOXES[] = {IDC_ATTR_OWNER_READ,  IDC_ATTR_OWNER_WRITE,  IDC_ATTR_OWNER_EXECUTE,
                     IDC_ATTR_GROUP_READ,  IDC_ATTR_GROUP_WRITE,  IDC_ATTR_GROUP_EXECUTE,
                     IDC_ATTR_PUBLIC_READ, IDC_ATTR_PUBLIC_WRITE, IDC_ATTR_PUBLIC_EXECUTE};

// The boxes as a rwx string, owner first.
std::wstring BoxLetters(HWND dialog)
{
    const wchar_t letters[] = L"rwx";
    std::wstring text;
    for (std::size_t i = 0; i < std::size(BOXES); ++i)
        text += Checked(dialog, BOXES[i]) ? letters[i % 3] : L'-';
    return text;
}

bool Visible(HWND dialog, int id) { return (GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0; }

// The icon's pixels drawn on white, to tell two icons apart by what they show.
std::vector<COLORREF> IconPixels(HICON icon)
{
    constexpr int SIZE = 32;
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, SIZE, SIZE);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, SIZE, SIZE};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawIconEx(dc, 0, 0, icon, SIZE, SIZE, 0, nullptr, DI_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < SIZE; ++y)
        for (int x = 0; x < SIZE; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

struct Shown {
    int remoteLinesShown = 0; // of the four Attributes and Owner labels and values
    int boxesShown = 0;       // of the three check boxes
    int boxesEnabled = 0;
    bool readOnly = false, hidden = false, system = false;
    std::vector<COLORREF> icon;
};

// Runs the dialog, reads what it shows, optionally ticks System, and ends it with OK.
Shown RunProperties(CPropDlg& dialog, bool tickSystem = false)
{
    Shown shown;
    DialogScript script;
    script.On(PROPERTIES, [&](HWND window) {
        for (int id : {IDC_PROP_ATTRIBUTES_LABEL, IDC_PROP_ATTRIBUTES, IDC_PROP_OWNER_LABEL, IDC_PROP_OWNER})
            shown.remoteLinesShown += Visible(window, id) ? 1 : 0;
        for (int id : {IDC_PROP_READ_ONLY, IDC_PROP_HIDDEN, IDC_PROP_SYSTEM})
            shown.boxesShown += Visible(window, id) ? 1 : 0;
        for (int id : {IDC_PROP_READ_ONLY, IDC_PROP_HIDDEN, IDC_PROP_SYSTEM})
            shown.boxesEnabled += IsWindowEnabled(GetDlgItem(window, id)) ? 1 : 0;
        shown.readOnly = Checked(window, IDC_PROP_READ_ONLY);
        shown.hidden = Checked(window, IDC_PROP_HIDDEN);
        shown.system = Checked(window, IDC_PROP_SYSTEM);
        if (dialog.Icon() != nullptr) shown.icon = IconPixels(dialog.Icon());
        if (tickSystem) Click(window, IDC_PROP_SYSTEM);
        Click(window, IDOK);
    });
    EXPECT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(script.Failures().empty());
    return shown;
}

} // namespace

TEST(FileAttributes, OpensAt644AndTheBoxesComputeTheMode)
{
    std::wstring initial, initialBoxes, afterExecute, cleared;
    CFileAttributes dialog;
    DialogScript script;
    script.On(PERMISSIONS, [&](HWND window) {
        initial = Text(window, IDC_ATTR_MANUAL_VALUE);
        initialBoxes = BoxLetters(window);
        Click(window, IDC_ATTR_OWNER_EXECUTE);
        Click(window, IDC_ATTR_GROUP_EXECUTE);
        Click(window, IDC_ATTR_PUBLIC_EXECUTE);
        afterExecute = Text(window, IDC_ATTR_MANUAL_VALUE);
        for (int id : BOXES)
            if (Checked(window, id)) Click(window, id);
        cleared = Text(window, IDC_ATTR_MANUAL_VALUE);
        Click(window, IDC_ATTR_GROUP_WRITE);
        Click(window, IDOK);
    });
    ASSERT_EQ(dialog.DoModal(nullptr), IDOK);
    EXPECT_TRUE(script.Failures().empty());
    EXPECT_EQ(initial, L"644");
    EXPECT_EQ(initialBoxes, L"rw-r--r--");
    EXPECT_EQ(afterExecute, L"755");
    EXPECT_EQ(cleared, L"000");
    EXPECT_EQ(dialog.ManualValue(), L"020");
}

TEST(FileAttributes, ATypedValueIsKeptUntilABoxIsClicked)
{
    std::wstring boxesAfterTyping, afterClick;
    CFileAttributes typed;
    DialogScript script;
    script.On(PERMISSIONS, [&](HWND window) {
        SetText(window, IDC_ATTR_MANUAL_VALUE, L"600");
        boxesAfterTyping = BoxLetters(window);
        Click(window, IDOK);
    });
    ASSERT_EQ(typed.DoModal(nullptr), IDOK);
    EXPECT_EQ(typed.ManualValue(), L"600");
    EXPECT_EQ(boxesAfterTyping, L"rw-r--r--");

    CFileAttributes clicked;
    script.On(PERMISSIONS, [&](HWND window) {
        SetText(window, IDC_ATTR_MANUAL_VALUE, L"600");
        Click(window, IDC_ATTR_PUBLIC_WRITE);
        afterClick = Text(window, IDC_ATTR_MANUAL_VALUE);
        Click(window, IDCANCEL);
    });
    EXPECT_EQ(clicked.DoModal(nullptr), IDCANCEL);
    EXPECT_EQ(afterClick, L"646");
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(script.Failures().empty());
}

TEST(PropertiesSizeText, PrintsTheWholeByteCount)
{
    EXPECT_EQ(PropertiesSizeText(0), L" (0 bytes)");
    EXPECT_EQ(PropertiesSizeText(512), L"512 B (512 bytes)");
    // Beyond 32 bits the count is printed whole, not wrapped into a negative number.
    EXPECT_EQ(PropertiesSizeText(5368709120ULL).substr(PropertiesSizeText(5368709120ULL).find(L'(')),
              L"(5368709120 bytes)");
    EXPECT_EQ(PropertiesSizeText(REMOTE_SIZE_UNKNOWN), L"");
}

TEST(PropDlg, RemoteItemsShowOwnerAndAttributesAndTheShellsIconForTheirName)
{
    CPropDlg file;
    file.name = L"report.pdf";
    file.readOnly = true; // not shown for a remote item
    Shown shownFile = RunProperties(file);
    EXPECT_EQ(shownFile.remoteLinesShown, 4);
    EXPECT_EQ(shownFile.boxesShown, 0);
    ASSERT_FALSE(shownFile.icon.empty()) << "no icon for a name that exists nowhere";

    CPropDlg folder;
    folder.directory = true;
    folder.name = L"report.pdf"; // the same name: only the directory attribute differs
    Shown shownFolder = RunProperties(folder);
    EXPECT_EQ(shownFolder.remoteLinesShown, 4);
    EXPECT_EQ(shownFolder.boxesShown, 0);
    ASSERT_FALSE(shownFolder.icon.empty());
    EXPECT_NE(shownFolder.icon, shownFile.icon);
    EXPECT_EQ(folder.Icon(), nullptr) << "the icon is freed with the dialog";
}

TEST(PropDlg, LocalItemsShowTheirFlagsAndNoServerLines)
{
    wchar_t tempPath[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, tempPath);
    const std::filesystem::path file = std::filesystem::path(tempPath) / L"orvid-prop-local.txt";
    HANDLE created =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(created, INVALID_HANDLE_VALUE);
    CloseHandle(created);
    ASSERT_TRUE(SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));

    CPropDlg local;
    local.localItem = true;
    local.name = file.filename().wstring();
    local.path = file.parent_path().wstring();
    const DWORD attributes = GetFileAttributesW(file.c_str());
    local.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    local.hidden = (attributes & FILE_ATTRIBUTE_HIDDEN) != 0;
    local.system = (attributes & FILE_ATTRIBUTE_SYSTEM) != 0;
    local.attributesText = L"-rw-------";
    Shown shown = RunProperties(local, true);
    EXPECT_EQ(shown.boxesShown, 3);
    // They only show the attributes: nothing the dialog could apply.
    EXPECT_EQ(shown.boxesEnabled, 0);
    EXPECT_EQ(shown.remoteLinesShown, 0);
    EXPECT_TRUE(shown.readOnly);
    EXPECT_TRUE(shown.hidden);
    EXPECT_FALSE(shown.system);
    EXPECT_FALSE(shown.icon.empty());
    // Ticking a box changes nothing on disk.
    EXPECT_EQ(GetFileAttributesW(file.c_str()), attributes);

    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(file.c_str());
}
