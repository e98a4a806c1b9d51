#include "framework/Text.h"

namespace {

std::wstring ToWide(UINT codePage, const char* text, int length) {
    if (length == 0) return {};
    int needed = ::MultiByteToWideChar(codePage, 0, text, length, nullptr, 0);
    if (needed <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    ::MultiByteToWideChar(codePage, 0, text, length, wide.data(), needed);
    return wide;
}

}  // namespace

std::wstring Utf8ToWide(const char* utf8) {
    return ToWide(CP_UTF8, utf8, static_cast<int>(std::char_traits<char>::length(utf8)));
}

std::wstring AnsiToWide(const std::string& ansi) {
    return ToWide(CP_ACP, ansi.data(), static_cast<int>(ansi.size()));
}

// A character the code page cannot hold must not turn into a wildcard or a
// look-alike letter ("?" or best fit "e" for "\u00e9"), or a typed pattern
// would match, and delete, other files. "|" is neither a wildcard of
// FindFirstFileA nor allowed in a Windows file name, so such a pattern or path
// matches and opens nothing. A UTF-8 code page holds every character and
// refuses both the flag and a default character.
std::string WideToAnsi(const std::wstring& wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const bool holdsAll = ::GetACP() == CP_UTF8;
    const DWORD flags = holdsAll ? 0 : WC_NO_BEST_FIT_CHARS;
    const char* unrepresentable = holdsAll ? nullptr : "|";
    int needed = ::WideCharToMultiByte(CP_ACP, flags, wide.data(), length, nullptr, 0,
                                       unrepresentable, nullptr);
    if (needed <= 0) return {};
    std::string ansi(static_cast<std::size_t>(needed), '\0');
    ::WideCharToMultiByte(CP_ACP, flags, wide.data(), length, ansi.data(), needed, unrepresentable,
                          nullptr);
    return ansi;
}

bool SpellsInAnsi(const std::wstring& wide) { return AnsiToWide(WideToAnsi(wide)) == wide; }

std::string CutAtByteLimit(const std::string& text, std::size_t limit) {
    std::size_t end = 0;
    while (end < text.size()) {
        const bool lead = ::IsDBCSLeadByte(static_cast<BYTE>(text[end])) && end + 1 < text.size();
        const std::size_t step = lead ? 2 : 1;
        if (end + step > limit) break;
        end += step;
    }
    return text.substr(0, end);
}

std::wstring LoadResourceString(UINT id) {
    // With a zero buffer size LoadStringW hands out a pointer into the
    // resource itself, so strings of any length come back whole.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(::GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return {};
    return std::wstring(text, static_cast<std::size_t>(length));
}
