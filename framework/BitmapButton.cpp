#include "framework/BitmapButton.h"

#include <commctrl.h>

#include <string>

#include "framework/Dialog.h"

namespace {

const UINT_PTR kSubclassId = 1;
const wchar_t kOwnerProperty[] = L"Varnow.CBitmapButton";

UniqueBitmap LoadNamedBitmap(const std::wstring& name) {
    return UniqueBitmap(::LoadBitmapW(::GetModuleHandleW(nullptr), name.c_str()));
}

}  // namespace

CBitmapButton::~CBitmapButton() {
    if (m_hWnd) Release(m_hWnd);
}

void CBitmapButton::Release(HWND button) {
    ::RemovePropW(button, kOwnerProperty);
    ::RemoveWindowSubclass(button, SubclassProc, kSubclassId);
    m_hWnd = nullptr;
}

bool CBitmapButton::AutoLoad(UINT id, CDialog& parent) {
    m_hWnd = ::GetDlgItem(parent.m_hWnd, static_cast<int>(id));
    if (!m_hWnd) return false;
    ::SetPropW(m_hWnd, kOwnerProperty, this);
    ::SetWindowSubclass(m_hWnd, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));

    wchar_t caption[64] = L"";
    ::GetWindowTextW(m_hWnd, caption, 64);
    const std::wstring name = caption;
    // Without its normal picture the button stays bound but draws nothing.
    m_bitmap = LoadNamedBitmap(name + L"U");
    if (!m_bitmap) return false;
    m_bitmapSel = LoadNamedBitmap(name + L"D");
    m_bitmapFocus = LoadNamedBitmap(name + L"F");
    m_bitmapDisabled = LoadNamedBitmap(name + L"X");

    BITMAP info{};
    ::GetObjectW(m_bitmap.get(), sizeof info, &info);
    ::SetWindowPos(m_hWnd, nullptr, 0, 0, info.bmWidth, info.bmHeight,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    return true;
}

HBITMAP CBitmapButton::BitmapFor(UINT state) const {
    if ((state & ODS_SELECTED) && m_bitmapSel) return m_bitmapSel.get();
    if ((state & ODS_FOCUS) && m_bitmapFocus) return m_bitmapFocus.get();
    if ((state & ODS_DISABLED) && m_bitmapDisabled) return m_bitmapDisabled.get();
    return m_bitmap.get();
}

void CBitmapButton::DrawItem(const DRAWITEMSTRUCT& item) const {
    HBITMAP bitmap = BitmapFor(item.itemState);
    if (!bitmap) return;
    UniqueMemoryDc memory(::CreateCompatibleDC(item.hDC));
    if (!memory) return;
    SelectedObject selected(memory.get(), bitmap);
    const RECT& r = item.rcItem;
    ::BitBlt(item.hDC, r.left, r.top, r.right - r.left, r.bottom - r.top, memory.get(), 0, 0, SRCCOPY);
}

CBitmapButton* CBitmapButton::FromHandle(HWND button) {
    return static_cast<CBitmapButton*>(::GetPropW(button, kOwnerProperty));
}

// The window property marks the button as ours for WM_DRAWITEM; the subclass
// takes the mark off when the window goes before the object does.
LRESULT CALLBACK CBitmapButton::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                             UINT_PTR, DWORD_PTR data) {
    if (message == WM_NCDESTROY) reinterpret_cast<CBitmapButton*>(data)->Release(hwnd);
    return ::DefSubclassProc(hwnd, message, wParam, lParam);
}
