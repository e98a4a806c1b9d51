// Moves values between a dialog's controls and its members, in the direction
// the exchange carries. Failures are recorded, not thrown.
#pragma once

#include <string>

#include "framework/Controls.h"

class CDialog;

class CDataExchange {
public:
    CDataExchange(CDialog& dialog, bool save) : m_dialog(dialog), m_bSaveAndValidate(save) {}

    HWND Item(int id) const;
    void Fail() { m_bFailed = true; }
    bool Failed() const { return m_bFailed; }

    CDialog& m_dialog;
    const bool m_bSaveAndValidate;

private:
    bool m_bFailed = false;
};

// Binds `control` to the dialog's control `id` on the first exchange.
void DDX_Control(CDataExchange& dx, int id, CWnd& control);
// The control's text (W API) and a byte string in the ANSI code page. Loading
// rewrites the control only when its text differs, so an edit being typed in
// keeps its caret and selection.
void DDX_Text(CDataExchange& dx, int id, std::string& value);
// DDX_Text for a setting whose every character counts (a printer's name): a
// text the ANSI code page cannot spell is not saved, which
// `*unrepresentable` tells, and is not loaded over, so it stays as typed.
void DDX_ExactText(CDataExchange& dx, int id, std::string& value, bool* unrepresentable);
