#include "ui/EditTip.h"

#include <commctrl.h>

#include <string>

namespace {

// The tool tied to the edit's place in its parent.
constexpr UINT_PTR kAreaTool = 1;

TOOLINFOW Tool(HWND edit, bool area) {
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_SUBCLASS | (area ? 0 : TTF_IDISHWND);
    tool.hwnd = ::GetParent(edit);
    tool.uId = area ? kAreaTool : reinterpret_cast<UINT_PTR>(edit);
    if (area) {
        ::GetWindowRect(edit, &tool.rect);
        ::MapWindowPoints(nullptr, tool.hwnd, reinterpret_cast<POINT*>(&tool.rect), 2);
    }
    return tool;
}

}  // namespace

CEditTip::~CEditTip() {
    if (m_hTip && ::IsWindow(m_hTip)) ::DestroyWindow(m_hTip);
}

void CEditTip::Attach(HWND edit) {
    m_hTip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                               WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, ::GetParent(edit),
                               nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!m_hTip) return;
    m_hEdit = edit;
    // A long path wraps instead of running off the screen.
    ::SendMessageW(m_hTip, TTM_SETMAXTIPWIDTH, 0, 480);
    for (const bool area : {false, true}) {
        TOOLINFOW tool = Tool(edit, area);
        tool.lpszText = const_cast<wchar_t*>(L"");
        ::SendMessageW(m_hTip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
    Update();
}

void CEditTip::Update() {
    if (!m_hTip) return;
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(m_hEdit)) + 1, L'\0');
    text.resize(static_cast<size_t>(::GetWindowTextW(m_hEdit, &text[0], static_cast<int>(text.size()))));
    for (const bool area : {false, true}) {
        TOOLINFOW tool = Tool(m_hEdit, area);
        tool.lpszText = &text[0];
        ::SendMessageW(m_hTip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}
