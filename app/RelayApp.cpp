#include "app/RelayApp.h"

#include <memory>

#include "app/SectionCopy.h"
#include "app/SectionName.h"
#include "framework/RegistryUndeletableStore.h"
#include "framework/Text.h"
#include "platform/TextCodec.h"
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
// before it opens and written once after it has ended, however it ended, or
// when Windows ends the session.
BOOL CRelayApp::InitInstance() {
    SetRegistryKey("Brenholt");
    const std::string section = DeriveSectionName(::GetCommandLineA(), platform::IsLeadByteSystem);
    // A second copy of the section leaves everything to the first, before it
    // reads a setting or opens the record.
    const SectionCopy copy(section);
    if (!copy.IsOnlyCopy()) {
        copy.ShowOtherCopy();
        return FALSE;
    }
    // Windows brings the same copy back after a crash, a hang or an update
    // restart; only the operator's exit withdraws this.
    ::RegisterApplicationRestart(AnsiToWide(section).c_str(), 0);

    CRelayDlg dlg;
    RelayEngine& relay = dlg.Engine();
    relay.m_strProfile = section;
    char folder[MAX_PATH] = "";
    const DWORD length = ::GetCurrentDirectoryA(MAX_PATH, folder);
    relay.m_strFolder.assign(folder, length < MAX_PATH ? length : 0);

    relay.m_bIconic = GetProfileInt(section, "Iconic", 0);
    // No folder can be called "*": read back, it says the section has none yet.
    const std::string findpos = GetProfileString(section, "Findpos", "*");
    if (findpos == "*") {
        relay.m_strUnsetFolder = relay.m_strFolder;
    } else {
        relay.m_strFolder = findpos;
    }
    relay.m_strOutput = GetProfileString(section, "Output", "LPT1");
    relay.m_strFooter = GetProfileString(section, "Footer", "");
    relay.m_strHeader = GetProfileString(section, "Header", "");
    relay.m_strTarget = GetProfileString(section, "Target", "*.GLF");
    relay.m_strWaiting = GetProfileString(section, "Waiting", ".OFI");
    relay.m_nPriority = GetProfileInt(section, "Priority", 3);
    relay.m_bRecord = GetProfileInt(section, "Record", 1);
    relay.m_nRecordDays = static_cast<uint32_t>(GetProfileInt(section, "RecordDays", 90));
    // The jobs an earlier run could not delete are remembered beside the
    // section's settings; only now is the section known.
    if (const RegistryProfile* profile = Profile()) {
        relay.KeepUndeletableJobsIn(std::make_unique<RegistryUndeletableStore>(*profile, section));
    }
    relay.KeepRecordIn(platform::AnsiToUtf8, dlg.RecordFolderPath());

    dlg.StoreAtSessionEnd([this, &relay] { Store(relay); });
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    Store(relay);
    // A worker blocked for good still points into the window: the process
    // ends here, before the window and the engine are torn down.
    if (relay.WorkerAbandoned()) ::ExitProcess(0);
    return FALSE;
}

void CRelayApp::Store(RelayEngine& relay) const {
    relay.CloseRecord();
    const std::string& section = relay.m_strProfile;
    WriteProfileInt(section, "Iconic", relay.m_bIconic);
    WriteProfileString(section, "Findpos", relay.m_strFolder);
    WriteProfileString(section, "Output", relay.m_strOutput);
    WriteProfileString(section, "Footer", relay.m_strFooter);
    WriteProfileString(section, "Header", relay.m_strHeader);
    WriteProfileString(section, "Target", relay.m_strTarget);
    WriteProfileString(section, "Waiting", relay.m_strWaiting);
    WriteProfileInt(section, "Priority", relay.m_nPriority);
    WriteProfileInt(section, "Record", relay.m_bRecord);
    WriteProfileInt(section, "RecordDays", static_cast<int>(relay.m_nRecordDays));
}
