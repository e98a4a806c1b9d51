// The Win32 twin of the record's files and text conversion on real files,
// under code page 932 and TZ=UTC as the harness sets them.
#include "platform/RecordFiles.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

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
