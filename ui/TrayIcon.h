// The program's icon in the notification area. It owns the shell record,
// shows the context menu for the window's run state and leaves the chosen
// command to the window.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <cstdint>

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
    // 1 when the mouse report was acted on, 0 otherwise.
    virtual LRESULT HandleTrayMessage(WPARAM wParam, LPARAM lParam);

    NOTIFYICONDATAA m_nid;
    // The window's run state, written by the window just before each report.
    int32_t m_nMenuState = 0;

private:
    LRESULT ShowContextMenu();
    void LoadTip(UINT tipId);
};
