#include "platform/win32/SpoolerOutput.h"

#include <windows.h>
#include <winspool.h>

#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/FileNames.h"
#include "platform/PrintSpooler.h"
#include "platform/win32/WideText.h"

namespace platform {
namespace {

// Owns an open printer; ClosePrinter, not CloseHandle, releases it.
class PrinterHandle {
public:
    PrinterHandle() = default;
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    ~PrinterHandle() {
        if (m_handle) ClosePrinter(m_handle);
    }
    bool Open(const std::wstring& name) {
        return OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &m_handle, nullptr) != FALSE;
    }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle = nullptr;
};

// Calls `get(buffer, size, &needed)` with a buffer grown to what it needs;
// empty when it fails for another reason.
template <typename Get>
std::vector<BYTE> Fetch(Get get) {
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    while (!get(buffer.data(), static_cast<DWORD>(buffer.size()), &needed)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return {};
        buffer.resize(needed);
    }
    if (buffer.empty()) buffer.resize(1);  // a call that needed nothing still succeeded
    return buffer;
}

std::vector<std::wstring> SplitMultiString(const wchar_t* strings) {
    std::vector<std::wstring> parts;
    for (const wchar_t* part = strings; part && *part; part += parts.back().size() + 1) {
        parts.emplace_back(part);
    }
    return parts;
}

std::vector<BYTE> DriverInfo(HANDLE printer, DWORD level) {
    return Fetch([&](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetPrinterDriverW(printer, nullptr, level, buffer, size, needed) != FALSE;
    });
}

// Level 8 tells the attributes too (Vista and later); level 3 the dependent
// files on any system. A driver that cannot be asked gets RAW, as before.
std::string DriverDataType(HANDLE printer) {
    const std::vector<BYTE> full = DriverInfo(printer, 8);
    if (full.size() >= sizeof(DRIVER_INFO_8W)) {
        const auto* driver = reinterpret_cast<const DRIVER_INFO_8W*>(full.data());
        return DataTypeForDriver(SplitMultiString(driver->pDependentFiles), driver->dwPrinterDriverAttributes);
    }
    const std::vector<BYTE> basic = DriverInfo(printer, 3);
    if (basic.size() >= sizeof(DRIVER_INFO_3W)) {
        const auto* driver = reinterpret_cast<const DRIVER_INFO_3W*>(basic.data());
        return DataTypeForDriver(SplitMultiString(driver->pDependentFiles), 0);
    }
    return "RAW";
}

// The part after the last separator. Split in wide characters, since the
// second byte of a Shift-JIS character may be the byte of "\".
std::wstring FileNamePart(const std::string& path) {
    const std::wstring wide = ToWide(path, CP_ACP);
    const size_t separator = wide.find_last_of(L"\\/:");
    return separator == std::wstring::npos ? wide : wide.substr(separator + 1);
}

OpenFailure SpoolerFailureOf(DWORD error) {
    switch (error) {
    case ERROR_INVALID_PRINTER_NAME:
    case ERROR_UNKNOWN_PRINTER_DRIVER:
    case ERROR_PRINTER_DELETED: return OpenFailure::NotFound;
    case ERROR_ACCESS_DENIED: return OpenFailure::AccessDenied;
    case ERROR_BUSY:
    case ERROR_NOT_READY:
    case ERROR_PRINTQ_FULL: return OpenFailure::Busy;
    default: return OpenFailure::Other;
    }
}

// One document, written as one page: drivers expect the writes inside a page,
// and the XPS pipeline passes a page of XPS_PASS data through as it is.
class SpooledFile : public File {
public:
    bool Start(const std::wstring& printer, const std::string& documentName) {
        if (!m_printer.Open(printer)) return false;
        m_ticket.printer = FromWide(printer, CP_UTF8);
        m_ticket.dataType = DriverDataType(m_printer.Get());
        std::wstring name = FileNamePart(documentName);
        std::wstring dataType = ToWide(m_ticket.dataType, CP_ACP);
        DOC_INFO_1W info{};
        info.pDocName = &name[0];
        info.pDatatype = &dataType[0];
        m_ticket.jobId = StartDocPrinterW(m_printer.Get(), 1, reinterpret_cast<BYTE*>(&info));
        m_started = m_ticket.jobId != 0;
        return m_started && StartPagePrinter(m_printer.Get());
    }

    // A print job that was not finished must not print: a cancelled or
    // failed job keeps its file and is sent again whole.
    ~SpooledFile() override {
        if (m_started && !m_finished) AbortPrinter(m_printer.Get());
    }

    bool Read(void*, uint32_t, uint32_t* bytesRead) override {
        *bytesRead = 0;
        return false;
    }

    bool Write(const void* buffer, uint32_t size, uint32_t* bytesWritten) override {
        DWORD count = 0;
        const bool ok =
            WritePrinter(m_printer.Get(), const_cast<void*>(buffer), size, &count) != FALSE;
        *bytesWritten = ok ? count : 0;
        return ok;
    }

    void TruncateIfDiskFile() override {}

    bool Identify(FileIdentity*) override { return false; }

    bool Finish() override {
        m_finished = m_started && EndPagePrinter(m_printer.Get()) && EndDocPrinter(m_printer.Get());
        return m_finished;
    }

    bool CommitsOnFinish() const override { return true; }

    SpoolTicket Spooled() const override { return m_ticket; }

private:
    PrinterHandle m_printer;
    SpoolTicket m_ticket;
    bool m_started = false;
    bool m_finished = false;
};

// The printer's own state counts where the job's says nothing: a paused
// queue or a printer out of paper holds every job in it.
SpoolJobState StateOf(DWORD job, DWORD printer) {
    if ((job & JOB_STATUS_PAPEROUT) || (printer & PRINTER_STATUS_PAPER_OUT)) return SpoolJobState::PaperOut;
    if ((job & JOB_STATUS_OFFLINE) || (printer & PRINTER_STATUS_OFFLINE)) return SpoolJobState::Offline;
    if ((job & (JOB_STATUS_ERROR | JOB_STATUS_USER_INTERVENTION | JOB_STATUS_BLOCKED_DEVQ)) ||
        (printer & PRINTER_STATUS_ERROR)) {
        return SpoolJobState::Error;
    }
    if ((job & JOB_STATUS_PAUSED) || (printer & PRINTER_STATUS_PAUSED)) return SpoolJobState::Paused;
    return SpoolJobState::Queued;
}

// Level 1 of the job and level 6 of the printer are the spooler's own
// bookkeeping: asking never reaches the printer itself.
SpoolJobState AskSpooler(const std::string& printerUtf8, uint32_t jobId) {
    PrinterHandle printer;
    if (!printer.Open(ToWide(printerUtf8, CP_UTF8))) return SpoolJobState::Unknown;
    const std::vector<BYTE> job = Fetch([&](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetJobW(printer.Get(), jobId, 1, buffer, size, needed) != FALSE;
    });
    // A spooler that opened the printer but has no such job let it go
    // (Windows says ERROR_INVALID_PARAMETER, Wine says nothing).
    if (job.size() < sizeof(JOB_INFO_1W)) return SpoolJobState::Gone;
    const DWORD status = reinterpret_cast<const JOB_INFO_1W*>(job.data())->Status;
    if (status & (JOB_STATUS_PRINTED | JOB_STATUS_DELETED | JOB_STATUS_DELETING | JOB_STATUS_COMPLETE)) {
        return SpoolJobState::Gone;
    }
    const std::vector<BYTE> state = Fetch([&](BYTE* buffer, DWORD size, DWORD* needed) {
        return GetPrinterW(printer.Get(), 6, buffer, size, needed) != FALSE;
    });
    const DWORD printerStatus =
        state.size() >= sizeof(PRINTER_INFO_6) ? reinterpret_cast<const PRINTER_INFO_6*>(state.data())->dwStatus : 0;
    return StateOf(status, printerStatus);
}

// Asks on a thread of its own: for a printer shared by a print server that
// has gone, OpenPrinter waits for the network's time-out, and the window must
// not. A look answers what the last round of asking found (Unknown before
// it) and starts the next round, for the jobs looked at since, unless one is
// still running.
class Win32SpoolQueue : public SpoolQueue {
public:
    SpoolJobState Look(const std::string& printerUtf8, uint32_t jobId) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const Job job{printerUtf8, jobId};
        m_wanted[job] = SpoolJobState::Unknown;
        const auto known = m_known.find(job);
        const SpoolJobState state = known != m_known.end() ? known->second : SpoolJobState::Unknown;
        if (!m_asking) {
            m_asking = true;
            try {
                std::thread(&Win32SpoolQueue::AskAll, this, std::exchange(m_wanted, {})).detach();
            } catch (...) {
                m_asking = false;  // no thread now: asked again on the next look
            }
        }
        return state;
    }

private:
    using Job = std::pair<std::string, uint32_t>;

    // Only the jobs of this round are kept: the others are no longer looked at.
    void AskAll(std::map<Job, SpoolJobState> jobs) {
        for (auto& [job, state] : jobs) state = AskSpooler(job.first, job.second);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_known = std::move(jobs);
        m_asking = false;
    }

    std::mutex m_mutex;
    std::map<Job, SpoolJobState> m_wanted;
    std::map<Job, SpoolJobState> m_known;
    bool m_asking = false;
};

}  // namespace

// Level 4 asks the spooler for names only, which it answers from its own
// list without reaching out to the printers.
bool ListInstalledPrinters(std::vector<std::wstring>* names) {
    names->clear();
    DWORD count = 0;
    const std::vector<BYTE> buffer = Fetch([&](BYTE* data, DWORD size, DWORD* needed) {
        return EnumPrintersW(PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS, nullptr, 4, data, size, needed,
                             &count) != FALSE;
    });
    if (buffer.empty()) return false;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName) names->emplace_back(printers[i].pPrinterName);
    }
    return true;
}

std::vector<std::wstring> InstalledPrinters() {
    std::vector<std::wstring> names;
    ListInstalledPrinters(&names);
    return names;
}

PrinterLookup FindInstalledPrinter(const std::string& output, std::wstring* printer) {
    const std::wstring wanted = ToWide(output, CP_ACP);
    std::vector<std::wstring> names;
    if (!ListInstalledPrinters(&names)) return PrinterLookup::SpoolerUnavailable;
    if (wanted.empty()) return PrinterLookup::NotInstalled;
    for (std::wstring& name : names) {
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(),
                           static_cast<int>(name.size()), wanted.c_str(),
                           static_cast<int>(wanted.size())) == CSTR_EQUAL) {
            *printer = std::move(name);
            return PrinterLookup::Found;
        }
    }
    return PrinterLookup::NotInstalled;
}

// A drive letter, a folder or a port's colon say file or device; so does a
// device's name. A UNC path with one separator after the server may be a
// print share.
bool MayNamePrinter(const std::string& output) {
    const std::wstring name = ToWide(output, CP_ACP);
    if (name.empty()) return false;
    if (name.size() > 2 && name.compare(0, 2, L"\\\\") == 0) {
        const size_t share = name.find_first_of(L"\\/", 2);
        return share != std::wstring::npos && share > 2 && share + 1 < name.size() &&
               name.find_first_of(L"\\/", share + 1) == std::wstring::npos;
    }
    return name.find_first_of(L"\\/:") == std::wstring::npos && !IsDeviceName(FromWide(name, CP_UTF8));
}

OpenFailure TrySpooledOutput(const std::wstring& printer) {
    PrinterHandle handle;
    if (handle.Open(printer)) return OpenFailure::None;
    return SpoolerFailureOf(GetLastError());
}

std::unique_ptr<File> OpenSpooledOutput(const std::wstring& printer,
                                        const std::string& documentName, OpenFailure* failure) {
    auto file = std::make_unique<SpooledFile>();
    if (file->Start(printer, documentName)) return file;
    if (failure) *failure = SpoolerFailureOf(GetLastError());
    return nullptr;
}

// Never destroyed: a round of asking may still run as the program exits.
SpoolQueue& SystemSpoolQueue() {
    static Win32SpoolQueue* const queue = new Win32SpoolQueue;
    return *queue;
}

}  // namespace platform
