#include "platform/win32/SpoolerOutput.h"

#include <windows.h>
#include <winspool.h>

#include <utility>

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
    HANDLE Get() const { return m_handle; }
    HANDLE* Put() { return &m_handle; }

private:
    HANDLE m_handle = nullptr;
};

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

class SpooledFile : public File {
public:
    bool Start(const std::wstring& printer, const std::string& documentName) {
        if (!OpenPrinterW(const_cast<wchar_t*>(printer.c_str()), m_printer.Put(), nullptr)) {
            return false;
        }
        std::wstring name = FileNamePart(documentName);
        wchar_t raw[] = L"RAW";
        DOC_INFO_1W info{};
        info.pDocName = &name[0];
        info.pDatatype = raw;
        m_started = StartDocPrinterW(m_printer.Get(), 1, reinterpret_cast<BYTE*>(&info)) != 0;
        return m_started;
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
        m_finished = m_started && EndDocPrinter(m_printer.Get()) != FALSE;
        return m_finished;
    }

    bool CommitsOnFinish() const override { return true; }

private:
    PrinterHandle m_printer;
    bool m_started = false;
    bool m_finished = false;
};

}  // namespace

// Level 4 asks the spooler for names only, which it answers from its own
// list without reaching out to the printers.
std::vector<std::wstring> InstalledPrinters() {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    std::vector<BYTE> buffer;
    DWORD needed = 0;
    DWORD count = 0;
    while (!EnumPrintersW(flags, nullptr, 4, buffer.data(), static_cast<DWORD>(buffer.size()),
                          &needed, &count)) {
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed <= buffer.size()) return {};
        buffer.resize(needed);
    }
    std::vector<std::wstring> names;
    const auto* printers = reinterpret_cast<const PRINTER_INFO_4W*>(buffer.data());
    for (DWORD i = 0; i < count; ++i) {
        if (printers[i].pPrinterName) names.emplace_back(printers[i].pPrinterName);
    }
    return names;
}

std::wstring FindInstalledPrinter(const std::string& output) {
    const std::wstring wanted = ToWide(output, CP_ACP);
    if (wanted.empty()) return std::wstring();
    for (std::wstring& name : InstalledPrinters()) {
        if (CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, name.c_str(),
                           static_cast<int>(name.size()), wanted.c_str(),
                           static_cast<int>(wanted.size())) == CSTR_EQUAL) {
            return std::move(name);
        }
    }
    return std::wstring();
}

OpenFailure TrySpooledOutput(const std::wstring& printer) {
    PrinterHandle handle;
    if (OpenPrinterW(const_cast<wchar_t*>(printer.c_str()), handle.Put(), nullptr)) return OpenFailure::None;
    return SpoolerFailureOf(GetLastError());
}

std::unique_ptr<File> OpenSpooledOutput(const std::wstring& printer,
                                        const std::string& documentName, OpenFailure* failure) {
    auto file = std::make_unique<SpooledFile>();
    if (file->Start(printer, documentName)) return file;
    if (failure) *failure = SpoolerFailureOf(GetLastError());
    return nullptr;
}

}  // namespace platform
