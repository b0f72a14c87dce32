#pragma once
// The question Connect asks for a site whose protected passwords cannot be read here: they
// were protected for another Windows user or on another machine, or their value is gone.
#include <windows.h>

#include "sites/SiteRecord.h"

extern const wchar_t* const PASSWORD_PROMPT_FORMAT;
extern const wchar_t* const FIREWALL_PASSWORD_PROMPT_FORMAT;

// For such a site, asks in the text prompt (its edit masked) for the password unless the
// logon is anonymous, then for the firewall password when the site goes through one. The
// answers fill site for this connection only; the stored value stays as it is. False when
// a prompt was cancelled: nothing may connect then. Any other site passes untouched.
bool AskForUnreadablePasswords(HWND owner, SiteRecord& site);
