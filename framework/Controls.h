// Thin wrappers over the child windows a dialog binds. They borrow their
// window: the dialog owns and destroys it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cassert>
#include <string>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    void EnableWindow(bool enable) { assert(m_hWnd); ::EnableWindow(m_hWnd, enable); }
    void ShowWindow(int command) { assert(m_hWnd); ::ShowWindow(m_hWnd, command); }
    void SetText(const std::wstring& text) { assert(m_hWnd); ::SetWindowTextW(m_hWnd, text.c_str()); }
    std::wstring GetText() const;

    HWND m_hWnd = nullptr;
};

class CEdit : public CWnd {};

class CButton : public CWnd {};

class CSliderCtrl : public CWnd {
public:
    void SetRange(int low, int high, bool redraw) {
        assert(m_hWnd);
        ::SendMessageW(m_hWnd, TBM_SETRANGE, redraw, MAKELPARAM(low, high));
    }
    void SetPos(int position) { assert(m_hWnd); ::SendMessageW(m_hWnd, TBM_SETPOS, TRUE, position); }
    int GetPos() const { assert(m_hWnd); return static_cast<int>(::SendMessageW(m_hWnd, TBM_GETPOS, 0, 0)); }
};
