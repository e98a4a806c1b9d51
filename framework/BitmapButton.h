// An owner-drawn push button that shows one of up to four bitmaps, named
// after the button's caption with the suffix U (normal), D (pressed),
// F (focused) or X (disabled).
#pragma once

#include <windows.h>

#include "framework/Controls.h"
#include "framework/Handles.h"

class CDialog;

class CBitmapButton : public CButton {
public:
    ~CBitmapButton() override;

    // Binds the parent's button `id`, loads its bitmaps and sizes the button
    // to the normal bitmap. False when the button or its U bitmap is missing;
    // the button stays bound either way.
    bool AutoLoad(UINT id, CDialog& parent);
    void DrawItem(const DRAWITEMSTRUCT& item) const;

    // The bitmap button bound to `button`, if it is one.
    static CBitmapButton* FromHandle(HWND button);

private:
    static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                         UINT_PTR id, DWORD_PTR data);
    HBITMAP BitmapFor(UINT state) const;
    void Release(HWND button);

    UniqueBitmap m_bitmap;
    UniqueBitmap m_bitmapSel;
    UniqueBitmap m_bitmapFocus;
    UniqueBitmap m_bitmapDisabled;
};
