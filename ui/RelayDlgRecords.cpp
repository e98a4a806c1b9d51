// What the window shows of the relay's state beyond the totals: the status
// line, the tray icon's warning, and the way to the job record's folder.
#include <windows.h>
// After <windows.h>, which it needs.
#include <shellapi.h>

#include "app/SectionName.h"
#include "framework/ComApartment.h"
#include "framework/Text.h"
#include "platform/RecordFiles.h"
#include "platform/TextCodec.h"
#include "res/resource.h"
#include "ui/RelayDlg.h"

// Only a changed text is set, so the line does not flicker on every tick.
void CRelayDlg::ShowStatus(const std::string& utf8) {
    const std::wstring text = Utf8ToWide(utf8.c_str());
    HWND status = ::GetDlgItem(m_hWnd, IDC_STATUS);
    const int length = ::GetWindowTextLengthW(status);
    std::wstring shown(static_cast<size_t>(length) + 1, L'\0');
    ::GetWindowTextW(status, &shown[0], length + 1);
    shown.resize(static_cast<size_t>(length));
    if (shown != text) ::SetWindowTextW(status, text.c_str());
}

// The tooltip is ANSI: a character the code page lacks shows as "|".
void CRelayDlg::ShowTrouble(bool trouble, const std::string& shortUtf8) {
    if (m_pTray) m_pTray->ShowTrouble(trouble, WideToAnsi(Utf8ToWide(shortUtf8.c_str())));
}

std::string CRelayDlg::RecordFolderPath() const {
    const std::string root = platform::RecordsRoot();
    if (root.empty()) return root;
    return root + platform::kPathSeparator +
           SectionFolderName(platform::AnsiToUtf8(m_engine.m_strProfile));
}

// The folder is made first, so the command works before the first job has
// been recorded. A folder that cannot be shown is passed over in silence.
void CRelayDlg::OpenRecordFolder() {
    const std::string folder = RecordFolderPath();
    if (folder.empty() || !platform::SystemRecordFiles().CreateFolder(folder)) return;
    const ComApartment apartment;
    ::ShellExecuteW(m_hWnd, L"open", Utf8ToWide(folder.c_str()).c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL);
}
