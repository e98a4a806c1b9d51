#include "relay/Search.h"

#include <algorithm>

#include "platform/MbcsText.h"

bool NamesAnyOf(platform::FileSystem& fs, const std::string& path,
                const std::vector<std::string>& files) {
    return std::any_of(files.begin(), files.end(), [&](const std::string& file) {
        return !file.empty() && fs.SameFile(path, file);
    });
}

bool FindTargetFile(std::string& folder, const std::string& patterns, std::string& foundFile,
                    platform::FileSystem& fs, const UndeletableJobs& undeletable,
                    platform::LeadByteTest isLeadByte, const SearchExclusions& exclusions) {
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
            // Directories (with "." and "..") can never be opened as jobs, a
            // stuck job would be printed again on every search, one that could
            // not be opened would be taken before every other, and the output,
            // header and footer would be destroyed as jobs.
            const auto isJob = [&](const platform::DirEntry& entry) {
                const std::string path = entryFolder + entry.name;
                return !entry.isDirectory &&
                       !undeletable.Contains(path, entry.size, entry.lastWrite) &&
                       !(exclusions.unopenable &&
                         exclusions.unopenable->PassesOver(path, entry.size, entry.lastWrite,
                                                           exclusions.now)) &&
                       !NamesAnyOf(fs, path, exclusions.ownFiles);
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
