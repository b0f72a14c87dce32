#pragma once
// What the site store and the password protection share inside the sites folder: where a
// record and its protected value are written, in the order that keeps the passwords
// readable at every moment.
#ifdef _WIN32
#include <string>

#include "framework/Handles.h"
#include "sites/SiteRecord.h"

namespace sitesdetail {

enum class StoreOutcome {
    InRecord,       // the passwords are in the record, scrambled; no protected value is left
    Protected,      // the passwords are in the protected value, the record's fields blank
    NotProtected,   // protection was asked for but failed: the passwords stayed in the record
    KeptUnreadable, // the protected value cannot be read here, so it and the record stay
};

// Created when missing, like the sites key.
fw::RegistryKey OpenProtectedKey(const std::wstring& sitesKeyPath);

// Writes the site under the value named label (as a record holds it), its passwords
// protected or not as asked.
StoreOutcome StoreSiteRecord(const SiteRecord& site, const std::wstring& label, bool protect,
                             const std::wstring& sitesKeyPath);

} // namespace sitesdetail

#endif
