#pragma once
// The templates of the dialogs both programs share, and the few controls whose numbers
// differ between the desktop's templates and the handheld's. The classes are the same in
// both programs; each program names its own resources here once, at start-up, before any
// of these dialogs opens. Until then the desktop's are used.
#include <windows.h>

struct DialogResources {
    UINT transferProgress;
    UINT transferCount;
    UINT askReplace;
    UINT textPrompt;
    UINT textEdit;
    UINT properties;
    UINT siteManager;
    UINT siteTree;
    UINT siteProperties;
    UINT siteParent;
    UINT fileAttributes;
    UINT proxy;
    UINT find;
    UINT plainFtp;
    UINT certificate;
};

extern const DialogResources DESKTOP_DIALOG_RESOURCES;

const DialogResources& SharedDialogs();
void UseDialogResources(const DialogResources& resources);
