#include <windows.h>

#include "OrletApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    COrletApp app;
    return app.Main(instance, showCommand);
}
