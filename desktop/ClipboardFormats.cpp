#include "ClipboardFormats.h"

#include <shlobj.h>

namespace {

const wchar_t* const MARKER_FORMAT_NAME = L"Orvid_CFM";

CLIPFORMAT Register(const wchar_t* name) { return static_cast<CLIPFORMAT>(RegisterClipboardFormatW(name)); }

} // namespace

const ClipboardFormats& RegisteredClipboardFormats()
{
    static const ClipboardFormats formats = {Register(CFSTR_FILEDESCRIPTORW), Register(CFSTR_FILECONTENTS),
                                             Register(MARKER_FORMAT_NAME)};
    return formats;
}
