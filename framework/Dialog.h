// Modal dialogs run from a template. Each dialog class lists its message
// bindings in one static table; the base walks it, routes commands to
// OnCommand/OnOK/OnCancel and passes what nobody handles on to the dialog
// manager's default processing.
#pragma once

#include <windows.h>

#include <cstddef>

#include "framework/Controls.h"

class CDialog;
class CDataExchange;

using MessageHandler = LRESULT (CDialog::*)(WPARAM, LPARAM);
using CommandHandler = void (CDialog::*)();

// One binding: a window message with its handler, or a control notification
// (WM_COMMAND with a notification code and control id) with its handler.
struct MessageEntry {
    UINT message;
    UINT code;
    UINT id;
    MessageHandler onMessage;
    CommandHandler onCommand;
};

struct MessageTable {
    const MessageEntry* entries;
    std::size_t count;
};

template <typename Dialog>
MessageEntry BindMessage(UINT message, LRESULT (Dialog::*handler)(WPARAM, LPARAM)) {
    return {message, 0, 0, static_cast<MessageHandler>(handler), nullptr};
}

template <typename Dialog>
MessageEntry BindCommand(UINT code, UINT id, void (Dialog::*handler)()) {
    return {WM_COMMAND, code, id, nullptr, static_cast<CommandHandler>(handler)};
}

template <std::size_t N>
MessageTable MakeTable(const MessageEntry (&entries)[N]) {
    return {entries, N};
}

class CDialog : public CWnd {
public:
    CDialog(UINT templateId, CWnd* parent);

    INT_PTR DoModal();
    void EndDialog(int result);
    // Runs the data exchange: save (true) reads the controls into the
    // members, load (false) writes the members into the controls.
    bool UpdateData(bool save);

protected:
    virtual MessageTable GetMessageTable() const { return {nullptr, 0}; }
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    // Every WM_COMMAND comes here first; returns whether something handled it.
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);
    virtual void DoDataExchange(CDataExchange& dx);

    // The dialog manager's own processing of the message being handled.
    LRESULT Default();

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    bool Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool DispatchFromTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    bool RouteCommandFromTable(UINT code, UINT id);
    bool OnDrawItem(LPARAM lParam);
    void OnHelpRequest();

    UINT m_nIDTemplate;
    CWnd* m_pParent;
    // The message Default() hands to DefDlgProcW, which calls DialogProc with
    // it first: that call must answer FALSE so the default processing runs.
    bool m_bDefaultPending = false;
    UINT m_currentMessage = 0;
    WPARAM m_currentWParam = 0;
    LPARAM m_currentLParam = 0;
};
