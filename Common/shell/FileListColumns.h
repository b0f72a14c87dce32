#pragma once
// The columns of every list of files in both programs: Name, Time, Size, Attributes and
// Owner, in the order of the remote rows' columns; a local list shows the first three.
// Each list has its own widths.
#include <span>

#include "framework/Controls.h"

constexpr int REMOTE_LIST_COLUMNS = 5;
constexpr int LOCAL_LIST_COLUMNS = 3;

// Grid lines and whole-row selection, then one column per width, from Name on.
void SetUpFileList(const fw::ListView& list, std::span<const int> widths);
