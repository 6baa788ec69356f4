// InstallerApp: the application object, which exists to run the installer window once.
#include <windows.h>

#include "ui/dialog_win.h"
#include "ui/dll_search_win.h"

class InstallerApp {
public:
    // Runs the dialog modally and returns false: there is no message loop left to run afterwards.
    BOOL InitInstance();
};

BOOL InstallerApp::InitInstance() {
    InstallerDialog dialog(nullptr);
    dialog.DoModal();
    return FALSE;
}

static InstallerApp g_app;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // First of all: the installer runs elevated from wherever it was downloaded, next to whatever else was.
    restrict_dll_search();
    g_app.InitInstance();
    return 0;
}
