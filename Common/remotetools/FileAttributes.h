#pragma once
// Picks UNIX permissions for the selected remote items (dialog 137): nine boxes, or a value
// typed in the manual edit. It neither reads the items' permissions nor talks to a server.
#include <string>

#include "framework/Dialog.h"

class CFileAttributes : public fw::Dialog {
public:
    CFileAttributes();

    // After DoModal returned IDOK: the manual edit's text at the moment of OK, unchanged.
    const std::wstring& ManualValue() const noexcept { return manualValue; }

protected:
    BOOL OnInitDialog() override;
    bool OnCommand(UINT id, UINT code) override;
    void DoDataExchange(fw::DataExchange& exchange) override;

private:
    // The boxes' mode as at least three upper-case hexadecimal digits; since each digit
    // holds only read 4, write 2 and execute 1, the text is the octal mode itself.
    void ComputeManualValue();

    std::wstring manualValue;
    bool ownerRead = true;
    bool ownerWrite = true;
    bool ownerExecute = false;
    bool groupRead = true;
    bool groupWrite = false;
    bool groupExecute = false;
    bool publicRead = true;
    bool publicWrite = false;
    bool publicExecute = false;
};
