#pragma once
// The desktop program's document: the programs' shared document, with the status bar's
// count panes and the pane's connected state.
#include "program/ProgramDoc.h"

class COrvidView;

class COrvidDoc : public ProgramDoc {
public:
    // Logs off a connection that is still open.
    ~COrvidDoc() override;

private:
    void OnLoggedOff() override;
    bool ShowListing() override;
    void ClearListing() override;
    void OnDisconnected() override;
};
