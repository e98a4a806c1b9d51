#include "relay/Search.h"

#include "relay/MbcsText.h"

bool FindTargetFile(std::string& folder, const std::string& patterns, std::string& foundFile,
                    platform::FileSystem& fs, const UndeletableJobs& undeletable,
                    platform::LeadByteTest isLeadByte) {
    std::string remaining = patterns;
    while (!remaining.empty()) {
        const size_t end = mbcs::FindChar(remaining, ';', isLeadByte);
        const std::string pattern = remaining.substr(0, end);
        if (!folder.empty() && !mbcs::EndsWithChar(folder, '\\', isLeadByte)) {
            folder += '\\';
        }
        if (!pattern.empty()) {
            // A pattern with a folder part searches there, so the found path
            // must name that folder too, or the worker would wait on a file
            // that is not where it looks.
            size_t folderPart = mbcs::FolderPartLength(pattern, isLeadByte);
            if (folderPart == 0 && pattern.size() >= 2 && pattern[1] == ':') {
                folderPart = 2;  // "D:*.GLF" searches the current folder of drive D
            }
            const std::string entryFolder = folder + pattern.substr(0, folderPart);
            // Directories (with "." and "..") can never be opened as jobs, and
            // a stuck job would be printed again on every search.
            const auto isJob = [&](const platform::DirEntry& entry) {
                return !entry.isDirectory &&
                       !undeletable.Contains(entryFolder + entry.name, entry.size, entry.lastWrite);
            };
            platform::DirEntry entry;
            if (fs.FindFirst(folder + pattern, isJob, &entry)) {
                foundFile = entryFolder + entry.name;
                return true;
            }
        }
        // Only one ";" goes with each pattern, so each further one is an empty pattern.
        remaining.erase(0, end);
        if (!remaining.empty() && remaining[0] == ';') {
            remaining.erase(0, 1);
        }
    }
    return false;
}
