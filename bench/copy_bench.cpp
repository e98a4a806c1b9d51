// Measures what the relay's 256-byte copy costs: one 64 MiB job through the
// real worker sequence, against bare read()/write() loops over the same data.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "relay/OutputWorker.h"

namespace {

constexpr size_t kJobBytes = 64u << 20;

void WriteWhole(const std::string& path, const std::vector<char>& data) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, data.data(), data.size()) != static_cast<ssize_t>(data.size())) {
        std::perror(path.c_str());
        std::exit(1);
    }
    close(fd);
}

// Best of a few runs, each into a fresh output, so every contender pays the
// same block allocation and none profits from a file left by another.
constexpr int kRuns = 3;

template <typename Prepare, typename Run>
double MegabytesPerSecond(const std::string& output, Prepare prepare, Run run) {
    double best = 0;
    for (int i = 0; i < kRuns; ++i) {
        if (output != "/dev/null") unlink(output.c_str());
        prepare();
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - start;
        best = std::max(best, kJobBytes / 1e6 / seconds.count());
    }
    return best;
}

double RelayThroughWorker(const std::string& job, const std::string& output, const std::vector<char>& data) {
    std::atomic<int32_t> running{1}, abort{0};
    std::atomic<uint32_t> bytes{0};
    UndeletableJobs undeletable;
    UnopenableJobs unopenable(platform::IsLeadByteSystem);
    const double rate = MegabytesPerSecond(
        output,
        [&] {
            WriteWhole(job, data);
            bytes = 0;
        },
        [&] {
            OutputThreadProc(new OutputJob{job, ".OFI", output, "", "", &running, &abort, &bytes,
                                           &undeletable, &platform::SystemFileSystem(),
                                           &platform::SystemClock(), platform::IsLeadByteSystem,
                                           &unopenable});
        });
    if (bytes.load() != static_cast<uint32_t>(kJobBytes) || access(job.c_str(), F_OK) == 0) {
        std::fprintf(stderr, "the worker did not relay the whole job\n");
        std::exit(1);
    }
    return rate;
}

double CopyInChunks(const std::string& source, const std::string& output, size_t chunk) {
    std::vector<char> buffer(chunk);
    return MegabytesPerSecond(
        output, [] {},
        [&] {
            const int in = open(source.c_str(), O_RDONLY);
            const int out = open(output.c_str(), O_WRONLY | O_CREAT, 0644);
            ssize_t got;
            while ((got = read(in, buffer.data(), chunk)) > 0) {
                if (write(out, buffer.data(), got) != got) {
                    std::exit(1);
                }
            }
            close(in);
            close(out);
        });
}

}  // namespace

int main() {
    char folder[] = "/tmp/copy-bench-XXXXXX";
    if (!mkdtemp(folder)) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string dir = folder;
    std::vector<char> data(kJobBytes);
    for (size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<char>(i * 7 + i / 251);
    }
    const std::string source = dir + "/source.bin";
    WriteWhole(source, data);

    std::printf("%-12s %14s %14s %16s %14s\n", "output", "worker MB/s", "bare 256 MB/s", "buffered 64K MB/s",
                "worker/bare");
    for (const std::string& output : {dir + "/out.prn", std::string("/dev/null")}) {
        const double worker = RelayThroughWorker(dir + "/JOB1.GLF", output, data);
        const double bare = CopyInChunks(source, output, 256);
        const double buffered = CopyInChunks(source, output, 64 * 1024);
        std::printf("%-12s %14.1f %14.1f %16.1f %14.2f\n", output == "/dev/null" ? "/dev/null" : "plain file",
                    worker, bare, buffered, worker / bare);
    }
    unlink(source.c_str());
    unlink((dir + "/out.prn").c_str());
    rmdir(folder);
    return 0;
}
