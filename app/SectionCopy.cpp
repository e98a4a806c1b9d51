#include "app/SectionCopy.h"

#include <sddl.h>
#include <wincrypt.h>

#include <cwchar>
#include <vector>

#include "framework/Text.h"

namespace {

struct CryptProviderTraits {
    using Type = HCRYPTPROV;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { ::CryptReleaseContext(h, 0); }
};

struct CryptHashTraits {
    using Type = HCRYPTHASH;
    static Type Invalid() { return 0; }
    static bool IsValid(Type h) { return h != 0; }
    static void Close(Type h) { ::CryptDestroyHash(h); }
};

struct MappedViewTraits {
    using Type = void*;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::UnmapViewOfFile(h); }
};

std::wstring UserSid() {
    UniqueHandle<KernelHandleTraits> token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return L"";
    DWORD size = 0;
    ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    if (size == 0 || !::GetTokenInformation(token.get(), TokenUser, user.data(), size, &size)) return L"";
    wchar_t* text = nullptr;
    if (!::ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &text)) return L"";
    std::wstring sid = text;
    ::LocalFree(text);
    return sid;
}

std::wstring Sha256Hex(const std::wstring& text) {
    UniqueHandle<CryptProviderTraits> provider;
    UniqueHandle<CryptHashTraits> hash;
    BYTE digest[32];
    DWORD length = sizeof digest;
    if (!::CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT) ||
        !::CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put()) ||
        !::CryptHashData(hash.get(), reinterpret_cast<const BYTE*>(text.data()),
                         static_cast<DWORD>(text.size() * sizeof(wchar_t)), 0) ||
        !::CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0)) {
        return L"";
    }
    static const wchar_t digits[] = L"0123456789abcdef";
    std::wstring hex;
    for (DWORD i = 0; i < length; ++i) {
        hex += digits[digest[i] >> 4];
        hex += digits[digest[i] & 15];
    }
    return hex;
}

// The other copy's main window: the one dialog of its process that has no owner.
struct MainWindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM param) {
    auto* search = reinterpret_cast<MainWindowSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    wchar_t className[8] = L"";
    if (process != search->process || ::GetWindow(window, GW_OWNER) ||
        !::GetClassNameW(window, className, 8) || std::wcscmp(className, L"#32770") != 0) {
        return TRUE;
    }
    search->found = window;
    return FALSE;
}

// Per user (the SID: other users' copies do not count) and per section, the
// section folded to upper case as the registry folds key names and hashed, so
// that any section (backslashes, any length) makes a valid name that no other
// section makes. The session's namespace is enough: a copy in another session
// could not be shown anyway.
std::wstring SectionCopyName(const std::string& section) {
    std::wstring folded = AnsiToWide(section);
    if (!folded.empty()) ::CharUpperBuffW(&folded[0], static_cast<DWORD>(folded.size()));
    const std::wstring hash = Sha256Hex(folded);
    return hash.empty() ? hash : L"Local\\Brenholt.Varnow." + UserSid() + L"." + hash;
}

}  // namespace

// The object is a small shared memory block that holds the process id of the
// copy that created it; it goes when that copy ends. Where it cannot be made,
// the copy runs: better two copies than none.
SectionCopy::SectionCopy(const std::string& section) {
    const std::wstring name = SectionCopyName(section);
    if (name.empty()) return;
    ::SetLastError(ERROR_SUCCESS);  // the one sign of which copy came first follows
    m_object.reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                        sizeof(LONG), name.c_str()));
    if (!m_object) return;
    const bool created = ::GetLastError() != ERROR_ALREADY_EXISTS;
    const UniqueHandle<MappedViewTraits> view(::MapViewOfFile(m_object.get(), FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    auto* process = static_cast<volatile LONG*>(view.get());
    if (created) {
        if (process) ::InterlockedExchange(process, static_cast<LONG>(::GetCurrentProcessId()));
        return;
    }
    m_bOnly = false;
    if (process) m_otherProcess = static_cast<DWORD>(::InterlockedCompareExchange(process, 0, 0));
}

// Only a window that is on screen is brought forward, with the About window or
// the file dialog it may have open.
void SectionCopy::ShowOtherCopy() const {
    if (m_otherProcess == 0) return;
    MainWindowSearch search{m_otherProcess, nullptr};
    ::EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found && ::IsWindowVisible(search.found)) {
        ::SetForegroundWindow(::GetLastActivePopup(search.found));
    }
}
