// The least a relay must do per job, as a yardstick for Varnow.exe's backlog:
// list the folder, open the first job exclusively, open the output, copy in
// 256-byte chunks, close both, delete the job. Nothing is checked that a
// relay would not need to move the bytes.
//
//   bare_relay.exe FOLDER PATTERN OUTPUT COUNT
//
// Waits (1 ms polls, at most 60 s in all) until COUNT jobs have been relayed,
// then prints the milliseconds from the first job found to the last deleted.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/win32/Win32Handles.h"

using platform::FindHandle;
using platform::KernelHandle;

namespace {

constexpr DWORD kChunk = 256;
constexpr ULONGLONG kLimitMs = 60000;

bool Copy(HANDLE job, HANDLE port) {
    char buffer[kChunk];
    DWORD got = 0;
    while (ReadFile(job, buffer, kChunk, &got, nullptr) && got > 0) {
        DWORD put = 0;
        if (!WriteFile(port, buffer, got, &put, nullptr) || put != got) return false;
    }
    return got == 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: bare_relay FOLDER PATTERN OUTPUT COUNT\n");
        return 2;
    }
    const std::string folder = argv[1], pattern = folder + "\\" + argv[2], output = argv[3];
    const int count = std::atoi(argv[4]);
    const ULONGLONG started = GetTickCount64();
    ULONGLONG first = 0;
    int relayed = 0;
    while (relayed < count) {
        if (GetTickCount64() - started > kLimitMs) {
            std::fprintf(stderr, "bare_relay: %d of %d jobs in %llu ms\n", relayed, count, kLimitMs);
            return 1;
        }
        WIN32_FIND_DATAA entry;
        std::string path;
        {
            const FindHandle find(FindFirstFileA(pattern.c_str(), &entry));
            if (find) path = folder + "\\" + entry.cFileName;
        }
        // Not there yet, or its producer still holds it.
        KernelHandle job(path.empty() ? nullptr
                                      : CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (!job) {
            Sleep(1);
            continue;
        }
        if (first == 0) first = GetTickCount64();
        {
            const KernelHandle port(CreateFileA(output.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
            if (!port || !Copy(job.Get(), port.Get())) {
                std::fprintf(stderr, "bare_relay: %s could not be copied to %s (error %lu)\n", path.c_str(),
                             output.c_str(), GetLastError());
                return 1;
            }
        }
        job.Reset(nullptr);
        if (!DeleteFileA(path.c_str())) {
            std::fprintf(stderr, "bare_relay: %s could not be deleted (error %lu)\n", path.c_str(), GetLastError());
            return 1;
        }
        ++relayed;
    }
    std::printf("%llu\n", GetTickCount64() - first);
    return 0;
}
