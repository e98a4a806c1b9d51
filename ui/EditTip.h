// A tooltip that shows the whole text of an edit, for a path longer than the
// box. While the edit is disabled it cannot be scrolled, and it gets no mouse
// messages either: its parent gets them, so the tip is tied to the edit's
// place in the parent as well as to the edit itself.
#pragma once

#include <windows.h>

class CEditTip {
public:
    CEditTip() = default;
    ~CEditTip();
    CEditTip(const CEditTip&) = delete;
    CEditTip& operator=(const CEditTip&) = delete;

    // Creates the tooltip for `edit`, showing its current text.
    void Attach(HWND edit);
    // Takes the edit's text again; nothing before Attach.
    void Update();

private:
    HWND m_hTip = nullptr;
    HWND m_hEdit = nullptr;
};
