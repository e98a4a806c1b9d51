#include "WindowsTwin.h"

#include <algorithm>

#include "platform/posix/Wildcard.h"

namespace sim {

namespace {

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool StartsWith(const std::string& text, const std::string& start) {
    return Upper(text.substr(0, start.size())) == Upper(start);
}

// What the system takes for a device whatever folder and extension follow.
bool NamesDevice(const std::string& name) {
    std::string base = Upper(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) &&
           base[3] >= '1' && base[3] <= '9';
}

}  // namespace

// A job handle: reads from where it stands, and can ask for its file's
// delete when it was opened with the access for it.
class TwinJob : public platform::File {
public:
    TwinJob(WindowsTwin& fs, int handle, bool mayDelete) : m_fs(fs), m_handle(handle), m_mayDelete(mayDelete) {}
    ~TwinJob() override { m_fs.Close(m_handle); }
    bool Read(void* buffer, uint32_t size, uint32_t* bytesRead) override;
    bool Write(const void*, uint32_t, uint32_t* bytesWritten) override {
        *bytesWritten = 0;
        return false;
    }
    void TruncateIfDiskFile() override {}
    bool Identify(platform::FileIdentity* identity) override;
    platform::Deletion DeleteWhenClosed() override;
    void KeepAfterAll() override;

private:
    WindowsTwin& m_fs;
    const int m_handle;
    const bool m_mayDelete;
    size_t m_position = 0;
};

// The printer: a port prints each byte as it takes it, a spooled printer
// only the whole document, when it ends.
class TwinOutput : public platform::File {
public:
    TwinOutput(WindowsTwin& fs, const std::string& document) : m_fs(fs) { m_fs.m_observer.OutputOpened(document); }
    ~TwinOutput() override { m_fs.m_observer.OutputClosed(); }
    bool Read(void*, uint32_t, uint32_t* bytesRead) override {
        *bytesRead = 0;
        return false;
    }
    bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
        m_fs.Pass();
        if (m_fs.Fault(m_fs.m_knobs.writeStalls)) {
            m_fs.m_trace("printer stalls");
            m_fs.m_pass(static_cast<uint32_t>(2000 + m_fs.m_rng.Below(30000)));
        }
        const bool fails = m_fs.Fault(m_fs.m_knobs.writeFails);
        *bytesWritten = fails ? static_cast<uint32_t>(m_fs.m_rng.Below(size)) : size;
        const std::string taken(static_cast<const char*>(buffer), *bytesWritten);
        if (m_fs.m_knobs.spooled) {
            m_document += taken;
        } else {
            m_fs.m_observer.OutputCommitted(taken);
        }
        if (fails) m_fs.m_trace("printer fails after " + std::to_string(*bytesWritten) + " bytes");
        return !fails;
    }
    void TruncateIfDiskFile() override {}
    bool Identify(platform::FileIdentity*) override { return false; }
    bool Finish() override {
        if (!m_fs.m_knobs.spooled) return true;
        m_fs.Pass();
        if (m_fs.Fault(m_fs.m_knobs.finishFails)) {
            m_fs.m_trace("spooler refuses the document");
            return false;
        }
        m_fs.m_observer.OutputCommitted(m_document);
        return true;
    }
    bool CommitsOnFinish() const override { return m_fs.m_knobs.spooled; }

private:
    WindowsTwin& m_fs;
    std::string m_document;
};

WindowsTwin::WindowsTwin(Rng& rng, const Knobs& knobs, Observer& observer, std::function<uint64_t()> nowMs,
                         std::function<void(uint32_t)> pass)
    : m_rng(rng), m_knobs(knobs), m_observer(observer), m_nowMs(std::move(nowMs)), m_pass(std::move(pass)),
      m_trace([this](const std::string& what) { m_observer.Trace(what); }) {}

uint64_t WindowsTwin::Stamp() { return m_nowMs() * 1000 + (++m_changeSeq % 1000); }

WindowsTwin::NodePtr WindowsTwin::Resolve(const std::string& path, bool* device, bool* outside) {
    *device = *outside = false;
    if (StartsWith(path, kOutside)) {
        *outside = true;
        const auto found = m_outside.find(Upper(path));
        return found != m_outside.end() ? found->second : nullptr;
    }
    if (!StartsWith(path, kFolder)) {
        *device = NamesDevice(path);
        return nullptr;
    }
    std::string name = Upper(path.substr(std::string(kFolder).size()));
    if (name.find('\\') != std::string::npos) return nullptr;  // a folder that is not there
    // The system strips trailing dots and blanks before it looks.
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    if (NamesDevice(name)) {
        *device = true;
        return nullptr;
    }
    const auto found = m_entries.find(name);
    return found != m_entries.end() ? found->second.node : nullptr;
}

bool WindowsTwin::Shares(const NodePtr& node, unsigned access, unsigned share) const {
    for (const auto& [id, handle] : m_handles) {
        if (handle.node == node && ((access & ~handle.share) != 0 || (handle.access & ~share) != 0)) return false;
    }
    return true;
}

int WindowsTwin::AddHandle(const NodePtr& node, unsigned access, unsigned share) {
    m_handles[m_nextHandle] = Handle{node, access, share};
    return m_nextHandle++;
}

uint64_t WindowsTwin::NewIndex(const std::string& name) {
    switch (m_knobs.index) {
    case Knobs::Index::SlotPerName: {
        uint64_t& slot = m_slots[Upper(name)];
        if (slot == 0) slot = m_nextIndex++;
        return slot;
    }
    case Knobs::Index::ReusedLifo:
        if (!m_freed.empty()) {
            const uint64_t index = m_freed.back();
            m_freed.pop_back();
            return index;
        }
        return m_nextIndex++;
    case Knobs::Index::None: return 0;
    case Knobs::Index::Unique: break;
    }
    return m_nextIndex++;
}

void WindowsTwin::Unlink(const NodePtr& node, bool byRelay) {
    const auto entry = m_entries.find(Upper(node->name));
    if (entry != m_entries.end() && entry->second.node == node) m_entries.erase(entry);
    node->linked = false;
    if (m_knobs.index == Knobs::Index::ReusedLifo && node->index) m_freed.push_back(node->index);
    m_trace(node->name + (byRelay ? " deleted by the relay" : " removed"));
    m_observer.Gone(node->version, node->data, byRelay);
    Changed();
}

platform::FileIdentity WindowsTwin::IdentityOf(const Node& node) const {
    platform::FileIdentity identity;
    identity.size = node.data.size();
    identity.lastWrite = node.lastWrite;
    identity.changeTime = m_knobs.changeTimes ? node.changeTime : 0;
    identity.volume = 7;
    identity.index = node.index;
    return identity;
}

platform::DirEntry WindowsTwin::Listed(const Entry& entry) const {
    platform::DirEntry listed;
    listed.name = entry.listed;
    listed.size = entry.node->data.size();
    listed.lastWrite = entry.node->lastWrite;
    listed.changeTime = m_knobs.changeTimes ? entry.node->changeTime : 0;
    listed.exactName = entry.exact;
    if (!entry.exact) listed.displayName = entry.node->name;
    return listed;
}

// The entries of the folder `path` searches, and how far a listing that
// fails part-way gets; false when it fails at its start. Taken before the
// first entry is handed on: the callers' looks are points where other
// programs act.
bool WindowsTwin::Listing(const std::string& path, std::vector<platform::DirEntry>* entries, size_t* reached) {
    Pass();
    const size_t cut = path.rfind('\\');
    if (driveGone || cut == std::string::npos || Upper(path.substr(0, cut + 1)) != Upper(kFolder)) return false;
    if (Fault(m_knobs.listFailsAtStart)) {
        m_trace("a search of " + path + " fails");
        return false;
    }
    const std::string pattern = path.substr(cut + 1);
    for (const char* dots : {".", ".."}) {
        platform::DirEntry entry;
        entry.name = dots;
        entry.isDirectory = true;
        entries->push_back(entry);
    }
    for (const auto& [key, entry] : m_entries) entries->push_back(Listed(entry));
    entries->erase(std::remove_if(entries->begin(), entries->end(),
                                  [&](const platform::DirEntry& entry) {
                                      return !platform::posix::MatchesWildcard(pattern, entry.name);
                                  }),
                   entries->end());
    *reached = Fault(m_knobs.listFailsPartWay) ? m_rng.Below(entries->size() + 1) : entries->size() + 1;
    return true;
}

bool WindowsTwin::FindFirst(const std::string& path, const std::function<bool(const platform::DirEntry&)>& accept,
                            platform::DirEntry* found) {
    std::vector<platform::DirEntry> entries;
    size_t reached = 0;
    if (!Listing(path, &entries, &reached)) return false;
    for (size_t i = 0; i < entries.size() && i < reached; ++i) {
        entries[i].changeTime = 0;  // a directory search does not tell it, as FindFirstFile
        if (accept(entries[i])) {
            *found = entries[i];
            return true;
        }
    }
    return false;
}

platform::Match WindowsTwin::FindAny(const std::string& path) {
    std::vector<platform::DirEntry> entries;
    size_t reached = 0;
    if (!Listing(path, &entries, &reached)) return platform::Match::Unknown;
    if (reached > 0 && !entries.empty()) return platform::Match::Found;
    return reached > entries.size() ? platform::Match::None : platform::Match::Unknown;
}

bool WindowsTwin::ListFolder(const std::string& folder, const std::function<void(const platform::DirEntry&)>& each) {
    std::vector<platform::DirEntry> entries;
    size_t reached = 0;
    if (!Listing(folder + (!folder.empty() && folder.back() == '\\' ? "*" : "\\*"), &entries, &reached)) {
        return false;
    }
    for (size_t i = 0; i < entries.size() && i < reached; ++i) each(entries[i]);
    return reached > entries.size();
}

platform::FileKind WindowsTwin::Inspect(const std::string& path) {
    Pass();
    bool device, outside;
    const NodePtr node = Resolve(path, &device, &outside);
    if (driveGone) return platform::FileKind::Unknown;
    if (device) return platform::FileKind::NotAFile;
    if (!node) return platform::FileKind::Missing;
    if (node->deletePending) return platform::FileKind::Unknown;  // access denied
    if (outside || node->kind == Kind::Link) return platform::FileKind::Outside;
    return node->kind == Kind::Pipe ? platform::FileKind::NotAFile : platform::FileKind::DiskFile;
}

platform::Probe WindowsTwin::ProbeExclusive(const std::string& path) {
    Pass();
    bool device, outside;
    NodePtr node = Resolve(path, &device, &outside);
    if (device || (node && node->kind == Kind::Pipe)) {
        m_observer.Violation("an exclusive open of " + path + ", which blocks for good");
        return platform::Probe::Unopenable;
    }
    if (driveGone) return platform::Probe::Unopenable;
    if (node && node->kind == Kind::Link) node = m_outside[Upper(node->data)];
    if (!node) return platform::Probe::Missing;
    if (node->deletePending) return platform::Probe::Unopenable;
    return Shares(node, kRead, 0) ? platform::Probe::Ready : platform::Probe::Busy;
}

std::unique_ptr<platform::File> WindowsTwin::OpenOutput(const std::string& path, const std::string& document,
                                                        platform::OpenFailure* failure) {
    Pass();
    if (path != "LPT1") {
        m_observer.Violation("opened for writing: " + path);
        return nullptr;
    }
    if (Fault(m_knobs.outputBusy)) {
        if (failure) *failure = platform::OpenFailure::Busy;
        m_trace("printer busy");
        return nullptr;
    }
    return std::make_unique<TwinOutput>(*this, document);
}

platform::OpenFailure WindowsTwin::TryOutput(const std::string& path) {
    Pass();
    if (path != "LPT1") m_observer.Violation("tried as an output: " + path);
    return Fault(m_knobs.outputBusy) ? platform::OpenFailure::Busy : platform::OpenFailure::None;
}

// The watch of the one search folder, while the engine keeps it.
class TwinWatch : public platform::FolderWatch {
public:
    explicit TwinWatch(WindowsTwin& fs) : m_fs(fs) {}
    ~TwinWatch() override { m_fs.m_onChange = nullptr; }
    bool Healthy() const override { return !m_fs.m_watchBroken; }

private:
    WindowsTwin& m_fs;
};

std::unique_ptr<platform::FolderWatch> WindowsTwin::WatchFolder(const std::string& folder,
                                                                std::function<void()> onChange) {
    if (!m_knobs.watches || driveGone || Upper(folder + "\\") != Upper(kFolder)) return nullptr;
    m_watchBroken = false;
    m_onChange = std::move(onChange);
    return std::make_unique<TwinWatch>(*this);
}

void WindowsTwin::Changed() {
    if (!m_onChange || m_watchBroken) return;
    if (Fault(m_knobs.watchBreaks)) {
        m_watchBroken = true;
        m_trace("the watch breaks");
        m_onChange();  // its last report
        return;
    }
    if (Fault(m_knobs.notificationLost)) {
        m_trace("a change report is lost");
        return;
    }
    m_onChange();
}

std::unique_ptr<platform::File> WindowsTwin::OpenSource(const std::string& path) {
    Pass();
    bool device, outside;
    NodePtr node = Resolve(path, &device, &outside);
    if (device || (node && node->kind == Kind::Pipe)) {
        m_observer.Violation("a read of " + path + ", which blocks for good");
        return nullptr;
    }
    if (node && node->kind == Kind::Link) node = m_outside[Upper(node->data)];
    if (driveGone || !node || node->deletePending || !Shares(node, kRead, kRead)) return nullptr;
    return std::make_unique<TwinJob>(*this, AddHandle(node, kRead, kRead), false);
}

// Read access with delete access where the account has it, shared for
// reading only; a handle that would lead out of the folder is refused.
std::unique_ptr<platform::File> WindowsTwin::OpenJob(const std::string& path) {
    Pass();
    bool device, outside;
    const NodePtr node = Resolve(path, &device, &outside);
    if (device || (node && node->kind == Kind::Pipe)) {
        m_observer.Violation("a job open of " + path + ", which blocks for good");
        return nullptr;
    }
    if (driveGone || !node || outside || node->kind == Kind::Link || node->deletePending) return nullptr;
    const unsigned access = node->refusesDelete ? kRead : kRead | kDelete;
    if (!Shares(node, access, kRead)) return nullptr;
    m_trace("relay opens " + node->name);
    return std::make_unique<TwinJob>(*this, AddHandle(node, access, kRead), access & kDelete);
}

bool WindowsTwin::Identify(const std::string& path, platform::FileIdentity* identity) {
    Pass();
    bool device, outside;
    NodePtr node = Resolve(path, &device, &outside);
    if (node && node->kind == Kind::Link) node = m_outside[Upper(node->data)];
    if (driveGone || !node || node->deletePending) return false;
    *identity = IdentityOf(*node);
    return true;
}

bool WindowsTwin::IsMissing(const std::string& path) {
    Pass();
    bool device, outside;
    const NodePtr node = Resolve(path, &device, &outside);
    // A drive that went reports a missing path as often as one not ready.
    if (driveGone) return m_rng.Chance(0.5);
    return !device && !node;
}

bool WindowsTwin::SameFile(const std::string& a, const std::string& b) {
    Pass();
    bool device, outside;
    const NodePtr first = Resolve(a, &device, &outside);
    const NodePtr second = Resolve(b, &device, &outside);
    return first && first == second;
}

int WindowsTwin::Open(const std::string& name, unsigned access, unsigned share, bool create, bool ignoreSharing) {
    if (driveGone) return -1;
    NodePtr node = Named(name);
    if (node) {
        if (node->deletePending || ((access & kWrite) && (node->readOnly || node->immutable)) ||
            (!ignoreSharing && !Shares(node, access, share))) {
            return -1;
        }
        if (create) {
            node->data.clear();
            node->version = 0;
            node->changeTime = Stamp();
        }
    } else {
        if (!create) return -1;
        node = std::make_shared<Node>();
        node->name = name;
        node->linked = true;
        node->index = NewIndex(name);
        node->lastWrite = 1 + m_nowMs() / m_knobs.timeStepMs * m_knobs.timeStepMs;
        node->changeTime = Stamp();
        m_entries[Upper(name)] = Entry{node, name, true};
        Changed();
    }
    return AddHandle(node, access, share);
}

void WindowsTwin::Write(int handle, const std::string& bytes, uint64_t version, uint64_t keepLastWrite) {
    Node& node = *m_handles.at(handle).node;
    node.data += bytes;
    node.version = version;
    node.lastWrite = keepLastWrite ? keepLastWrite : 1 + m_nowMs() / m_knobs.timeStepMs * m_knobs.timeStepMs;
    node.changeTime = Stamp();
    Changed();
}

void WindowsTwin::Close(int handle) {
    const NodePtr node = m_handles.at(handle).node;
    m_handles.erase(handle);
    if (!node->deletePending || std::any_of(m_handles.begin(), m_handles.end(),
                                            [&](const auto& other) { return other.second.node == node; })) {
        return;
    }
    node->deletePending = false;
    if (!node->immutable) {
        Unlink(node, node->deleteByRelay);
        return;
    }
    // The relay's handle gives the attribute back before the close only where
    // the delete was not reported pending; one reported pending stays without it.
    m_trace(node->name + " stays after its delete");
    node->deleteByRelay = false;
    node->readOnlyCleared = false;
    ++stays;
}

bool WindowsTwin::Delete(const std::string& name) {
    const NodePtr node = Named(name);
    if (driveGone || !node || node->deletePending || node->readOnly || node->immutable ||
        !Shares(node, kDelete, kRead | kWrite | kDelete)) {
        return false;
    }
    node->deletePending = true;
    node->deleteByRelay = false;
    Close(AddHandle(node, kDelete, kRead | kWrite | kDelete));
    return true;
}

bool WindowsTwin::RenameOver(const std::string& from, const std::string& to) {
    const NodePtr source = Named(from), target = Named(to);
    const unsigned all = kRead | kWrite | kDelete;
    if (driveGone || !source || source->deletePending || !Shares(source, kDelete, all)) return false;
    if (target && (target->deletePending || target->readOnly || target->immutable || !Shares(target, kDelete, all))) {
        return false;
    }
    if (target) Unlink(target, false);
    m_entries.erase(Upper(from));
    source->name = to;
    if (m_knobs.index == Knobs::Index::SlotPerName) source->index = NewIndex(to);
    source->changeTime = Stamp();
    m_entries[Upper(to)] = Entry{source, to, true};
    Changed();
    return true;
}

WindowsTwin::NodePtr WindowsTwin::Named(const std::string& name) const {
    const auto found = m_entries.find(Upper(name));
    return found != m_entries.end() ? found->second.node : nullptr;
}

WindowsTwin::NodePtr WindowsTwin::NodeOf(int handle) const { return m_handles.at(handle).node; }

void WindowsTwin::AddStray(const std::string& name, Kind kind, bool exactName, const std::string& listedAs) {
    auto node = std::make_shared<Node>();
    node->name = name;
    node->kind = kind;
    node->linked = true;
    node->index = m_nextIndex++;
    node->lastWrite = 1 + m_nowMs();
    node->changeTime = Stamp();
    if (kind == Kind::Link) {
        node->data = std::string(kOutside) + "T" + std::to_string(node->index) + ".GLF";
        auto target = std::make_shared<Node>();
        target->name = node->data;
        target->data = "outside " + node->data;
        target->linked = true;
        m_outside[Upper(node->data)] = target;
    } else if (kind == Kind::File) {
        node->data = "stray " + name;
    }
    m_entries[Upper(name)] = Entry{node, listedAs, exactName};
}

bool TwinJob::Read(void* buffer, uint32_t size, uint32_t* bytesRead) {
    m_fs.Pass();
    *bytesRead = 0;
    const WindowsTwin::NodePtr node = m_fs.NodeOf(m_handle);
    if (m_fs.driveGone || node->unreadable || m_fs.Fault(m_fs.m_knobs.readFails)) {
        ++m_fs.readFailures;
        return false;
    }
    const size_t count = std::min<size_t>(size, node->data.size() - std::min(m_position, node->data.size()));
    std::copy_n(node->data.data() + m_position, count, static_cast<char*>(buffer));
    m_fs.lastReadVersion = node->version;
    m_position += count;
    *bytesRead = static_cast<uint32_t>(count);
    return true;
}

bool TwinJob::Identify(platform::FileIdentity* identity) {
    if (m_fs.driveGone) return false;
    *identity = m_fs.IdentityOf(*m_fs.NodeOf(m_handle));
    return true;
}

// As `del /f`: a read-only file loses the attribute first, which moves its
// change time; the system puts it back when the file stays.
void TwinJob::KeepAfterAll() {
    WindowsTwin::Node& node = *m_fs.NodeOf(m_handle);
    node.deletePending = false;
    node.deleteByRelay = false;
    if (node.readOnlyCleared) {
        node.readOnly = true;
        node.readOnlyCleared = false;
        node.changeTime = m_fs.Stamp();
    }
    m_fs.m_trace("relay keeps " + node.name + " after all");
}

platform::Deletion TwinJob::DeleteWhenClosed() {
    m_fs.Pass();
    WindowsTwin::Node& node = *m_fs.NodeOf(m_handle);
    if (!m_mayDelete || m_fs.driveGone) return platform::Deletion::Refused;
    if (node.readOnly) {
        node.readOnly = false;
        node.readOnlyCleared = true;
        node.changeTime = m_fs.Stamp();
    }
    node.deletePending = true;
    node.deleteByRelay = true;
    m_fs.m_trace("relay deletes " + node.name);
    if (m_fs.m_knobs.reportsPending) return platform::Deletion::Pending;
    // Where the delete is not known to happen, the attribute goes back at
    // once through the handle, as the Win32 twin does.
    if (node.readOnlyCleared) {
        node.readOnly = true;
        node.readOnlyCleared = false;
        node.changeTime = m_fs.Stamp();
        ++m_fs.readOnlyRestores;
    }
    return platform::Deletion::Accepted;
}

}  // namespace sim
