#include "shell/DialogResources.h"

#include "SharedResource.h"

const DialogResources DESKTOP_DIALOG_RESOURCES = {
    IDD_TRANSFER_PROGRESS, IDC_TRANSFER_COUNT, IDD_ASK_REPLACE, IDD_TEXT_PROMPT,     IDC_TEXT_EDIT,
    IDD_PROPERTIES,        IDD_SITE_MANAGER,   IDC_SITE_TREE,   IDD_SITE_PROPERTIES, IDC_SITE_PARENT,
    IDD_FILE_ATTRIBUTES,   IDD_PROXY,          IDD_FIND,        IDD_PLAIN_FTP,       IDD_CERTIFICATE,
};

namespace {

// Set once by the program's start-up on the user-interface thread, read by the dialogs.
DialogResources current = DESKTOP_DIALOG_RESOURCES;

} // namespace

const DialogResources& SharedDialogs() { return current; }

void UseDialogResources(const DialogResources& resources) { current = resources; }
