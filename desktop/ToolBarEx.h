#pragma once
// The main toolbar: large images from one bitmap and a text label under each button.
#include <windows.h>

#include "framework/Controls.h"

class CToolBarEx : public fw::ToolBar {
public:
    // Gives every button the short name of its command (the text after the last "\n"
    // of the command's string) and makes all buttons as large as the largest one.
    bool SetupLabels(HINSTANCE instance);
    // Builds an image list from the toolbar bitmap and hands it to the toolbar with
    // message (TB_SETIMAGELIST, TB_SETHOTIMAGELIST or TB_SETDISABLEDIMAGELIST). The list
    // lives as long as this object.
    bool SetImages(HINSTANCE instance, UINT message);

private:
    fw::ImageList normalImages;
    fw::ImageList hotImages;
    fw::ImageList disabledImages;
};
