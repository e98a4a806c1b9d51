// The Open dialog for one existing file, shown with the W API so its texts
// read right whatever the code page; the path comes back as an ANSI string.
#pragma once

#include <windows.h>

#include <string>

class CFileDialog {
public:
    // `filter` pairs display texts and patterns with "|", ending in "||".
    CFileDialog(const wchar_t* title, const std::string& initialName, const wchar_t* defaultExtension,
                const wchar_t* filter);

    INT_PTR DoModal(HWND owner);
    const std::string& GetPathName() const { return m_strPathName; }

private:
    std::wstring m_title;
    std::wstring m_defaultExtension;
    std::wstring m_filter;  // "|" already turned into the zero separators
    wchar_t m_fileName[MAX_PATH];
    std::string m_strPathName;
};
