#include "remotetools/FileAttributes.h"

#include <cwchar>

#include "SharedResource.h"
#include "shell/DialogResources.h"

namespace {

constexpr unsigned OWNER_READ_BIT = 0x400;
constexpr unsigned OWNER_WRITE_BIT = 0x200;
constexpr unsigned OWNER_EXECUTE_BIT = 0x100;
constexpr unsigned GROUP_READ_BIT = 0x40;
constexpr unsigned GROUP_WRITE_BIT = 0x20;
constexpr unsigned GROUP_EXECUTE_BIT = 0x10;
constexpr unsigned PUBLIC_READ_BIT = 0x4;
constexpr unsigned PUBLIC_WRITE_BIT = 0x2;
constexpr unsigned PUBLIC_EXECUTE_BIT = 0x1;
constexpr std::size_t MODE_TEXT_CAPACITY = 16;

bool IsPermissionBox(UINT id)
{
    switch (id) {
    case IDC_ATTR_OWNER_READ:
    case IDC_ATTR_OWNER_WRITE:
    case IDC_ATTR_OWNER_EXECUTE:
    case IDC_ATTR_GROUP_READ:
    case IDC_ATTR_GROUP_WRITE:
    case IDC_ATTR_GROUP_EXECUTE:
    case IDC_ATTR_PUBLIC_READ:
    case IDC_ATTR_PUBLIC_WRITE:
    case IDC_ATTR_PUBLIC_EXECUTE: return true;
    default: return false;
    }
}

} // namespace

CFileAttributes::CFileAttributes() : fw::Dialog(SharedDialogs().fileAttributes) {}

BOOL CFileAttributes::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    ComputeManualValue();
    return TRUE;
}

bool CFileAttributes::OnCommand(UINT id, UINT code)
{
    if (code == BN_CLICKED && IsPermissionBox(id)) {
        ComputeManualValue();
        return true;
    }
    return fw::Dialog::OnCommand(id, code);
}

void CFileAttributes::DoDataExchange(fw::DataExchange& exchange)
{
    exchange.Text(IDC_ATTR_MANUAL_VALUE, manualValue);
    exchange.Check(IDC_ATTR_OWNER_READ, ownerRead);
    exchange.Check(IDC_ATTR_OWNER_WRITE, ownerWrite);
    exchange.Check(IDC_ATTR_OWNER_EXECUTE, ownerExecute);
    exchange.Check(IDC_ATTR_GROUP_READ, groupRead);
    exchange.Check(IDC_ATTR_GROUP_WRITE, groupWrite);
    exchange.Check(IDC_ATTR_GROUP_EXECUTE, groupExecute);
    exchange.Check(IDC_ATTR_PUBLIC_READ, publicRead);
    exchange.Check(IDC_ATTR_PUBLIC_WRITE, publicWrite);
    exchange.Check(IDC_ATTR_PUBLIC_EXECUTE, publicExecute);
}

void CFileAttributes::ComputeManualValue()
{
    UpdateData(true);
    unsigned mode = 0;
    if (ownerRead) mode |= OWNER_READ_BIT;
    if (ownerWrite) mode |= OWNER_WRITE_BIT;
    if (ownerExecute) mode |= OWNER_EXECUTE_BIT;
    if (groupRead) mode |= GROUP_READ_BIT;
    if (groupWrite) mode |= GROUP_WRITE_BIT;
    if (groupExecute) mode |= GROUP_EXECUTE_BIT;
    if (publicRead) mode |= PUBLIC_READ_BIT;
    if (publicWrite) mode |= PUBLIC_WRITE_BIT;
    if (publicExecute) mode |= PUBLIC_EXECUTE_BIT;
    wchar_t text[MODE_TEXT_CAPACITY] = {};
    std::swprintf(text, MODE_TEXT_CAPACITY, L"%.3X", mode);
    manualValue = text;
    UpdateData(false);
}
