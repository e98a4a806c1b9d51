// The memory of jobs that could not be deleted, in the registry: the values of
// the subkey "Undeletable" of the profile section's key. Each section keeps
// its own, and removing a section's key removes its memory with it.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "framework/RegistryProfile.h"
#include "relay/UndeletableJobs.h"

// A failed write costs only the memory across a restart (the job is still
// passed over in this run); a failed erase leaves a value that the next start
// reads and the first search forgets again.
class RegistryUndeletableStore : public UndeletableJobs::Store {
public:
    RegistryUndeletableStore(RegistryProfile profile, std::string section)
        : m_profile(std::move(profile)), m_section(std::move(section)) {}

    // Values of any type, each read as text up to its first zero byte.
    std::vector<std::pair<std::string, std::string>> ReadAll() override;
    // REG_SZ; the subkey is created with the first value.
    void Write(const std::string& name, const std::string& text) override;
    // The subkey goes with its last value.
    void Erase(const std::string& name) override;

private:
    RegistryProfile m_profile;
    std::string m_section;
};
