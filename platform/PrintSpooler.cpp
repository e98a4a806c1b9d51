#include "platform/PrintSpooler.h"

namespace platform {
namespace {

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

// The file name part of a dependent file, compared without regard to case.
bool IsFileNamed(const std::wstring& path, const wchar_t* name) {
    const size_t slash = path.find_last_of(L"\\/");
    const std::wstring file = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t i = 0;
    for (; i < file.size() && name[i]; ++i) {
        if (LowerAscii(file[i]) != name[i]) return false;
    }
    return i == file.size() && !name[i];
}

}  // namespace

std::string DataTypeForDriver(const std::vector<std::wstring>& dependentFiles, uint32_t attributes) {
    if (attributes & kPrinterDriverXps) return "XPS_PASS";
    for (const std::wstring& file : dependentFiles) {
        if (IsFileNamed(file, L"pipelineconfig.xml")) return "XPS_PASS";
    }
    return "RAW";
}

}  // namespace platform
