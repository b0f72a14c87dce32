#include "shell/FileListColumns.h"

#include <array>
#include <cstddef>

namespace {

struct ListColumn {
    const wchar_t* header;
    int width;
    int format;
};
// Name's width is each program's own.
constexpr std::array<ListColumn, REMOTE_LIST_COLUMNS> COLUMNS = {{
    {L"Name", 0, LVCFMT_LEFT},
    {L"Time", 110, LVCFMT_LEFT},
    {L"Size", 80, LVCFMT_RIGHT},
    {L"Attributes", 80, LVCFMT_RIGHT},
    {L"Owner", 60, LVCFMT_RIGHT},
}};

constexpr DWORD LIST_EXTENDED_STYLE = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;

} // namespace

void SetUpFileList(const fw::ListView& list, int columnCount, int nameWidth)
{
    list.SetExtendedStyle(LIST_EXTENDED_STYLE);
    for (int column = 0; column < columnCount && column < REMOTE_LIST_COLUMNS; ++column) {
        const ListColumn& info = COLUMNS[static_cast<std::size_t>(column)];
        list.InsertColumn(column, info.header, column == 0 ? nameWidth : info.width, info.format);
    }
}
