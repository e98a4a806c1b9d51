#include "framework/DataExchange.h"

#include "framework/Dialog.h"
#include "framework/Text.h"

namespace {

std::wstring WindowText(HWND window) {
    int length = ::GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    length = ::GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length > 0 ? length : 0));
    return text;
}

}  // namespace

std::wstring CWnd::GetText() const {
    assert(m_hWnd);
    return WindowText(m_hWnd);
}

HWND CDataExchange::Item(int id) const { return ::GetDlgItem(m_dialog.m_hWnd, id); }

void DDX_Control(CDataExchange& dx, int id, CWnd& control) {
    if (control.m_hWnd) return;
    control.m_hWnd = dx.Item(id);
    if (!control.m_hWnd) dx.Fail();
}

void DDX_Text(CDataExchange& dx, int id, std::string& value) {
    HWND item = dx.Item(id);
    if (!item) {
        dx.Fail();
        return;
    }
    if (dx.m_bSaveAndValidate) {
        std::string text = WideToAnsi(WindowText(item));
        if (text != value) value = std::move(text);
        return;
    }
    const std::wstring wanted = AnsiToWide(value);
    if (WindowText(item) != wanted) ::SetWindowTextW(item, wanted.c_str());
}

void DDX_ExactText(CDataExchange& dx, int id, std::string& value, bool* unrepresentable) {
    HWND item = dx.Item(id);
    if (!item) {
        dx.Fail();
        return;
    }
    if (dx.m_bSaveAndValidate) {
        *unrepresentable = !SpellsInAnsi(WindowText(item));
        if (!*unrepresentable) DDX_Text(dx, id, value);
        return;
    }
    if (!*unrepresentable) DDX_Text(dx, id, value);
}
