#include "framework/FileDialog.h"

#include <commdlg.h>

#include <algorithm>

#include "framework/Text.h"

CFileDialog::CFileDialog(const wchar_t* title, const std::string& initialName,
                         const wchar_t* defaultExtension, const wchar_t* filter)
    : m_title(title), m_defaultExtension(defaultExtension), m_filter(filter), m_fileName{} {
    std::replace(m_filter.begin(), m_filter.end(), L'|', L'\0');
    // The name buffer holds MAX_PATH bytes in the ANSI code page.
    const std::wstring name = AnsiToWide(CutAtByteLimit(initialName, MAX_PATH - 1));
    name.copy(m_fileName, std::min<std::size_t>(name.size(), MAX_PATH - 1));
}

INT_PTR CFileDialog::DoModal(HWND owner) {
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = m_filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = m_fileName;
    ofn.nMaxFile = MAX_PATH;
    ofn.lpstrTitle = m_title.c_str();
    ofn.lpstrDefExt = m_defaultExtension.empty() ? nullptr : m_defaultExtension.c_str();
    ofn.Flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_LONGNAMES | OFN_EXPLORER | OFN_ENABLESIZING;
    if (!::GetOpenFileNameW(&ofn)) return IDCANCEL;
    m_strPathName = WideToAnsi(m_fileName);
    return IDOK;
}
