#pragma once
// The window that shows while the folders of a Copy or a drag are listed for the shell,
// once the walk has taken longer than a moment (the job's progress template). Cancel stops
// the walk, the listing in flight included, and waits for its thread to end.
#include <windows.h>

#include <functional>

#include "framework/Dialog.h"

// How long a walk runs before its window shows.
constexpr DWORD OFFER_LISTING_SHOW_DELAY_MS = 1000;
extern const wchar_t* const OFFER_LISTING_TITLE;

class COfferListingDlg : public fw::Dialog {
public:
    // worker: the walk's thread; stop: asks the walk to end, from this thread.
    COfferListingDlg(HANDLE worker, std::function<void()> stop);

protected:
    BOOL OnInitDialog() override;
    void OnTimer(UINT_PTR id) override;
    void OnOK() override;
    void OnCancel() override;

private:
    HANDLE worker;
    std::function<void()> stop;
    bool stopping = false;
};

// Waits for the walk's thread: for OFFER_LISTING_SHOW_DELAY_MS answering only what other
// threads and processes send, then in the window, modal over owner when owner belongs to
// this thread. False when the user cancelled. The thread has ended either way.
bool WaitForOfferListing(HANDLE worker, HWND owner, const std::function<void()>& stop);
