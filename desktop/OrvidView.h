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

// The idle keep-alive: restarted by every socket activity, so it fires only after this
// long without traffic.
constexpr UINT_PTR KEEPALIVE_TIMER = 345;
constexpr UINT KEEPALIVE_INTERVAL_MS = 30000;

class ConnectionSession;

class COrvidView : public fw::FormView {
public:
    COrvidView();

    fw::ListView List() const { return fw::ListView(Child(IDC_REMOTE_LIST).Handle()); }
    // The list's view-mode bits: LVS_ICON, LVS_REPORT or LVS_LIST.
    DWORD GetViewMode() const;
    void SetViewMode(DWORD mode);
    // A column's width in pixels in any view mode (the header keeps it).
    int ColumnWidth(int column) const;

    // Empties the folder combo and the list (Disconnect).
    void ClearPane();
    // The keep-alive timer's interval; restarts a running timer.
    void SetKeepAliveInterval(UINT milliseconds);
    UINT KeepAliveInterval() const noexcept { return keepAliveIntervalMs; }

    bool OnCommand(UINT id) override;
    bool OnUpdateCommand(fw::CommandState& state) override;

protected:
    void OnInitialUpdate() override;
    void OnSize(UINT type, int width, int height) override;
    void OnTimer(UINT_PTR id) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;
    using fw::FormView::OnCommand;

private:
    void LayOut();
    void RestartKeepAlive();
    ConnectionSession* Session() const;

    UINT keepAliveIntervalMs = KEEPALIVE_INTERVAL_MS;
};
