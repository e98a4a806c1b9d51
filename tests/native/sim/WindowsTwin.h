// A file system that behaves like Windows (and Wine) where the relay's faults
// have lived: share modes, delete-on-close with a pending state, reused file
// indexes, coarse times, approximate names, links, pipes and devices, drives
// that go, listings and reads that fail. Every fault fires with a probability
// drawn from the run's seed; every operation is a point where the other
// programs of the simulated world may act.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace sim {

// One generator for the whole run, with its own distributions so that a seed
// replays the same run whatever the standard library.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_gen(seed) {}
    uint64_t Below(uint64_t n) { return n == 0 ? 0 : m_gen() % n; }
    double Unit() { return static_cast<double>(m_gen() >> 11) * 0x1.0p-53; }
    bool Chance(double p) { return Unit() < p; }

private:
    std::mt19937_64 m_gen;
};

// The whole world on one screen: how the file system numbers files, and the
// probability of every fault and habit in one run (see Knobs::Draw).
struct Knobs {
    enum class Index { Unique, SlotPerName, ReusedLifo, None } index = Index::Unique;
    bool reportsPending = true;  // Windows; Wine only ever says Accepted
    bool changeTimes = true;     // NTFS and ext4 have them, FAT not
    uint64_t timeStepMs = 1;     // FAT keeps last-write times in 2 s steps
    bool spooled = false;        // the output prints only when the document ends
    double listFailsAtStart = 0, listFailsPartWay = 0, driveGoes = 0;
    double readFails = 0, unreadable = 0;
    double readOnly = 0, refusesDelete = 0, immutable = 0, pendingButStays = 0;
    double writeFails = 0, writeStalls = 0, outputBusy = 0, finishFails = 0;
    double scanner = 0, scannerSharesDelete = 0;
    double companion = 0, pieces = 0, closesBetweenPieces = 0, template_ = 0, reuseAtOnce = 0;
    double overwrites = 0, withdraws = 0, renamesOver = 0, ignoresSharing = 0, appends = 0;
    double strayNames = 0, cancels = 0, restarts = 0, stopsSearch = 0;
    // The folder's change reports: none (a network folder), lost, or a watch that breaks.
    bool watches = false;
    double notificationLost = 0, watchBreaks = 0, workerEndLost = 0;
    static Knobs Draw(Rng& rng);
};

// What the checker learns from the twin as it happens.
class Observer {
public:
    virtual ~Observer() = default;
    virtual void Violation(const std::string& what) = 0;
    virtual void Trace(const std::string& what) = 0;
    // A node left the folder; `byRelay` when the relay's own delete took it.
    virtual void Gone(uint64_t version, const std::string& data, bool byRelay) = 0;
    virtual void OutputOpened(const std::string& document) = 0;  // named after its job
    virtual void OutputCommitted(const std::string& bytes) = 0;  // reached the printer
    virtual void OutputClosed() = 0;
};

class WindowsTwin : public platform::FileSystem {
public:
    enum Access : unsigned { kRead = 1, kWrite = 2, kDelete = 4 };
    enum class Kind { File, Link, Pipe };
    struct Node {
        uint64_t version = 0;  // the checker's name for the content; 0: no job
        Kind kind = Kind::File;
        std::string data;
        uint64_t index = 0, lastWrite = 0, changeTime = 0;
        bool readOnly = false, refusesDelete = false, immutable = false, unreadable = false;
        bool deletePending = false, deleteByRelay = false, readOnlyCleared = false;
        bool linked = false;
        std::string name;  // the system's own name while linked
    };
    using NodePtr = std::shared_ptr<Node>;
    static constexpr const char* kFolder = "C:\\JOBS\\";
    static constexpr const char* kOutside = "C:\\ELSEWHERE\\";

    WindowsTwin(Rng& rng, const Knobs& knobs, Observer& observer, std::function<uint64_t()> nowMs,
                std::function<void(uint32_t)> pass);

    // The relay's side.
    bool FindFirst(const std::string& path, const std::function<bool(const platform::DirEntry&)>& accept,
                   platform::DirEntry* found) override;
    bool ListFolder(const std::string& folder, const std::function<void(const platform::DirEntry&)>& each) override;
    platform::FileKind Inspect(const std::string& path) override;
    platform::Match FindAny(const std::string& path) override;
    platform::Probe ProbeExclusive(const std::string& path) override;
    std::unique_ptr<platform::File> OpenOutput(const std::string& path, const std::string& documentName,
                                               platform::OpenFailure* failure) override;
    std::unique_ptr<platform::File> OpenSource(const std::string& path) override;
    std::unique_ptr<platform::File> OpenJob(const std::string& path) override;
    bool Identify(const std::string& path, platform::FileIdentity* identity) override;
    bool IsMissing(const std::string& path) override;
    bool SameFile(const std::string& a, const std::string& b) override;
    platform::OpenFailure TryOutput(const std::string& path) override;
    std::unique_ptr<platform::FolderWatch> WatchFolder(const std::string& folder,
                                                       std::function<void()> onChange) override;

    // The other programs' side: handles by number, -1 when refused.
    int Open(const std::string& name, unsigned access, unsigned share, bool create, bool ignoreSharing = false);
    void Write(int handle, const std::string& bytes, uint64_t version, uint64_t keepLastWrite = 0);
    void Close(int handle);
    bool Delete(const std::string& name);
    bool RenameOver(const std::string& from, const std::string& to);
    NodePtr Named(const std::string& name) const;  // exact name, or null
    NodePtr NodeOf(int handle) const;
    void AddStray(const std::string& name, Kind kind, bool exactName, const std::string& listedAs);
    platform::FileIdentity IdentityOf(const Node& node) const;

    bool driveGone = false;
    int readFailures = 0, readOnlyRestores = 0, stays = 0;
    uint64_t lastReadVersion = 0;  // what the relay's last read of a job came from  // so far, for telling faults apart
    bool quiet = false;  // no fault fires: the end of a run, when the relay must catch up

private:
    struct Handle {
        NodePtr node;
        unsigned access, share;
    };
    struct Entry {
        NodePtr node;
        std::string listed;  // as the listing spells it
        bool exact = true;
    };
    friend class TwinJob;
    friend class TwinOutput;
    friend class TwinWatch;
    void Changed();  // told to the watch, unless the report is lost
    bool Fault(double p) { return !quiet && m_rng.Chance(p); }
    void Pass() { m_pass(static_cast<uint32_t>(m_rng.Below(3))); }
    uint64_t Stamp();
    NodePtr Resolve(const std::string& path, bool* device, bool* outside);
    bool Shares(const NodePtr& node, unsigned access, unsigned share) const;
    int AddHandle(const NodePtr& node, unsigned access, unsigned share);
    void Unlink(const NodePtr& node, bool byRelay);
    uint64_t NewIndex(const std::string& name);
    platform::DirEntry Listed(const Entry& entry) const;
    bool Listing(const std::string& path, std::vector<platform::DirEntry>* entries, size_t* reached);

    Rng& m_rng;
    std::function<void()> m_onChange;
    bool m_watchBroken = false;
    const Knobs& m_knobs;
    Observer& m_observer;
    std::function<uint64_t()> m_nowMs;
    std::function<void(uint32_t)> m_pass;
    std::function<void(const std::string&)> m_trace;
    std::map<std::string, Entry> m_entries;  // by upper-case name
    std::map<std::string, NodePtr> m_outside;
    std::map<int, Handle> m_handles;
    int m_nextHandle = 1;
    uint64_t m_nextIndex = 100, m_changeSeq = 0;
    std::map<std::string, uint64_t> m_slots;
    std::vector<uint64_t> m_freed;
};

}  // namespace sim
