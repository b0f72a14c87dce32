#pragma once
// The remote pane's form (dialog 101): the folder row and the list of entries. The
// controls follow the window's size instead of scrolling.
#include <array>

#include "framework/Controls.h"
#include "framework/FormView.h"
#include "resource.h"

struct ListColumn {
    const wchar_t* header;
    int width;
    int format;
};

constexpr int LIST_COLUMN_COUNT = 5;
extern const std::array<ListColumn, LIST_COLUMN_COUNT> LIST_COLUMNS;

class COrvidView : public fw::FormView {
public:
    COrvidView();

    fw::ListView List() const { return fw::ListView(Child(IDC_REMOTE_LIST).Handle()); }
    // The list's view-mode bits: LVS_ICON, LVS_REPORT or LVS_LIST.
    DWORD GetViewMode() const;
    void SetViewMode(DWORD mode);
    // A column's width in pixels in any view mode (the header keeps it).
    int ColumnWidth(int column) const;

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(fw::CommandState& state) override;

protected:
    void OnInitialUpdate() override;
    void OnSize(UINT type, int width, int height) override;
    using fw::FormView::OnCommand;

private:
    void LayOut();
};
