#include "tests/wine/PlatformTestSupport.h"

#include <winspool.h>

#include <utility>
#include <vector>

namespace wine_test {
namespace {

std::string Environment(const char* name) {
    char value[MAX_PATH] = "";
    const DWORD length = GetEnvironmentVariableA(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(value, length) : std::string();
}

void RemoveTree(const std::string& folder) {
    WIN32_FIND_DATAA data;
    const UniqueFindHandle search(FindFirstFileA((folder + "\\*").c_str(), &data));
    if (search) {
        do {
            const std::string name = data.cFileName;
            if (name == "." || name == "..") continue;
            const std::string path = folder + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search.get(), &data));
    }
    RemoveDirectoryA(folder.c_str());
}

}  // namespace

std::string ToWinePath(const std::string& unixPath) {
    if (unixPath.empty() || unixPath[0] != '/') return unixPath;
    std::string path = "Z:" + unixPath;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::string BinDir() { return ToWinePath(VARNOW_BIN_DIR); }

std::string LptCapture(int port) {
    const std::string name = "VARNOW_LPT" + std::to_string(port) + "_CAPTURE";
    return ToWinePath(Environment(name.c_str()));
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    const UniqueKernelHandle file(
        CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    return file &&
           WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::string ReadBytes(const std::string& path) {
    const UniqueKernelHandle file(CreateFileA(path.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        0, nullptr));
    std::string bytes;
    char chunk[4096];
    DWORD count = 0;
    while (file && ReadFile(file.get(), chunk, sizeof chunk, &count, nullptr) && count > 0) {
        bytes.append(chunk, count);
    }
    return bytes;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TempFolder::TempFolder() {
    static int serial = 0;
    char temp[MAX_PATH] = "";
    GetTempPathA(MAX_PATH, temp);
    m_path = std::string(temp) + "varnow-" + std::to_string(GetCurrentProcessId()) + "-" +
             std::to_string(++serial);
    RemoveTree(m_path);
    CreateDirectoryA(m_path.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(m_path); }

WideFile::WideFile(std::wstring path, const std::string& bytes)
    : m_path(L"\\\\?\\" + std::move(path)) {
    const UniqueKernelHandle file(
        CreateFileW(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    m_written =
        file &&
        WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
        written == bytes.size();
}

WideFile::~WideFile() { DeleteFileW(m_path.c_str()); }

bool WideFile::Exists() const {
    return GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

HeldFile::HeldFile(const std::string& path) {
    static int serial = 0;
    const std::string tag = "Local\\varnow-hold-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(++serial);
    m_ready = UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, (tag + "-ready").c_str()));
    m_release = UniqueKernelHandle(CreateEventA(nullptr, TRUE, FALSE, (tag + "-release").c_str()));
    std::string commandLine = "\"" + BinDir() + "\\holdfile.exe\" \"" + path + "\" " + tag +
                              "-ready " + tag + "-release";
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!m_ready || !m_release ||
        !CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return;
    }
    const UniqueKernelHandle mainThread(process.hThread);
    m_process = UniqueKernelHandle(process.hProcess);
    // A helper that cannot open the file ends without signalling.
    const HANDLE waitFor[] = {m_ready.get(), m_process.get()};
    m_held = WaitForMultipleObjects(2, waitFor, FALSE, 20000) == WAIT_OBJECT_0;
}

HeldFile::~HeldFile() { Release(); }

namespace {

const wchar_t kSpoolerPorts[] = L"Software\\Wine\\Printing\\Spooler";

void ClosePrinterHandle(HANDLE printer) {
    if (printer) ClosePrinter(printer);
}

}  // namespace

// Wine without CUPS has no printer driver; its PostScript driver serves, since
// RAW jobs pass it by.
TestPrinter::TestPrinter(std::wstring name, std::wstring port, const std::wstring& target, Driver kind)
    : m_name(std::move(name)), m_port(std::move(port)) {
    std::wstring driverName = kind == Driver::Xps ? L"Varnow XPS Test Driver" : L"Wine PostScript Driver";
    wchar_t driverFile[] = L"wineps.drv";
    wchar_t dependentFiles[] = L"wineps.drv\0pipelineconfig.xml\0";
    DRIVER_INFO_3W driver{};
    driver.cVersion = 3;
    driver.pName = &driverName[0];
    driver.pDriverPath = driverFile;
    driver.pDataFile = driverFile;
    driver.pConfigFile = driverFile;
    if (kind == Driver::Xps) driver.pDependentFiles = dependentFiles;
    if (!AddPrinterDriverW(nullptr, 3, reinterpret_cast<BYTE*>(&driver)) &&
        GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
        return;
    }
    UniqueRegKey ports;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kSpoolerPorts, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        ports.put(), nullptr) != ERROR_SUCCESS ||
        RegSetValueExW(ports.get(), m_port.c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(target.c_str()),
                       static_cast<DWORD>((target.size() + 1) * sizeof(wchar_t))) != ERROR_SUCCESS) {
        return;
    }
    wchar_t processor[] = L"WinPrint";
    wchar_t raw[] = L"RAW";
    PRINTER_INFO_2W info{};
    info.pPrinterName = &m_name[0];
    info.pPortName = &m_port[0];
    info.pDriverName = &driverName[0];
    info.pPrintProcessor = processor;
    info.pDatatype = raw;
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    const HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
    m_added = printer != nullptr;
    ClosePrinterHandle(printer);
}

TestPrinter::~TestPrinter() {
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ALL_ACCESS};
    HANDLE printer = nullptr;
    if (m_added && OpenPrinterW(&m_name[0], &printer, &access)) {
        DeletePrinter(printer);
        ClosePrinterHandle(printer);
    }
    UniqueRegKey ports;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSpoolerPorts, 0, KEY_SET_VALUE, ports.put()) ==
        ERROR_SUCCESS) {
        RegDeleteValueW(ports.get(), m_port.c_str());
    }
}

ImportPatch::ImportPatch(const char* dll, const char* function, void* replacement) {
    auto* const base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         imports.VirtualAddress && entry->Name; ++entry) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + entry->Name), dll) != 0) continue;
        auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (lstrcmpA(reinterpret_cast<const char*>(byName->Name), function) != 0) continue;
            void** slot = reinterpret_cast<void**>(&slots->u1.Function);
            DWORD was = 0;
            if (!VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &was)) return;
            m_original = *slot;
            *slot = replacement;
            VirtualProtect(slot, sizeof *slot, was, &was);
            m_slot = slot;
            return;
        }
    }
}

ImportPatch::~ImportPatch() {
    DWORD was = 0;
    if (m_slot && VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &was)) {
        *m_slot = m_original;
        VirtualProtect(m_slot, sizeof *m_slot, was, &was);
    }
}

bool HeldFile::Release() {
    if (!m_process) return false;
    SetEvent(m_release.get());
    const bool ended = WaitForSingleObject(m_process.get(), 20000) == WAIT_OBJECT_0;
    m_process.reset();
    m_held = false;
    return ended;
}

}  // namespace wine_test
