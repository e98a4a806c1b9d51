// The application object: start-up entry, settings storage and the commands
// that no window handles (the help command).
#pragma once

#include <windows.h>

#include <cstddef>
#include <optional>
#include <string>

#include "framework/Controls.h"
#include "framework/RegistryProfile.h"
#include "framework/WaitCursor.h"

// The framework's help command; the Help button carries this identifier.
enum : UINT { ID_HELP = 57670 };

class CWinApp;

// One command binding of the application's table.
struct AppCommandEntry {
    UINT id;
    void (CWinApp::*handler)();
};

struct AppCommandTable {
    const AppCommandEntry* entries;
    std::size_t count;
};

class CWinApp {
public:
    CWinApp();
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The one application object of the process.
    static CWinApp* Current();

    // Returns FALSE to end the process without a message loop of its own.
    virtual BOOL InitInstance() = 0;

    // Keeps the profile in HKCU\software\<maker>\<application name>.
    void SetRegistryKey(const char* maker);
    int GetProfileInt(const std::string& section, const char* name, int defaultValue) const;
    std::string GetProfileString(const std::string& section, const char* name,
                                 const std::string& defaultValue) const;
    bool WriteProfileInt(const std::string& section, const char* name, int value) const;
    bool WriteProfileString(const std::string& section, const char* name,
                            const std::string& value) const;
    // The registry store chosen by SetRegistryKey; null before.
    const RegistryProfile* Profile() const { return m_profile ? &*m_profile : nullptr; }

    // Runs a command the windows passed on; false when nothing handles it.
    bool RouteCommand(UINT id);
    bool HandlesCommand(UINT id) const;

    void OnHelpFinder();
    // The executable's path with its extension replaced by ".HLP".
    const std::string& HelpFilePath() const { return m_strHelpFilePath; }
    const std::string& AppName() const { return m_strAppName; }

    void BeginWaitCursor() { m_waitCursor.Begin(); }
    void EndWaitCursor() { m_waitCursor.End(); }
    const WaitCursor& Cursor() const { return m_waitCursor; }

    CWnd* m_pMainWnd = nullptr;

protected:
    virtual AppCommandTable GetCommandTable() const { return {nullptr, 0}; }

private:
    std::string m_strAppName;
    std::string m_strHelpFilePath;
    std::optional<RegistryProfile> m_profile;
    WaitCursor m_waitCursor;
};
