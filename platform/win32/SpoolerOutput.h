// Output to a printer that Windows reaches through its print spooler (USB and
// network printers have no port a program could open as a file).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace platform {

// The printers installed on this PC and those it is connected to, by name;
// false when the spooler could not be asked (stopped or restarting).
bool ListInstalledPrinters(std::vector<std::wstring>* names);
// The same list, empty when the spooler could not be asked (for a menu).
std::vector<std::wstring> InstalledPrinters();

enum class PrinterLookup { Found, NotInstalled, SpoolerUnavailable };

// Whether the printer can be opened now; no document is started.
OpenFailure TrySpooledOutput(const std::wstring& printer);

// Looks for the installed printer whose name equals `output` (a setting in the
// ANSI code page) without regard to case; `printer` receives the spooler's
// spelling.
PrinterLookup FindInstalledPrinter(const std::string& output, std::wstring* printer);

// True unless `output` can only be a device or a file: a bare name the system
// knows no device by, or a print share's "\\server\name".
bool MayNamePrinter(const std::string& output);

// Starts one print job named `documentName` on `printer`, in the data type its
// driver passes to the port unchanged. Nothing is printed until Finish
// succeeds; a job left unfinished is aborted.
std::unique_ptr<File> OpenSpooledOutput(const std::wstring& printer,
                                        const std::string& documentName, OpenFailure* failure);

}  // namespace platform
