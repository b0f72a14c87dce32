#pragma once
// The pane's list as a drop target for files from the shell: a drag that carries the
// shell's file-drop format, and is not the pane's own, may drop with the copy effect. The
// row under the cursor becomes the selection, and with it the directory the files go to.
// The drop itself posts WM_UPLOAD_LIST to the view, which runs the upload.
#include <windows.h>

#include <shobjidl.h>

#include "framework/Controls.h"
#include "framework/Handles.h"
#include "framework/OleDropTarget.h"

class ConnectionSession;

// Posted to the view with a TransferList* of local items as wParam (lParam 0); the view
// owns the list from then on.
constexpr UINT WM_UPLOAD_LIST = WM_USER + 0x302;

// The files of a drop or a paste, as a list of local items posted to the list's parent
// (the view) with WM_UPLOAD_LIST. False when the data has no file-drop format or can't be
// read. Dropped paths that no longer exist are skipped.
bool DropFiles(IDataObject* data, ConnectionSession* session, HWND list);

class CMyDropTarget : public fw::OleDropTarget {
public:
    CMyDropTarget(ConnectionSession* session, HWND list);

    // Whether a drag of this data may drop on the pane.
    static DWORD Effect(IDataObject* data);

protected:
    DWORD OnDragEnter(HWND window, IDataObject* data, DWORD keys, POINT point) override;
    DWORD OnDragOver(HWND window, IDataObject* data, DWORD keys, POINT point) override;
    DWORD OnDrop(HWND window, IDataObject* data, DWORD effect, POINT point) override;
    void OnDragLeave(HWND window) override;

private:
    ~CMyDropTarget() override = default;
    POINT ScreenPoint(POINT point) const;

    ConnectionSession* session;
    fw::ListView list;
    // The shell's drag image follows the cursor over the pane through this helper.
    fw::ComPtr<IDropTargetHelper> helper;
    bool helperPresent = false;
};
