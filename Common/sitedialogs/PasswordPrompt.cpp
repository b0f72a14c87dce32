#include "sitedialogs/PasswordPrompt.h"

#include <string>

#include "framework/Controls.h"
#include "shell/DialogResources.h"
#include "shell/TextDlg.h"
#include "sites/ProtectedPasswords.h"

const wchar_t* const PASSWORD_PROMPT_FORMAT = L"Password for %s";
const wchar_t* const FIREWALL_PASSWORD_PROMPT_FORMAT = L"Firewall password for %s";

namespace {

constexpr wchar_t MASK_CHARACTER = L'*';

class CPasswordDlg : public CTextDlg {
public:
    explicit CPasswordDlg(const std::wstring& caption) : CTextDlg(caption, L"") {}

protected:
    BOOL OnInitDialog() override
    {
        BOOL result = CTextDlg::OnInitDialog();
        fw::Edit edit(Child(static_cast<int>(SharedDialogs().textEdit)));
        edit.LimitText(static_cast<int>(SITE_TEXT_MAX_UNITS));
        edit.Send(EM_SETPASSWORDCHAR, MASK_CHARACTER);
        return result;
    }
};

bool Ask(HWND owner, const wchar_t* format, const SiteRecord& site, SiteText& field)
{
    std::wstring caption = format;
    caption.replace(caption.find(L"%s"), 2, GetText(site.label));
    CPasswordDlg prompt(caption);
    if (prompt.DoModal(owner) != IDOK) return false;
    SetText(field, prompt.Text());
    return true;
}

} // namespace

bool AskForUnreadablePasswords(HWND owner, SiteRecord& site)
{
    if (!PasswordsUnreadable(site)) return true;
    if (site.anonymous == 0 && !Ask(owner, PASSWORD_PROMPT_FORMAT, site, site.password)) return false;
    if (site.firewallType != FIREWALL_TYPE_NONE &&
        !Ask(owner, FIREWALL_PASSWORD_PROMPT_FORMAT, site, site.firewallPassword))
        return false;
    return true;
}
