#pragma once
// What both programs' lists of files draw rows with: the shell's icons in a pair of image
// lists, and the column texts of a listed remote entry.
#include <windows.h>

#include <map>
#include <string>

#include "framework/Controls.h"
#include "session/ConnectionSession.h"

// The five columns of a remote list, in order.
enum RemoteColumn {
    REMOTE_COLUMN_NAME,
    REMOTE_COLUMN_TIME,
    REMOTE_COLUMN_SIZE,
    REMOTE_COLUMN_ATTRIBUTES,
    REMOTE_COLUMN_OWNER
};

// A column's text of the entry: the name as listed, the time and size as the panes show
// them, the attributes and the owner; empty for another column.
std::wstring RemoteColumnText(const RemoteEntry& entry, int column);

// A list's large (32 x 32) and small (16 x 16) icons: one index names an icon in both.
class FileIconLists {
public:
    // Replaces both lists with empty ones.
    bool Create();
    void Reset();
    bool IsValid() const noexcept { return large.IsValid() && small.IsValid(); }
    HIMAGELIST Large() const noexcept { return large.Get(); }
    HIMAGELIST Small() const noexcept { return small.Get(); }
    // Hands both lists to a list view, which shares them (LVS_SHAREIMAGELISTS).
    void AttachTo(const fw::ListView& list) const;

    // Adds both icons, or neither; the index, or -1.
    int AddPair(HICON largeIcon, HICON smallIcon);
    // The shell's icon for a name as a directory or a normal file, asked once per kind and
    // extension: the shell decides such an icon by those alone. -1 when it has none.
    int IndexFor(const std::wstring& name, bool directory);
    // The real file's own icons (a program's, a shortcut's); -1 when the shell has none.
    int IndexForFile(const std::wstring& path);

private:
    fw::ImageList large;
    fw::ImageList small;
    // Empty for a directory, or "f" and the folded extension of a file.
    std::map<std::wstring, int> kindIndexes;
};
