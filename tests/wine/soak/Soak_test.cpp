// The soak: two copies of Varnow.exe side by side, each with its own folder,
// section and printer (LPT1, LPT2, each a FIFO behind scripts/lpt-pump.py),
// fed by producers that write their jobs in the three ways real programs do,
// while a printer stalls, one copy is restarted and files that can never be
// relayed lie in the folders. scripts/wine-soak.sh runs it once.
// VARNOW_SOAK_UNOPENABLE=0 leaves out the files that cannot be opened.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <set>
#include <thread>

#include "framework/Handles.h"
#include "tests/wine/VarnowDriver.h"
#include "tests/wine/soak/SoakJobs.h"

using namespace e2e;
using namespace std::chrono_literals;

namespace {

constexpr int kJobsPerCopy = 36;
// Jobs that may wait in a folder at once; each copy relays one per two polls.
constexpr size_t kBacklog = 3;
constexpr size_t kLargeBody = 200 * 1024;
constexpr int kNever = -1;
const std::chrono::seconds kRelayPatience(60);

const std::wstring kDirectoryStray = L"DIR.GLF";
const std::wstring kHangulStray = L"\uD55C.GLF";
// Their full paths are longer than MAX_PATH for the A functions: each is
// tried again now and then, and none may hold up the jobs.
constexpr int kLongStrays = 30;
std::wstring LongStray(int i) { return std::wstring(240, L'L') + std::to_wstring(i) + L".GLF"; }
constexpr WORD kTrayExit = 32773;

bool UnopenableStraysWanted() {
    wchar_t value[8] = L"";
    return GetEnvironmentVariableW(L"VARNOW_SOAK_UNOPENABLE", value, 8) == 0 ||
           std::wstring(value) != L"0";
}

// Deterministic pauses of 0.2 to 1.2 s: how long a producer is still busy.
std::chrono::milliseconds ProducerPause(int n) {
    return std::chrono::milliseconds(200 + n * 379 % 1000);
}

std::string JobId(wchar_t letter, int n) {
    char id[8];
    std::snprintf(id, sizeof id, "%c%03d", static_cast<char>(letter), n);
    return id;
}

class Lane {
public:
    // Before job `stallAt` the printer stalls (a job larger than the pipe in
    // front of it goes out meanwhile); before job `restartAt` the copy is
    // exited through its tray menu and started again.
    Lane(wchar_t letter, int port, int stallAt, int restartAt)
        : m_letter(letter),
          m_name(std::wstring(L"Soak_") + letter),
          m_section(ToAcp(m_name)),
          m_folder(MakeTempFolder(std::wstring(L"soak-") + letter)),
          m_capture(LptCapture(port)),
          m_stallAt(stallAt),
          m_restartAt(restartAt) {
        m_section.SetString("Findpos", ToAcp(m_folder));
        m_section.SetString("Output", "LPT" + std::to_string(port));
    }

    bool Start() {
        m_app = std::make_unique<Varnow>();
        return m_app->Start(m_name, m_name);
    }

    // The tray's Exit only cancels an output; the next one then ends the copy.
    bool Exit() {
        for (int attempt = 0; attempt < 4 && !m_app->HasExited(); ++attempt) m_app->Exit(8000);
        return m_app->HasExited();
    }

    bool PlaceStrays(bool unopenable) {
        m_strays = {kDirectoryStray};
        bool placed = CreateDirectoryW(Path(kDirectoryStray).c_str(), nullptr) != FALSE;
        if (!unopenable) return placed;
        std::vector<std::wstring> names{kHangulStray};
        for (int i = 0; i < kLongStrays; ++i) names.push_back(LongStray(i));
        for (const std::wstring& name : names) {
            const UniqueKernelHandle file(CreateFileW(LongPath(name).c_str(), GENERIC_WRITE, 0,
                                                      nullptr, CREATE_ALWAYS, 0, nullptr));
            placed = placed && file;
            m_strays.insert(name);
        }
        return placed;
    }

    // Runs on its own thread; whatever goes wrong ends up in Failure().
    void Produce() {
        for (int n = 0; n < kJobsPerCopy && m_failure.empty(); ++n) {
            if (!WaitFor([&] { return Pending() < kBacklog; }, kRelayPatience)) {
                m_failure =
                    "jobs not taken for a minute, " + std::to_string(Pending()) + " waiting";
                return;
            }
            if (n == m_stallAt) {
                StallPrinterAround(n);
                continue;
            }
            if (n == m_restartAt && (!Exit() || !Start())) {
                m_failure = "the restart failed";
                return;
            }
            ProduceJob(n, 150 + n * 61 % 2900);
        }
    }

    const std::string& Failure() const { return m_failure; }
    const std::vector<std::string>& Ids() const { return m_ids; }
    const std::wstring& Capture() const { return m_capture; }
    size_t Pending() const {
        size_t pending = 0;
        for (const std::string& id : m_ids) pending += FileExists(JobPath(id)) ? 1 : 0;
        return pending;
    }

    // What is in the folder besides the strays.
    std::vector<std::wstring> Leftovers() const {
        std::vector<std::wstring> names;
        WIN32_FIND_DATAW entry;
        const UniqueFindHandle find(FindFirstFileW(LongPath(L"*").c_str(), &entry));
        if (!find) return names;
        do {
            const std::wstring name = entry.cFileName;
            if (name != L"." && name != L".." && !m_strays.count(name)) names.push_back(name);
        } while (FindNextFileW(find.get(), &entry));
        return names;
    }

    void RemoveStrays() const {
        for (const std::wstring& name : m_strays) DeleteFileW(LongPath(name).c_str());
        RemoveDirectoryW(Path(kDirectoryStray).c_str());
    }

private:
    std::wstring Path(const std::wstring& name) const { return m_folder + L"\\" + name; }
    std::wstring LongPath(const std::wstring& name) const { return L"\\\\?\\" + Path(name); }
    std::wstring JobPath(const std::string& id) const { return Path(Widen(id) + L".GLF"); }

    // A printer gone off line for 15 s while a job larger than the pipe goes
    // out: the copy's write blocks until it comes back. Once the job is being
    // sent, the operator sends Exit every second: it only cancels while the
    // write is blocked, then ends the copy, which is started again. The other
    // copy runs on all the while.
    void StallPrinterAround(int n) {
        const std::wstring stall = m_capture + L".stall";
        WaitFor([&] { return Pending() == 0; }, kRelayPatience);
        WriteFileBytes(stall, "");
        ProduceJob(n, kLargeBody);
        // The last job's caption may linger until the next tick: the search
        // comes back first, then this job is taken up.
        WaitFor([&] { return m_app->RunCaption() == L"検索中断"; }, 10s);
        WaitFor([&] { return m_app->RunCaption() == L"出力中止"; }, 10s);
        std::this_thread::sleep_for(2s);  // past the companion and the producer's hold
        const auto stallEnds = std::chrono::steady_clock::now() + 15s;
        for (int second = 0; second < 20 && !m_app->HasExited(); ++second) {
            m_app->PostCommand(kTrayExit);
            std::this_thread::sleep_for(1s);
            if (std::chrono::steady_clock::now() >= stallEnds) DeleteFileW(stall.c_str());
        }
        while (std::chrono::steady_clock::now() < stallEnds) std::this_thread::sleep_for(100ms);
        DeleteFileW(stall.c_str());
        if (!m_app->HasExited(5000)) {
            m_failure = "Exit sent every second did not end the copy once the printer came back";
        } else if (!Start()) {
            m_failure = "the start after the exit failed";
        }
    }

    // Job n is written the way producer n % 3 writes it.
    void ProduceJob(int n, size_t bodyLength) {
        const std::string id = JobId(m_letter, n);
        const std::string bytes = soak::JobBytes(id, bodyLength);
        const std::wstring job = JobPath(id);
        m_ids.push_back(id);
        bool written = false;
        switch (n % 3) {
            case 0: {  // a companion first, removed last
                const std::wstring companion = Path(Widen(id) + L".OFI");
                written = WriteFileBytes(companion, "") && WriteFileBytes(job, bytes);
                std::this_thread::sleep_for(ProducerPause(n));
                written = DeleteFileW(companion.c_str()) && written;
                break;
            }
            case 1: {  // held open, with no sharing, while it is written
                const UniqueKernelHandle file(
                    CreateFileW(job.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
                const size_t half = bytes.size() / 2;
                DWORD put = 0, rest = 0;
                written = file && WriteFile(file.get(), bytes.data(), static_cast<DWORD>(half),
                                            &put, nullptr);
                std::this_thread::sleep_for(ProducerPause(n));
                written = written &&
                          WriteFile(file.get(), bytes.data() + half,
                                    static_cast<DWORD>(bytes.size() - half), &rest, nullptr) &&
                          put + rest == bytes.size();
                break;
            }
            default: {  // written elsewhere and renamed into place whole
                const std::wstring scratch = Path(Widen(id) + L".TMP");
                written = WriteFileBytes(scratch, bytes) && MoveFileW(scratch.c_str(), job.c_str());
            }
        }
        if (!written) m_failure = "producing " + id + " failed";
    }

    const wchar_t m_letter;
    const std::wstring m_name;
    ProfileSection m_section;
    const std::wstring m_folder;
    const std::wstring m_capture;
    const int m_stallAt;
    const int m_restartAt;
    std::unique_ptr<Varnow> m_app;
    std::set<std::wstring> m_strays;
    std::vector<std::string> m_ids;
    std::string m_failure;
};

// The capture once it has stopped growing for a few seconds.
std::string SettledCapture(const std::wstring& path) {
    std::string last = ReadFileBytes(path);
    for (int quiet = 0; quiet < 3;) {
        std::this_thread::sleep_for(1s);
        std::string now = ReadFileBytes(path);
        quiet = now == last ? quiet + 1 : 0;
        last = std::move(now);
    }
    return last;
}

TEST(Soak, TwoCopiesRelayEveryJobOnceThroughStallRestartAndStrays) {
    Lane lanes[] = {{L'A', 1, 12, kNever}, {L'B', 2, kNever, 18}};
    const bool unopenable = UnopenableStraysWanted();
    for (Lane& lane : lanes) {
        ASSERT_FALSE(lane.Capture().empty()) << "the printer pumps are not set up";
        ASSERT_TRUE(WriteFileBytes(lane.Capture(), ""));
        ASSERT_TRUE(lane.PlaceStrays(unopenable));
        ASSERT_TRUE(lane.Start());
    }
    std::thread producerA([&] { lanes[0].Produce(); }), producerB([&] { lanes[1].Produce(); });
    producerA.join();
    producerB.join();
    for (Lane& lane : lanes)
        EXPECT_TRUE(WaitFor([&] { return lane.Pending() == 0; }, kRelayPatience)) << lane.Pending();
    std::string captures[2];
    for (int i = 0; i < 2; ++i) captures[i] = SettledCapture(lanes[i].Capture());
    for (Lane& lane : lanes) {
        EXPECT_TRUE(lane.Exit()) << "a copy stuck on a job only cancels it";
        lane.RemoveStrays();
    }

    for (int i = 0; i < 2; ++i) {
        const Lane& lane = lanes[i];
        SCOPED_TRACE(ToAcp(lane.Capture()));
        EXPECT_EQ(lane.Failure(), "");
        EXPECT_EQ(lane.Ids().size(), static_cast<size_t>(kJobsPerCopy));
        const soak::CaptureReading reading = soak::ReadCapture(captures[i]);
        EXPECT_EQ(reading.faults, std::vector<std::string>{});
        int partial = 0;
        for (const std::string& id : lane.Ids()) {
            const auto found = reading.jobs.find(id);
            ASSERT_NE(found, reading.jobs.end()) << id << " never arrived";
            EXPECT_EQ(found->second.complete, 1) << id;
            EXPECT_FALSE(found->second.partialAfterComplete) << id;
            partial += found->second.partial;
        }
        EXPECT_EQ(reading.jobs.size(), lane.Ids().size()) << "jobs of the other copy arrived here";
        EXPECT_EQ(lane.Leftovers(), std::vector<std::wstring>{});
        std::printf("soak: LPT%d %u jobs, %d cut short and sent again, %u bytes\n", i + 1,
                    static_cast<unsigned>(lane.Ids().size()), partial,
                    static_cast<unsigned>(captures[i].size()));
    }
}

}  // namespace
