// Process entry: the application object does all the work.
#include <windows.h>
#include <commctrl.h>

#include "framework/WinApp.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);
    CWinApp::Current()->InitInstance();
    return 0;
}
