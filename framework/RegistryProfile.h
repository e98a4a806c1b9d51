// Per-user settings under HKCU\software\<maker>\<application>\<section>.
// Every read and write opens the key chain afresh (creating it when missing)
// and closes it again.
#pragma once

#include <string>

#include "framework/Handles.h"

class RegistryProfile {
public:
    RegistryProfile() = default;
    RegistryProfile(std::string maker, std::string application)
        : m_maker(std::move(maker)), m_application(std::move(application)) {}

    // A value of any type whose first 4 bytes can be read; else the default.
    int GetProfileInt(const std::string& section, const char* name, int defaultValue) const;
    // A value of any type, read whole and cut at its first zero byte; else the default.
    std::string GetProfileString(const std::string& section, const char* name,
                                 const std::string& defaultValue) const;
    // REG_DWORD.
    bool WriteProfileInt(const std::string& section, const char* name, int value) const;
    // REG_SZ with the terminating zero counted.
    bool WriteProfileString(const std::string& section, const char* name,
                            const std::string& value) const;
    // The section's key, opened (and created where missing) for reading and
    // writing; empty when the chain cannot be opened.
    UniqueRegKey OpenSection(const std::string& section) const;

private:
    std::string m_maker;
    std::string m_application;
};

// The executable's name without folder and extension.
std::string ApplicationKeyName();
