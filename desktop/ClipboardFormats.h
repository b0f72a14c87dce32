#pragma once
// The clipboard formats that remote files leave the pane in, registered by name once at
// start-up. Local files come in as the shell's file-drop format (CF_HDROP).
#include <windows.h>

#include <objidl.h>

struct ClipboardFormats {
    CLIPFORMAT fileGroupDescriptor; // "FileGroupDescriptorW": the virtual files' descriptors
    CLIPFORMAT fileContents;        // "FileContents": one virtual file's bytes, by index
    CLIPFORMAT marker;              // "Orvid_CFM": marks a drag or copy from the pane
};

// The registered formats; the first call registers them.
const ClipboardFormats& RegisteredClipboardFormats();
