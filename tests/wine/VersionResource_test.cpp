// What Windows reads from Varnow.exe about its version: the version resource
// (Explorer's Details tab, the installer's records) and the manifest's
// identity, both taken from the build's project version.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "framework/Handles.h"
#include "tests/wine/PlatformTestSupport.h"

namespace {

struct ModuleTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
using UniqueModule = UniqueHandle<ModuleTraits>;

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring ProgramPath() { return Widen(wine_test::BinDir() + "\\Varnow.exe"); }

std::wstring StringValue(std::vector<BYTE>& info, const std::wstring& name) {
    void* value = nullptr;
    UINT length = 0;
    const std::wstring query = L"\\StringFileInfo\\041104B0\\" + name;
    if (!VerQueryValueW(info.data(), query.c_str(), &value, &length) || length == 0) return L"";
    return static_cast<const wchar_t*>(value);
}

std::string Manifest() {
    const UniqueModule program(
        LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!program) return "";
    const HRSRC found = FindResourceA(program.get(), MAKEINTRESOURCEA(1), RT_MANIFEST);
    const HGLOBAL loaded = found ? LoadResource(program.get(), found) : nullptr;
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return "";
    return std::string(static_cast<const char*>(bytes), SizeofResource(program.get(), found));
}

}  // namespace

TEST(VersionResource, CarriesTheProjectVersionMakerAndJapaneseTexts) {
    unsigned major = 0, minor = 0, patch = 0;
    ASSERT_EQ(std::sscanf(VARNOW_VERSION, "%u.%u.%u", &major, &minor, &patch), 3);
    const std::wstring fourPart = Widen(VARNOW_VERSION ".0");

    const std::wstring path = ProgramPath();
    const DWORD size = GetFileVersionInfoSizeW(path.c_str(), nullptr);
    ASSERT_NE(size, 0u);
    std::vector<BYTE> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(minor, major));
    EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(0, patch));
    EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(minor, major));
    EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(0, patch));

    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", &value, &length));
    ASSERT_EQ(length, 2 * sizeof(WORD));
    EXPECT_EQ(static_cast<const WORD*>(value)[0], 0x0411);
    EXPECT_EQ(static_cast<const WORD*>(value)[1], 1200);

    EXPECT_EQ(StringValue(info, L"FileVersion"), fourPart);
    EXPECT_EQ(StringValue(info, L"ProductVersion"), fourPart);
    EXPECT_EQ(StringValue(info, L"CompanyName"), L"Brenholt");
    EXPECT_EQ(StringValue(info, L"ProductName"), L"Varnow");
    EXPECT_EQ(StringValue(info, L"OriginalFilename"), L"Varnow.exe");
    EXPECT_EQ(StringValue(info, L"LegalCopyright"), L"Copyright \u00A9 2026 Brenholt");
    // Read from a UTF-8 script: kana and kanji must arrive as such, not as
    // one character per byte.
    EXPECT_EQ(StringValue(info, L"FileDescription"), L"ジョブファイル中継ツール");

    const std::string manifest = Manifest();
    EXPECT_NE(manifest.find("name=\"Brenholt.Varnow\" version=\"" VARNOW_VERSION ".0\""),
              std::string::npos)
        << manifest;
}
