// The application: loads the settings into the main window, runs it until
// the user exits and stores the settings again.
#pragma once

#include "framework/WinApp.h"

class RelayEngine;

class CRelayApp : public CWinApp {
public:
    BOOL InitInstance() override;

protected:
    AppCommandTable GetCommandTable() const override;

private:
    // Closes the record and writes the settings back to the section.
    void Store(RelayEngine& relay) const;
};
