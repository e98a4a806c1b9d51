// The main window: the settings, the totals and the run button, hidden in the
// notification area while minimised. The window owns the relay engine, which
// holds the state and the run-state logic, forwards the user's commands and
// its timers to it, and is the view the engine drives.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "framework/BitmapButton.h"
#include "framework/Controls.h"
#include "framework/Dialog.h"
#include "framework/Handles.h"
#include "relay/RelayEngine.h"
#include "relay/RelayView.h"
#include "ui/EditTip.h"
#include "ui/TrayIcon.h"

// The shell's mouse reports on the tray icon. It shares its value with
// DM_GETDEFID, which therefore has to reach the dialog manager unchanged.
enum : UINT { WM_TRAY_CALLBACK = WM_USER };
// The engine's events from other threads (the worker's end, the folder's
// changes), posted to the window; wParam is the RelayEvent.
enum : UINT { WM_RELAY_EVENT = WM_APP + 1 };

class CRelayDlg : public CDialog, public RelayView {
public:
    explicit CRelayDlg(CWnd* parent = nullptr);

    // The settings and totals live in the engine; start-up fills the settings
    // before the window opens and takes them back after it has ended.
    RelayEngine& Engine() { return m_engine; }
    const RelayEngine& Engine() const { return m_engine; }
    // The section's record folder (UTF-8), empty when there is no place for it.
    std::string RecordFolderPath() const;
    // Stores what start-up stores after the window has ended. Windows may end
    // the process as soon as the session's end has been announced, before
    // the window has ended, so this runs then.
    void StoreAtSessionEnd(std::function<void()> store) { m_storeAtSessionEnd = std::move(store); }

    CEdit m_editFolder;
    CSliderCtrl m_sliderPriority;
    CEdit m_editWaiting;
    CEdit m_editTarget;
    CEdit m_editOutput;
    CEdit m_editHeader;
    CEdit m_editFooter;
    CButton m_btnExit;
    CButton m_btnRun;
    CButton m_btnOutputMenu;
    CEditTip m_folderTip;
    CBitmapButton m_btnBrowseFolder;
    CBitmapButton m_btnBrowseHeader;
    CBitmapButton m_btnBrowseFooter;
    std::unique_ptr<CTrayIcon> m_pTray;
    UniqueIcon m_hIcon;
    UniqueIcon m_hSmallIcon;

protected:
    MessageTable GetMessageTable() const override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override { m_engine.OnOK(); }
    void OnCancel() override { m_engine.OnCancel(); }

private:
    // Message handlers.
    LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
    LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
    LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
    LRESULT OnSize(WPARAM wParam, LPARAM lParam);
    LRESULT OnTrayCallback(WPARAM wParam, LPARAM lParam);
    LRESULT OnTaskbarCreated(WPARAM wParam, LPARAM lParam);
    LRESULT OnWindowPosChanging(WPARAM wParam, LPARAM lParam);
    LRESULT OnQueryOpen(WPARAM wParam, LPARAM lParam);
    LRESULT OnRelayEvent(WPARAM wParam, LPARAM lParam);
    LRESULT OnEndSession(WPARAM wParam, LPARAM lParam);
    void OnBrowseHeader();
    void OnBrowseFooter();
    void OnBrowseFolder();
    void OnOutputMenu();
    void OnFolderChanged() { m_folderTip.Update(); }
    void OnOutputChanged();
    static int CALLBACK BrowseFolderCallback(HWND browser, UINT code, LPARAM param, LPARAM data);

    void SetUpSystemMenu();
    void CentreOnWorkArea();
    void ShowAbout();
    void BringBack();
    void BrowseFile(const wchar_t* title, std::string& path);
    void OpenRecordFolder();

    // RelayView: the engine's hold on the window.
    void EnableControl(SettingControl control, bool enable) override;
    void ShowControl(SettingControl control, bool show) override;
    void EnableRunButton(bool enable) override;
    void SetRunButtonCaption(const char* utf8) override;
    void SetTimer(unsigned id, unsigned elapseMs) override;
    void KillTimer(unsigned id) override;
    int ReadSliderPosition() override;
    void SaveFields() override;
    void LoadFields() override;
    bool IsMinimized() override;
    void HideWindow() override;
    void ShowWindow() override;
    void MinimizeWindow() override;
    void MoveWindowTo(const WindowRect& rect) override;
    void BeginWaitCursor() override;
    void EndWaitCursor() override;
    void WaitUntil(const std::function<bool()>& done, unsigned pollMs) override;
    void ShowStatus(const std::string& utf8) override;
    void ShowTrouble(bool trouble, const std::string& shortUtf8) override;
    void WithdrawRestart() override;
    void RemoveTrayIcon() override;
    void EndDialog() override;
    std::function<void()> EventPoster(RelayEvent event) override;
    CWnd& Control(SettingControl control);
    void MoveFocusFrom(HWND control);

    RelayEngine m_engine;
    std::function<void()> m_storeAtSessionEnd;

    // Set by a start minimised: the dialog manager shows a modal dialog once
    // its queue first goes idle, which may come after the first display tick
    // has hidden the window. Until the user brings the window back, every
    // attempt to show or restore it is refused.
    bool m_bHoldHidden = false;
    // Where the focus went when the run button was disabled while holding it.
    HWND m_hFocusLent = nullptr;
};
