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
// The line has room for two lines; one that does not fit on the first is
// broken where Japanese allows, never inside a word as the control would.
void CRelayDlg::ShowStatus(const std::string& utf8) {
    HWND status = ::GetDlgItem(m_hWnd, IDC_STATUS);
    RECT area{};
    ::GetClientRect(status, &area);
    std::string lines = utf8;
    if (HDC dc = ::GetDC(status)) {
        const HGDIOBJ previous = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(status, WM_GETFONT, 0, 0)));
        const size_t second = SecondLineStart(utf8, [&](const std::string& line) {
            const std::wstring wide = Utf8ToWide(line.c_str());
            SIZE size{};
            return ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size) &&
                   size.cx <= area.right - area.left;
        });
        if (second > 0) lines = utf8.substr(0, second) + "\r\n" + utf8.substr(second);
        ::SelectObject(dc, previous);
        ::ReleaseDC(status, dc);
    }
    const std::wstring text = Utf8ToWide(lines.c_str());
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
