// The program's icon in the notification area. It owns the shell record,
// shows the context menu for the window's run state and leaves the chosen
// command to the window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <string>

#include "framework/Controls.h"

class CTrayIcon {
public:
    CTrayIcon(UINT iconId, UINT tipId);
    virtual ~CTrayIcon();
    CTrayIcon(const CTrayIcon&) = delete;
    CTrayIcon& operator=(const CTrayIcon&) = delete;

    // Takes effect with the next shell call.
    void SetCallback(CWnd* window, UINT message);
    // 0 as icon removes the icon; 0 as tooltip keeps the tooltip.
    BOOL SetTrayIcon(UINT iconId, UINT tipId);
    // Adds, modifies or removes the icon; NULL removes it.
    BOOL SetTrayIcon(HICON icon);
    // Adds the shown icon again, for a shell that has restarted and lost it.
    BOOL AddAgain();
    // Names the profile section in the tooltip, unless it is the default one,
    // so that several copies can be told apart. Takes effect with the next
    // shell call.
    void SetSection(const std::string& sectionAnsi);
    // While a trouble stands the icon shows its warning variant and the
    // tooltip the trouble in a few words (ANSI code page); false brings back
    // the usual icon and tooltip. Changes a shown icon at once.
    BOOL ShowTrouble(bool trouble, const std::string& troubleAnsi);
    // 1 when the mouse report was acted on, 0 otherwise.
    virtual LRESULT HandleTrayMessage(WPARAM wParam, LPARAM lParam);

    NOTIFYICONDATAA m_nid;
    // The window's run state, written by the window just before each report.
    int32_t m_nMenuState = 0;

private:
    LRESULT ShowContextMenu();
    void LoadTip(UINT tipId);
    // szTip from the loaded text, the section and the trouble, cut to fit.
    void ComposeTip();

    std::string m_strTip;      // the tooltip string as loaded
    std::string m_strSection;  // empty for the default section
    std::string m_strTrouble;  // empty while all is well
};
