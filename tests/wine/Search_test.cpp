// The folder search through the Win32 directory search, with the system's
// own code page deciding what is a backslash.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/Platform.h"
#include "relay/Search.h"
#include "tests/wine/PlatformTestSupport.h"

namespace {

using wine_test::TempFolder;
using wine_test::WriteBytes;

bool Search(std::string& folder, const std::string& patterns, std::string& found) {
    UndeletableJobs undeletable;
    return FindTargetFile(folder, patterns, found, platform::SystemFileSystem(), undeletable,
                          platform::IsLeadByteSystem);
}

// 表 ends in the byte 0x5C; taken for a backslash, the folder would get none
// and the search would look for 表*.GLF beside it.
TEST(Win32Search, FolderEndingInADoubleByteCharacterStillGetsItsBackslash) {
    ASSERT_EQ(GetACP(), 932u) << "the harness runs Wine with LANG=ja_JP.UTF-8";
    TempFolder root;
    const std::string hyou = root / "\x95\x5C";
    ASSERT_TRUE(CreateDirectoryA(hyou.c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(hyou + "\\JOB1.GLF", "job"));

    std::string folder = hyou;
    std::string found;
    ASSERT_TRUE(Search(folder, "*.GLF", found));
    EXPECT_EQ(folder, hyou + "\\");
    EXPECT_EQ(found, hyou + "\\JOB1.GLF");
}

TEST(Win32Search, PassesOverDirectoriesThatMatch) {
    TempFolder root;
    ASSERT_TRUE(CreateDirectoryA((root / "DIR.GLF").c_str(), nullptr));

    std::string folder = root.Path();
    std::string found = "unchanged";
    EXPECT_FALSE(Search(folder, "*.GLF;*", found));
    EXPECT_EQ(found, "unchanged");

    ASSERT_TRUE(WriteBytes(root / "JOB.GLF", "job"));
    ASSERT_TRUE(Search(folder, "*", found));
    EXPECT_EQ(found, root / "JOB.GLF");
}

TEST(Win32Search, EarlierPatternsWinOverLaterOnes) {
    TempFolder root;
    ASSERT_TRUE(WriteBytes(root / "A.PRN", "prn"));
    ASSERT_TRUE(WriteBytes(root / "B.GLF", "glf"));

    std::string folder = root.Path() + "\\";
    std::string found;
    ASSERT_TRUE(Search(folder, "*.GLF;*.PRN", found));
    EXPECT_EQ(found, root / "B.GLF");
    ASSERT_TRUE(Search(folder, "*.PRN;*.GLF", found));
    EXPECT_EQ(found, root / "A.PRN");
    EXPECT_EQ(folder, root.Path() + "\\");
}

}  // namespace
