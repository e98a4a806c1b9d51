// The POSIX twin of the record's files, for native builds and tests.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "platform/RecordFiles.h"

namespace platform {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};

class FdOwner {
public:
    explicit FdOwner(int fd) : m_fd(fd) {}
    ~FdOwner() {
        if (m_fd >= 0) close(m_fd);
    }
    FdOwner(const FdOwner&) = delete;
    FdOwner& operator=(const FdOwner&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

class PosixRecordFiles : public RecordFiles {
public:
    bool CreateFolder(const std::string& path) override {
        for (size_t slash = path.find('/', 1); slash != std::string::npos;
             slash = path.find('/', slash + 1)) {
            mkdir(path.substr(0, slash).c_str(), 0777);
        }
        if (mkdir(path.c_str(), 0777) == 0) return true;
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    bool Append(const std::string& path, const std::string& startIfEmpty,
                const std::string& bytes) override {
        const std::string folder = FolderOf(path);
        if (!folder.empty() && !CreateFolder(folder)) return false;
        const FdOwner fd(open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
        if (fd.get() < 0) return false;
        struct stat st {};
        if (fstat(fd.get(), &st) != 0) return false;
        return WriteAll(fd.get(), st.st_size == 0 ? startIfEmpty + bytes : bytes);
    }

    bool Replace(const std::string& path, const std::string& bytes) override {
        const std::string folder = FolderOf(path);
        if (!folder.empty() && !CreateFolder(folder)) return false;
        const std::string temporary = path + ".new";
        {
            const FdOwner fd(
                open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666));
            if (fd.get() < 0 || !WriteAll(fd.get(), bytes) || fsync(fd.get()) != 0) {
                unlink(temporary.c_str());
                return false;
            }
        }
        return rename(temporary.c_str(), path.c_str()) == 0;
    }

    bool Read(const std::string& path, std::string* bytes) override {
        const FdOwner fd(open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (fd.get() < 0) return false;
        bytes->clear();
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(fd.get(), buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return false;
            if (n == 0) return true;
            bytes->append(buffer, static_cast<size_t>(n));
        }
    }

    std::vector<std::string> ListFiles(const std::string& folder) override {
        std::vector<std::string> names;
        const std::unique_ptr<DIR, DirCloser> dir(opendir(folder.c_str()));
        if (!dir) return names;
        while (const dirent* entry = readdir(dir.get())) {
            struct stat st {};
            const std::string path = folder + '/' + entry->d_name;
            if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) names.push_back(entry->d_name);
        }
        return names;
    }

    bool Delete(const std::string& path) override { return unlink(path.c_str()) == 0; }

    LocalTime ToLocalTime(int64_t secondsSince1970) override {
        const time_t time = static_cast<time_t>(secondsSince1970);
        struct tm local {};
        localtime_r(&time, &local);
        return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                local.tm_hour,        local.tm_min,     local.tm_sec};
    }
};

}  // namespace

RecordFiles& SystemRecordFiles() {
    static PosixRecordFiles files;
    return files;
}

std::string RecordsRoot() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && *data) return std::string(data) + "/Brenholt/Varnow/Records";
    const char* home = std::getenv("HOME");
    return home && *home ? std::string(home) + "/.local/share/Brenholt/Varnow/Records" : "";
}

}  // namespace platform
