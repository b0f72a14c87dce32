#include "shell/FileListColumns.h"

#include <array>
#include <cstddef>

namespace {

struct ListColumn {
    const wchar_t* header;
    int format;
};
constexpr std::array<ListColumn, REMOTE_LIST_COLUMNS> COLUMNS = {{
    {L"Name", LVCFMT_LEFT},
    {L"Time", LVCFMT_LEFT},
    {L"Size", LVCFMT_RIGHT},
    {L"Attributes", LVCFMT_RIGHT},
    {L"Owner", LVCFMT_RIGHT},
}};

constexpr DWORD LIST_EXTENDED_STYLE = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

} // namespace

void SetUpFileList(const fw::ListView& list, std::span<const int> widths)
{
    list.SetExtendedStyle(LIST_EXTENDED_STYLE);
    for (std::size_t column = 0; column < widths.size() && column < COLUMNS.size(); ++column)
        list.InsertColumn(static_cast<int>(column), COLUMNS[column].header, widths[column], COLUMNS[column].format);
}
