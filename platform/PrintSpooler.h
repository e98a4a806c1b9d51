// What the relay needs to know of the print spooler, in portable terms: the
// data type a printer's driver passes through, and what became of a document
// the spooler accepted. The POSIX twin has no spooler.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// PRINTER_DRIVER_XPS in a driver's attributes (DRIVER_INFO_8).
constexpr uint32_t kPrinterDriverXps = 0x00000002;

// The data type to start a document with on a printer whose driver has these
// dependent files (DRIVER_INFO_3, names or full paths) and attributes. An
// XPS-based driver's pipeline prints "RAW" as nothing; it hands "XPS_PASS" to
// the port unchanged. A GDI-based driver takes "RAW".
std::string DataTypeForDriver(const std::vector<std::wstring>& dependentFiles, uint32_t attributes);

// Where the spooler has a document it accepted. Unknown when it cannot be
// asked (stopped, restarting, a print server that does not answer).
enum class SpoolJobState { Gone, Queued, Paused, Error, Offline, PaperOut, Unknown };

class SpoolQueue {
public:
    virtual ~SpoolQueue() = default;
    virtual SpoolJobState Look(const std::string& printerUtf8, uint32_t jobId) = 0;
};

SpoolQueue& SystemSpoolQueue();

}  // namespace platform
