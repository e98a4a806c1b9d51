// Plays the program for its help command: runs it once, as the Help button or
// F1 does, and ends. The help file and the manual are looked for beside this
// executable, so a test can put either there or leave it out.
#include "framework/WinApp.h"

namespace {

class HelpButtonApp : public CWinApp {
public:
    BOOL InitInstance() override {
        OnHelpFinder();
        return FALSE;
    }
};

}  // namespace

int main() {
    HelpButtonApp app;
    app.InitInstance();
    return 0;
}
