#pragma once
// The columns of both programs' file lists: a remote list shows all five, in the order of
// the remote rows' columns, and a local list the first three.
#include "framework/Controls.h"

constexpr int REMOTE_LIST_COLUMNS = 5;
constexpr int LOCAL_LIST_COLUMNS = 3;

// Grid lines and whole-row selection, then the first columnCount of Name (nameWidth
// wide), Time, Size, Attributes and Owner.
void SetUpFileList(const fw::ListView& list, int columnCount, int nameWidth);
