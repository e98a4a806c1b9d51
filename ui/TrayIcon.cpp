#include "ui/TrayIcon.h"

#include "framework/Handles.h"
#include "framework/Text.h"
#include "relay/RelayState.h"
#include "res/resource.h"

CTrayIcon::CTrayIcon(UINT iconId, UINT tipId) : m_nid{} {
    // The first form of the record, which every shell understands.
    m_nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    m_nid.uID = iconId;
    LoadTip(tipId);
}

CTrayIcon::~CTrayIcon() { SetTrayIcon(0u, 0u); }

namespace {

// The record is passed in its first, 88-byte form, whose tooltip holds 64
// bytes with the terminating zero, whatever size the headers give szTip.
constexpr int kFirstFormTipBytes = 64;

}  // namespace

void CTrayIcon::LoadTip(UINT tipId) {
    char tip[kFirstFormTipBytes] = "";
    if (::LoadStringA(::GetModuleHandleW(nullptr), tipId, tip, kFirstFormTipBytes) <= 0)
        tip[0] = '\0';
    m_strTip = tip;
    ComposeTip();
}

// "Varnow Ver1.3 - LABEL", and the trouble on a line of its own. A tooltip
// too long for the record loses its end, never half a double-byte character.
void CTrayIcon::ComposeTip() {
    std::string tip = m_strTip;
    if (!m_strSection.empty()) tip += " - " + m_strSection;
    if (!m_strTrouble.empty()) tip += (tip.empty() ? "" : "\n") + m_strTrouble;
    tip = CutAtByteLimit(tip, kFirstFormTipBytes - 1);
    tip.copy(m_nid.szTip, tip.size());
    m_nid.szTip[tip.size()] = '\0';
}

// Section names are registry key names, which ignore case.
void CTrayIcon::SetSection(const std::string& sectionAnsi) {
    m_strSection = ::lstrcmpiA(sectionAnsi.c_str(), "Varnow") == 0 ? std::string() : sectionAnsi;
    ComposeTip();
}

// An icon that is not shown is not added here; the tooltip waits for the
// next shell call.
BOOL CTrayIcon::ShowTrouble(bool trouble, const std::string& troubleAnsi) {
    m_strTrouble = trouble ? troubleAnsi : std::string();
    ComposeTip();
    if (!m_nid.hIcon) return TRUE;
    return SetTrayIcon(trouble ? IDI_TRAY_WARNING : IDI_TRAY, 0);
}

void CTrayIcon::SetCallback(CWnd* window, UINT message) {
    m_nid.hWnd = window ? window->m_hWnd : nullptr;
    m_nid.uCallbackMessage = message;
}

BOOL CTrayIcon::SetTrayIcon(UINT iconId, UINT tipId) {
    HICON icon = nullptr;
    // The notification area shows small icons: the picture drawn at that size
    // looks better than a large one the shell shrinks. Shared, like LoadIcon's,
    // so nobody destroys it.
    if (iconId != 0) {
        icon = static_cast<HICON>(::LoadImageW(
            ::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(LOWORD(iconId)), IMAGE_ICON,
            ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    }
    if (tipId != 0) LoadTip(tipId);
    return SetTrayIcon(icon);
}

// hIcon is the object's only record of whether the shell shows the icon.
BOOL CTrayIcon::SetTrayIcon(HICON icon) {
    m_nid.uFlags = 0;
    DWORD operation;
    if (icon) {
        operation = m_nid.hIcon ? NIM_MODIFY : NIM_ADD;
        m_nid.hIcon = icon;
        m_nid.uFlags = NIF_ICON;
    } else {
        if (!m_nid.hIcon) return TRUE;
        operation = NIM_DELETE;
    }
    if (m_nid.szTip[0] != '\0') m_nid.uFlags |= NIF_TIP;
    if (m_nid.uCallbackMessage != 0 && m_nid.hWnd) m_nid.uFlags |= NIF_MESSAGE;
    const BOOL result = ::Shell_NotifyIconA(operation, &m_nid);
    if (operation == NIM_DELETE || !result) m_nid.hIcon = nullptr;
    return result;
}

// The shell may still hold the icon (it also broadcasts TaskbarCreated when
// only its display changed), and adding an icon it holds fails: take it away
// first, whatever the shell says to that.
BOOL CTrayIcon::AddAgain() {
    HICON shown = m_nid.hIcon;
    if (!shown) return TRUE;
    m_nid.uFlags = 0;
    ::Shell_NotifyIconA(NIM_DELETE, &m_nid);
    m_nid.hIcon = nullptr;
    return SetTrayIcon(shown);
}

LRESULT CTrayIcon::HandleTrayMessage(WPARAM wParam, LPARAM lParam) {
    if (wParam != m_nid.uID) return 0;
    switch (lParam) {
    case WM_RBUTTONUP:
        return ShowContextMenu();
    case WM_LBUTTONUP:
        ::SetForegroundWindow(m_nid.hWnd);
        if (::IsIconic(m_nid.hWnd)) ::OpenIcon(m_nid.hWnd);
        ::ShowWindow(m_nid.hWnd, SW_SHOW);
        return 1;
    default:
        return 0;
    }
}

// The menu is loaded afresh for every click, so items pruned for one state
// never stay missing for the next.
LRESULT CTrayIcon::ShowContextMenu() {
    UniqueMenu menu(::LoadMenuW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nid.uID)));
    HMENU popup = menu ? ::GetSubMenu(menu.get(), 0) : nullptr;
    if (!popup) return 0;

    ::SetMenuDefaultItem(popup, 0, TRUE);
    ::DeleteMenu(popup, ::IsIconic(m_nid.hWnd) ? ID_TRAY_HIDE : ID_TRAY_SHOW, MF_BYCOMMAND);
    switch (m_nMenuState) {
    case Searching:
        ::DeleteMenu(popup, ID_SEARCH_START, MF_BYCOMMAND);
        ::DeleteMenu(popup, ID_OUTPUT_CANCEL, MF_BYCOMMAND);
        break;
    case Outputting:
        ::DeleteMenu(popup, ID_SEARCH_START, MF_BYCOMMAND);
        ::DeleteMenu(popup, ID_SEARCH_STOP, MF_BYCOMMAND);
        break;
    case Stopped:
        ::DeleteMenu(popup, ID_SEARCH_STOP, MF_BYCOMMAND);
        ::DeleteMenu(popup, ID_OUTPUT_CANCEL, MF_BYCOMMAND);
        break;
    default:
        break;
    }

    POINT cursor{};
    ::GetCursorPos(&cursor);
    // Without the foreground the menu would not close when the user clicks
    // elsewhere; the WM_NULL afterwards lets the next click open it again.
    ::SetForegroundWindow(m_nid.hWnd);
    ::TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, m_nid.hWnd, nullptr);
    ::PostMessageW(m_nid.hWnd, WM_NULL, 0, 0);
    return 1;
}
