// The registry store behind the profile: HKCU\software\<maker>\<application>\<section>.
// <windows.h> first: it renames GetProfileInt and its kin to their A forms,
// and every user of the header sees them renamed the same way.
#include <windows.h>

#include "framework/RegistryProfile.h"

#include <vector>

#include "framework/Handles.h"

namespace {

UniqueRegKey CreateSubKey(const UniqueRegKey& parent, const std::string& name) {
    UniqueRegKey key;
    if (parent && RegCreateKeyExA(parent.get(), name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_READ | KEY_WRITE, nullptr, key.put(),
                                  nullptr) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return key;
}

// "software" must already be there; everything below it is created on the
// way, so even a read leaves the chain behind. A section with backslashes
// becomes nested keys, since RegCreateKeyExA creates every level of a path.
// The intermediate keys close as this returns, the section key stays open.
UniqueRegKey OpenSectionKey(const std::string& maker, const std::string& application,
                      const std::string& section) {
    UniqueRegKey software;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "software", 0, KEY_READ | KEY_WRITE, software.put()) !=
        ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    const UniqueRegKey makerKey = CreateSubKey(software, maker);
    const UniqueRegKey applicationKey = CreateSubKey(makerKey, application);
    return CreateSubKey(applicationKey, section);
}

bool IsPathSeparator(char c) { return c == '\\' || c == '/' || c == ':'; }

}  // namespace

int RegistryProfile::GetProfileInt(const std::string& section, const char* name,
                                   int defaultValue) const {
    const UniqueRegKey key = OpenSectionKey(m_maker, m_application, section);
    if (!key) return defaultValue;
    // Zeroed so that a value shorter than 4 bytes reads as a small number.
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    return static_cast<int>(value);
}

// The stored type is not checked, and a REG_SZ need not end in a zero, so the
// buffer gets one zero byte more than the value can fill and the text ends at
// its first zero.
std::string RegistryProfile::GetProfileString(const std::string& section, const char* name,
                                              const std::string& defaultValue) const {
    const UniqueRegKey key = OpenSectionKey(m_maker, m_application, section);
    if (!key) return defaultValue;
    DWORD size = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    std::vector<char> buffer(size + 1, '\0');
    if (RegQueryValueExA(key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer.data()),
                         &size) != ERROR_SUCCESS) {
        return defaultValue;
    }
    return std::string(buffer.data());
}

bool RegistryProfile::WriteProfileInt(const std::string& section, const char* name,
                                      int value) const {
    const UniqueRegKey key = OpenSectionKey(m_maker, m_application, section);
    const DWORD data = static_cast<DWORD>(value);
    return key && RegSetValueExA(key.get(), name, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&data),
                                 sizeof data) == ERROR_SUCCESS;
}

bool RegistryProfile::WriteProfileString(const std::string& section, const char* name,
                                         const std::string& value) const {
    const UniqueRegKey key = OpenSectionKey(m_maker, m_application, section);
    return key && RegSetValueExA(key.get(), name, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

UniqueRegKey RegistryProfile::OpenSection(const std::string& section) const {
    return OpenSectionKey(m_maker, m_application, section);
}

// Cut at the last '.', then keep what follows the last '\', '/' or ':'. The
// walk steps over double-byte characters, so the trail byte of a name such as
// 表 (0x95 0x5C) is not taken for a backslash.
std::string ApplicationKeyName() {
    char path[MAX_PATH + 1] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    const std::string module(path, length);

    size_t end = module.size();
    std::vector<size_t> separators;
    for (size_t i = 0; i < module.size(); ++i) {
        if (module[i] == '.') end = i;
        if (IsPathSeparator(module[i])) separators.push_back(i);
        if (IsDBCSLeadByte(static_cast<BYTE>(module[i])) && i + 1 < module.size()) ++i;
    }
    size_t begin = 0;
    for (size_t separator : separators) {
        if (separator < end) begin = separator + 1;
    }
    return module.substr(begin, end - begin);
}
