// The Win32 twin of the record's files and text conversion on real files,
// under code page 932 and TZ=UTC as the harness sets them.
#include "platform/RecordFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/SectionName.h"
#include "framework/Text.h"
#include "platform/TextCodec.h"
#include "tests/wine/PlatformTestSupport.h"

namespace {

using wine_test::ReadBytes;
using wine_test::TempFolder;

// A folder name outside the ANSI code page, which only the wide API reaches.
TEST(Win32RecordFiles, AppendsListsAndDeletesInFoldersOfAnyName) {
    platform::RecordFiles& files = platform::SystemRecordFiles();
    TempFolder temp;
    const std::string folder = temp.Path() + u8"\\記録\\한국";
    const std::string path = folder + "\\2026-12-09.csv";
    const std::wstring widePath =
        std::wstring(temp.Path().begin(), temp.Path().end()) + L"\\記録\\한국\\2026-12-09.csv";

    ASSERT_TRUE(files.Append(path, "START;", "one;"));
    ASSERT_TRUE(files.Append(path, "START;", "two;"));
    std::string bytes(64, '\0');
    DWORD read = 0;
    HANDLE file = CreateFileW(widePath.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ReadFile(file, &bytes[0], 64, &read, nullptr);
    // Another reader holds the file open while the record goes on.
    EXPECT_TRUE(files.Append(path, "START;", "three;"));
    CloseHandle(file);
    EXPECT_EQ(bytes.substr(0, read), "START;one;two;");

    EXPECT_EQ(files.ListFiles(folder), std::vector<std::string>{"2026-12-09.csv"});
    EXPECT_TRUE(files.ListFiles(folder + "\\missing").empty());
    EXPECT_TRUE(files.Delete(path));
    EXPECT_FALSE(files.Delete(path));
    EXPECT_TRUE(files.ListFiles(folder).empty());
    EXPECT_TRUE(files.CreateFolder(folder));
    EXPECT_FALSE(files.Append(temp / "nul\\x\\2026-12-09.csv", "", "x"));
    RemoveDirectoryW((widePath.substr(0, widePath.rfind(L'\\'))).c_str());
    RemoveDirectoryW((widePath.substr(0, widePath.rfind(L"\\한국"))).c_str());
}

// The waiting lines' file is put in place whole, over an older one, and read
// back; a day file another program holds deny-write (as a spreadsheet does)
// refuses the append and loses nothing it held.
TEST(Win32RecordFiles, ReplacesReadsAndRefusesAFileHeldDenyWrite) {
    platform::RecordFiles& files = platform::SystemRecordFiles();
    TempFolder temp;
    const std::string waiting = temp.Path() + u8"\\한\\書き込み待ち.csv";
    ASSERT_TRUE(files.Replace(waiting, "old lines;"));
    ASSERT_TRUE(files.Replace(waiting, "new;"));
    std::string bytes;
    ASSERT_TRUE(files.Read(waiting, &bytes));
    EXPECT_EQ(bytes, "new;");
    EXPECT_EQ(files.ListFiles(temp.Path() + u8"\\한"),
              std::vector<std::string>{u8"書き込み待ち.csv"});
    EXPECT_FALSE(files.Read(temp / "missing.csv", &bytes));

    const std::string day = temp / "2026-12-09.csv";
    ASSERT_TRUE(files.Append(day, "START;", "one;"));
    HANDLE held =
        CreateFileA(day.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(files.Append(day, "START;", "two;"));
    EXPECT_FALSE(files.Replace(day, "x"));
    CloseHandle(held);
    EXPECT_TRUE(files.Append(day, "START;", "three;"));
    EXPECT_EQ(ReadBytes(day), "START;one;three;");
    EXPECT_TRUE(files.Delete(waiting));
    RemoveDirectoryW(Utf8ToWide((temp.Path() + u8"\\한").c_str()).c_str());
}

// Sections told apart only by what a folder name cannot hold get folders of
// their own, which Windows makes and lists under the names given.
TEST(Win32RecordFiles, EverySectionNameGetsAFolderOfItsOwn) {
    platform::RecordFiles& files = platform::SystemRecordFiles();
    TempFolder temp;
    const std::vector<std::string> sections = {
        "A:B",    "A_B",  "A%3AB", "A?B",      ".",           "..",     "_",   "LABEL.",
        "LABEL ", "LPT1", "con.x", "NUL .txt", u8"COM\u00B9", "CONIN$", "a/b", u8"한국:1"};
    for (const std::string& section : sections) {
        const std::string folder = temp / SectionFolderName(section);
        ASSERT_TRUE(files.Append(folder + "\\2026-12-09.csv", "", section)) << section;
    }
    for (const std::string& section : sections) {
        const std::string folder = temp / SectionFolderName(section);
        std::string bytes;
        EXPECT_TRUE(files.Read(folder + "\\2026-12-09.csv", &bytes)) << section;
        EXPECT_EQ(bytes, section);
        EXPECT_TRUE(files.Delete(folder + "\\2026-12-09.csv")) << section;
        EXPECT_TRUE(RemoveDirectoryW(Utf8ToWide(folder.c_str()).c_str())) << section;
    }
}

TEST(Win32RecordFiles, LocalTimeAndUtf8FollowTheSystem) {
    const platform::LocalTime noon = platform::SystemRecordFiles().ToLocalTime(1796817795);
    EXPECT_EQ(noon.year, 2026);
    EXPECT_EQ(noon.month, 12);
    EXPECT_EQ(noon.day, 9);
    EXPECT_EQ(noon.hour, 12);
    EXPECT_EQ(noon.minute, 3);
    EXPECT_EQ(noon.second, 15);

    ASSERT_EQ(GetACP(), 932u);
    EXPECT_EQ(platform::AnsiToUtf8("C:\\\x95\x5c\\JOB,1.GLF"), u8"C:\\表\\JOB,1.GLF");
    EXPECT_EQ(platform::AnsiToUtf8(""), "");

    const std::string root = platform::RecordsRoot();
    const std::string tail = "\\Brenholt\\Varnow\\Records";
    ASSERT_GT(root.size(), tail.size());
    EXPECT_EQ(root.substr(root.size() - tail.size()), tail);
}

}  // namespace
