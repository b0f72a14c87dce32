#pragma once
// The handheld program's document: the programs' shared document, with the platform's
// request for an Internet connection and the local browsing state.
#include "program/ProgramDoc.h"
#include "shell/LocalBrowser.h"

class COrletDoc : public ProgramDoc {
public:
    LocalBrowser& Local() noexcept { return local; }

    // Logs off a live connection and empties the remote list.
    void PrepareConnect() override;

private:
    // The Site Manager asks the platform for an Internet connection before it logs on.
    void PrepareSiteManager(CSiteManager& manager) override;
    bool ShowListing() override;
    void ClearListing() override;

    LocalBrowser local;
};
