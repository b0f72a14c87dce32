#include "OfferListingDlg.h"

#include <commctrl.h>

#include "SharedResource.h"
#include "framework/Controls.h"
#include "shell/DialogResources.h"

const wchar_t* const OFFER_LISTING_TITLE = L"Listing folders...";

namespace {

constexpr UINT_PTR WORKER_TIMER = 1;
constexpr UINT WORKER_POLL_MS = 50;
constexpr UINT MARQUEE_STEP_MS = 30;
const wchar_t* const LISTING_TEXT = L"Listing the folders to copy.";
const wchar_t* const STOPPING_TEXT = L"Stopping...";

bool Ended(HANDLE worker) { return WaitForSingleObject(worker, 0) != WAIT_TIMEOUT; }

} // namespace

COfferListingDlg::COfferListingDlg(HANDLE worker, std::function<void()> stop)
    : fw::Dialog(SharedDialogs().transferProgress), worker(worker), stop(std::move(stop))
{
}

BOOL COfferListingDlg::OnInitDialog()
{
    fw::Dialog::OnInitDialog();
    SetText(OFFER_LISTING_TITLE);
    Child(IDC_TRANSFER_NAME).SetText(LISTING_TEXT);
    // How far the walk has come is unknown until it ends: the bar only shows it goes on.
    fw::Window bar = Child(IDC_TRANSFER_PROGRESS);
    SetWindowLongPtrW(bar.Handle(), GWL_STYLE, GetWindowLongPtrW(bar.Handle(), GWL_STYLE) | PBS_MARQUEE);
    bar.Send(PBM_SETMARQUEE, TRUE, MARQUEE_STEP_MS);
    SetTimer(WORKER_TIMER, WORKER_POLL_MS);
    return TRUE;
}

void COfferListingDlg::OnTimer(UINT_PTR id)
{
    if (id != WORKER_TIMER) {
        fw::Dialog::OnTimer(id);
        return;
    }
    if (!Ended(worker)) return;
    KillTimer(WORKER_TIMER);
    EndDialog(stopping ? IDCANCEL : IDOK);
}

// Enter must not end the wait: only the walk's end or Cancel does.
void COfferListingDlg::OnOK() {}

void COfferListingDlg::OnCancel()
{
    if (stopping) return;
    stopping = true;
    Child(IDCANCEL).Enable(false);
    Child(IDC_TRANSFER_NAME).SetText(STOPPING_TEXT);
    stop();
}

bool WaitForOfferListing(HANDLE worker, HWND owner, const std::function<void()>& stop)
{
    // The caller is inside a request of the shell's, which waits for it anyway; only what
    // other threads and processes send is answered meanwhile.
    const ULONGLONG deadline = GetTickCount64() + OFFER_LISTING_SHOW_DELAY_MS;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        const DWORD waited =
            MsgWaitForMultipleObjects(1, &worker, FALSE, static_cast<DWORD>(deadline - now), QS_SENDMESSAGE);
        if (waited == WAIT_OBJECT_0) return true;
        if (waited != WAIT_OBJECT_0 + 1) break;
        MSG msg = {};
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    if (Ended(worker)) return true;
    // A window of another thread can't be the owner of a modal window on this one.
    if (owner != nullptr && GetWindowThreadProcessId(owner, nullptr) != GetCurrentThreadId()) owner = nullptr;
    COfferListingDlg window(worker, stop);
    const INT_PTR result = window.DoModal(owner);
    if (result == IDOK || result == IDCANCEL) return result == IDOK;
    // Without its window the walk can't be cancelled; it is not left running unseen.
    stop();
    WaitForSingleObject(worker, INFINITE);
    return false;
}
