// What the run-state logic needs of the window it drives. The Win32 window
// implements it; tests implement it with a recording fake.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

// The controls the run states switch, in the order every transition switches them.
enum class SettingControl {
    Folder, Waiting, Target, Output, Header, Footer, Priority,  // enabled/disabled
    BrowseFooter, BrowseHeader, BrowseFolder, Exit,           // shown/hidden
    OutputMenu,  // enabled/disabled with Output, right after it
};

// What happens off the interface thread that the engine must hear of at once.
enum class RelayEvent : unsigned { WorkerEnded, FolderChanged };

struct WindowRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
};

class RelayView {
public:
    virtual ~RelayView() = default;
    virtual void EnableControl(SettingControl control, bool enable) = 0;
    virtual void ShowControl(SettingControl control, bool show) = 0;
    virtual void EnableRunButton(bool enable) = 0;
    virtual void SetRunButtonCaption(const char* utf8) = 0;
    virtual void SetTimer(unsigned id, unsigned elapseMs) = 0;
    virtual void KillTimer(unsigned id) = 0;
    virtual int ReadSliderPosition() = 0;
    // Data exchange: fields into members (save) or members into fields (load).
    virtual void SaveFields() = 0;
    virtual void LoadFields() = 0;
    virtual bool IsMinimized() = 0;
    virtual void HideWindow() = 0;
    virtual void ShowWindow() = 0;
    virtual void MinimizeWindow() = 0;
    virtual void MoveWindowTo(const WindowRect& rect) = 0;
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;
    // Keeps the window alive (repainting, timers) while polling `done` every
    // `pollMs` until it returns true.
    virtual void WaitUntil(const std::function<bool()>& done, unsigned pollMs) = 0;
    // The status line under the totals: the trouble that stands, or else the
    // last job relayed. UTF-8, one line that a glance can take in.
    virtual void ShowStatus(const std::string& utf8) = 0;
    // While `trouble` holds, the tray icon shows its warning variant and its
    // tooltip the few words of `shortUtf8`; false brings the usual icon back.
    virtual void ShowTrouble(bool trouble, const std::string& shortUtf8) = 0;
    // The operator ends the program: Windows is not to start it again.
    virtual void WithdrawRestart() = 0;
    // Removes the tray icon and ends the modal run of the window.
    virtual void RemoveTrayIcon() = 0;
    virtual void EndDialog() = 0;
    // A callable that hands `event` to the engine's OnEvent on the interface
    // thread, later (the window posts itself a message). Safe to call from any
    // thread, and harmless once the window is gone.
    virtual std::function<void()> EventPoster(RelayEvent event) = 0;
};
