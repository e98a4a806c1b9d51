// Output to a printer that Windows reaches through its print spooler (USB and
// network printers have no port a program could open as a file).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

// The printers installed on this PC and those it is connected to, by name.
std::vector<std::wstring> InstalledPrinters();

// The installed printer whose name equals `output` (a setting in the ANSI code
// page) without regard to case, as the spooler spells it; empty when none does.
std::wstring FindInstalledPrinter(const std::string& output);

// Whether the printer can be opened now; no document is started.
OpenFailure TrySpooledOutput(const std::wstring& printer);

// Starts one RAW print job named `documentName` on `printer`. Nothing is
// printed until Finish succeeds; a job left unfinished is aborted.
std::unique_ptr<File> OpenSpooledOutput(const std::wstring& printer,
                                        const std::string& documentName, OpenFailure* failure);

}  // namespace platform
