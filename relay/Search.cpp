#include "relay/Search.h"

#include <algorithm>
#include <functional>

#include "platform/MbcsText.h"
#include "platform/FileNames.h"
#include "relay/OutputWorker.h"

namespace {

using AcceptJob = std::function<bool(const std::string& path, const platform::DirEntry& entry)>;

// Walks the patterns in order and stores the first regular file with a plain
// name that `accept` takes.
bool WalkPatterns(std::string& folder, const std::string& patterns, std::string& foundFile,
                  platform::FileSystem& fs, platform::LeadByteTest isLeadByte, const AcceptJob& accept,
                  std::vector<std::string>* approximateNames = nullptr) {
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
            // a name that is not the file's own would lead the worker to
            // another file, even one outside the folder.
            const auto isJob = [&](const platform::DirEntry& entry) {
                if (entry.isDirectory) {
                    return false;
                }
                if (!IsPlainName(entry, isLeadByte)) {
                    if (approximateNames) {
                        approximateNames->push_back(entry.displayName.empty() ? entry.name : entry.displayName);
                    }
                    return false;
                }
                return accept(entryFolder + entry.name, entry);
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

}  // namespace

bool NamesAnyOf(platform::FileSystem& fs, const std::string& path,
                const std::vector<std::string>& files) {
    return std::any_of(files.begin(), files.end(), [&](const std::string& file) {
        return !file.empty() && fs.SameFile(path, file);
    });
}

bool IsPlainName(const platform::DirEntry& entry, platform::LeadByteTest isLeadByte) {
    return entry.exactName && IsPlainFileName(entry.name, isLeadByte);
}

bool FindTargetFile(std::string& folder, const std::string& patterns, std::string& foundFile,
                    platform::FileSystem& fs, const UndeletableJobs& undeletable,
                    platform::LeadByteTest isLeadByte, const SearchExclusions& exclusions) {
    UnopenableJobs* const unopenable = exclusions.unopenable;
    // A quick look tells a job from a file that cannot be one, which is noted
    // here and passed over without a relay. Only a plain disk file inside the
    // folder is opened at all, and only once its companion has gone: a
    // producer still writing must not meet an exclusive open of ours. A
    // producer's hold makes a job Busy, which the worker waits out.
    const auto opens = [&](const std::string& path, const platform::DirEntry& entry) {
        if (!unopenable) {
            return true;
        }
        const platform::FileKind kind = fs.Inspect(path);
        platform::Probe probe = platform::Probe::Unopenable;
        if (kind == platform::FileKind::DiskFile) {
            const bool waiting =
                exclusions.waitingSuffix &&
                fs.FindAny(CompanionPath(path, *exclusions.waitingSuffix, isLeadByte)) != platform::Match::None;
            probe = waiting ? platform::Probe::Busy : fs.ProbeExclusive(path);
        }
        if (probe == platform::Probe::Ready || probe == platform::Probe::Busy) {
            if (exclusions.foundReady) *exclusions.foundReady = probe == platform::Probe::Ready;
            return true;
        }
        // Missing too: the file is listed, so its name does not reach it.
        if (unopenable->Remember(path, entry.Identity(), exclusions.now) && exclusions.newlyUnopenable) {
            exclusions.newlyUnopenable->push_back({path, entry.size, kind});
        }
        return false;
    };
    // A stuck job would be printed again on every search, and the output,
    // header and footer would be destroyed as jobs.
    const auto isFreshJob = [&](const std::string& path, const platform::DirEntry& entry) {
        return !undeletable.Contains(path, entry.Identity()) &&
               !(unopenable && unopenable->Knows(path, entry.Identity())) &&
               !NamesAnyOf(fs, path, exclusions.ownFiles) && opens(path, entry);
    };
    if (WalkPatterns(folder, patterns, foundFile, fs, isLeadByte, isFreshJob, exclusions.approximateNames)) {
        return true;
    }
    if (!unopenable || !unopenable->AnyDue(exclusions.now)) {
        return false;
    }
    // However many files failed before, trying one again costs a quick open
    // here, not a relay: only one that opens now becomes a job.
    const auto isRetryDue = [&](const std::string& path, const platform::DirEntry& entry) {
        return unopenable->Knows(path, entry.Identity()) &&
               !unopenable->PassesOver(path, entry.Identity(), exclusions.now) &&
               !undeletable.Contains(path, entry.Identity()) &&
               !NamesAnyOf(fs, path, exclusions.ownFiles) && opens(path, entry);
    };
    return WalkPatterns(folder, patterns, foundFile, fs, isLeadByte, isRetryDue);
}
