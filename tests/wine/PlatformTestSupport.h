// Shared by the platform, search, profile and worker tests under Wine: temp
// folders, whole-file reads and writes, and a second process that holds a file
// open the way a producer does.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Handles.h"

namespace wine_test {

// A Unix path as Windows programs under Wine reach it, through drive Z:.
std::string ToWinePath(const std::string& unixPath);
// The build folder, where the helper programs are.
std::string BinDir();
// The file that LPT<port> writes to, from VARNOW_LPT<port>_CAPTURE; empty
// when unset.
std::string LptCapture(int port);

bool WriteBytes(const std::string& path, const std::string& bytes);
// The whole file; empty when it cannot be read.
std::string ReadBytes(const std::string& path);
bool Exists(const std::string& path);

// A fresh folder under the temp folder, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

// A job the byte-string functions cannot reach (a name outside the code page,
// a path beyond MAX_PATH), written through the wide functions with the
// "\\?\" prefix, and removed the same way when the object goes. `path` is absolute.
class WideFile {
public:
    WideFile(std::wstring path, const std::string& bytes);
    ~WideFile();
    WideFile(const WideFile&) = delete;
    WideFile& operator=(const WideFile&) = delete;
    bool Written() const { return m_written; }
    bool Exists() const;

private:
    std::wstring m_path;
    bool m_written = false;
};

// Runs tests/wine/helpers/holdfile.exe on a file until Release() or the end
// of the object: the file is open with no sharing in another process.
class HeldFile {
public:
    explicit HeldFile(const std::string& path);
    ~HeldFile();
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    // True once the other process has the file open.
    bool IsHeld() const { return m_held; }
    // Lets the other process close the file and waits until it has ended.
    bool Release();

private:
    UniqueKernelHandle m_ready;
    UniqueKernelHandle m_release;
    UniqueKernelHandle m_process;
    bool m_held = false;
};

// A RAW printer added to the Wine prefix for the life of the object. Wine's
// spooler copies each finished job of its port to `target` (a Unix path,
// or "|command" to pipe it).
class TestPrinter {
public:
    // An XPS printer's driver names the pipeline's configuration among its
    // dependent files, as the class drivers of Windows do.
    enum class Driver { Gdi, Xps };
    TestPrinter(std::wstring name, std::wstring port, const std::wstring& target, Driver driver = Driver::Gdi);
    ~TestPrinter();
    TestPrinter(const TestPrinter&) = delete;
    TestPrinter& operator=(const TestPrinter&) = delete;
    bool Added() const { return m_added; }

private:
    std::wstring m_name;
    std::wstring m_port;
    bool m_added = false;
};

// Points this program's import of `function` from `dll` at `replacement` for
// the life of the object, so that a test can make a system call fail.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;
    bool Patched() const { return m_slot != nullptr; }

private:
    void** m_slot = nullptr;
    void* m_original = nullptr;
};

}  // namespace wine_test
