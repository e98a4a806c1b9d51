#include "app/RelayApp.h"

#include <memory>

#include "app/SectionName.h"
#include "framework/RegistryUndeletableStore.h"
#include "ui/RelayDlg.h"

namespace {

CRelayApp theApp;

}  // namespace

AppCommandTable CRelayApp::GetCommandTable() const {
    static const AppCommandEntry entries[] = {
        {ID_HELP, &CWinApp::OnHelpFinder},
    };
    return {entries, sizeof entries / sizeof entries[0]};
}

// The window is the process's only message loop. The settings are read once
// before it opens and written once after it has ended, however it ended.
BOOL CRelayApp::InitInstance() {
    SetRegistryKey("Brenholt");
    CRelayDlg dlg;
    dlg.m_strProfile = DeriveSectionName(::GetCommandLineA(), platform::IsLeadByteSystem);
    char folder[MAX_PATH] = "";
    const DWORD length = ::GetCurrentDirectoryA(MAX_PATH, folder);
    dlg.m_strFolder.assign(folder, length < MAX_PATH ? length : 0);

    const std::string& section = dlg.m_strProfile;
    dlg.m_bIconic = GetProfileInt(section, "Iconic", 0);
    dlg.m_strFolder = GetProfileString(section, "Findpos", dlg.m_strFolder);
    dlg.m_strOutput = GetProfileString(section, "Output", "LPT1");
    dlg.m_strFooter = GetProfileString(section, "Footer", "");
    dlg.m_strHeader = GetProfileString(section, "Header", "");
    dlg.m_strTarget = GetProfileString(section, "Target", "*.GLF");
    dlg.m_strWaiting = GetProfileString(section, "Waiting", ".OFI");
    dlg.m_nPriority = GetProfileInt(section, "Priority", 3);
    // The jobs an earlier run could not delete are remembered beside the
    // section's settings; only now is the section known.
    if (const RegistryProfile* profile = Profile()) {
        dlg.KeepUndeletableJobsIn(std::make_unique<RegistryUndeletableStore>(*profile, section));
    }

    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;

    WriteProfileInt(section, "Iconic", dlg.m_bIconic);
    WriteProfileString(section, "Findpos", dlg.m_strFolder);
    WriteProfileString(section, "Output", dlg.m_strOutput);
    WriteProfileString(section, "Footer", dlg.m_strFooter);
    WriteProfileString(section, "Header", dlg.m_strHeader);
    WriteProfileString(section, "Target", dlg.m_strTarget);
    WriteProfileString(section, "Waiting", dlg.m_strWaiting);
    WriteProfileInt(section, "Priority", dlg.m_nPriority);
    return FALSE;
}
