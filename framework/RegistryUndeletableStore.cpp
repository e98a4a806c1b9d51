#include "framework/RegistryUndeletableStore.h"

namespace {

const char kSubkey[] = "Undeletable";

// Opened, never created: a section without stuck jobs has no such subkey.
UniqueRegKey OpenSubkey(const UniqueRegKey& section, REGSAM access) {
    UniqueRegKey key;
    if (!section || RegOpenKeyExA(section.get(), kSubkey, 0, access, key.put()) != ERROR_SUCCESS) {
        return UniqueRegKey();
    }
    return key;
}

bool CountValues(const UniqueRegKey& key, DWORD* count, DWORD* maxName, DWORD* maxData) {
    return RegQueryInfoKeyA(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, count,
                            maxName, maxData, nullptr, nullptr) == ERROR_SUCCESS;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> RegistryUndeletableStore::ReadAll() {
    std::vector<std::pair<std::string, std::string>> values;
    const UniqueRegKey key = OpenSubkey(m_profile.OpenSection(m_section), KEY_READ);
    DWORD count = 0, maxName = 0, maxData = 0;
    if (!key || !CountValues(key, &count, &maxName, &maxData)) return values;
    // The longest name is counted in characters, each of which may take two
    // bytes in the ANSI code page.
    std::vector<char> name(2 * maxName + 1), data(maxData + 1);
    for (DWORD index = 0; index < count; ++index) {
        DWORD nameSize = static_cast<DWORD>(name.size());
        DWORD dataSize = maxData;
        if (RegEnumValueA(key.get(), index, name.data(), &nameSize, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(data.data()), &dataSize) != ERROR_SUCCESS) {
            continue;
        }
        data[dataSize] = '\0';
        values.emplace_back(std::string(name.data(), nameSize), std::string(data.data()));
    }
    return values;
}

void RegistryUndeletableStore::Write(const std::string& name, const std::string& text) {
    const UniqueRegKey section = m_profile.OpenSection(m_section);
    UniqueRegKey key;
    if (!section || RegCreateKeyExA(section.get(), kSubkey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                    KEY_WRITE, nullptr, key.put(), nullptr) != ERROR_SUCCESS) {
        return;
    }
    RegSetValueExA(key.get(), name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
}

// Once empty, the subkey goes, and the section looks as it did before any job
// got stuck.
void RegistryUndeletableStore::Erase(const std::string& name) {
    const UniqueRegKey section = m_profile.OpenSection(m_section);
    {
        const UniqueRegKey key = OpenSubkey(section, KEY_QUERY_VALUE | KEY_SET_VALUE);
        DWORD count = 0;
        if (!key || RegDeleteValueA(key.get(), name.c_str()) != ERROR_SUCCESS ||
            !CountValues(key, &count, nullptr, nullptr) || count > 0) {
            return;
        }
    }
    RegDeleteKeyA(section.get(), kSubkey);
}
