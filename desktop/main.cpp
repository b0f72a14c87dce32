#include <windows.h>

#include "OrvidApp.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    COrvidApp app;
    return app.Main(instance, showCommand);
}
