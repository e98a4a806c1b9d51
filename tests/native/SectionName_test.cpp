#include "app/SectionName.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <utility>

namespace {

std::string Sjis(const char* line) {
    return DeriveSectionName(line, platform::IsLeadByteSjis);
}

TEST(SectionName, ProgramPathAloneGivesDefault) {
    EXPECT_EQ("Varnow", Sjis("C:\\Varnow\\Varnow.exe"));
    EXPECT_EQ("Varnow", Sjis("\"C:\\Program Files\\Varnow.exe\""));
    EXPECT_EQ("Varnow", Sjis("\"C:\\Program Files\\Varnow.exe\"   "));
    EXPECT_EQ("Varnow", Sjis(""));
    EXPECT_EQ("Varnow", DeriveSectionName(nullptr, platform::IsLeadByteSjis));
}

TEST(SectionName, QuotedProgramPath) {
    EXPECT_EQ("LPT2", Sjis("\"C:\\Program Files\\Varnow.exe\" LPT2"));
    EXPECT_EQ("LPT2", Sjis("\"C:\\Program Files\\Varnow.exe\"LPT2"));
    EXPECT_EQ("Varnow", Sjis("\"C:\\Program Files\\Varnow.exe LPT2"));  // never closed
}

TEST(SectionName, UnquotedProgramPathEndsAtFirstBlank) {
    EXPECT_EQ("LPT2", Sjis("Varnow.exe    LPT2"));
    EXPECT_EQ("Files\\app.exe LPT2", Sjis("C:\\Program Files\\app.exe LPT2"));
    EXPECT_EQ("Varnow", Sjis("Varnow.exe\tLPT2"));  // a tab does not separate
}

TEST(SectionName, KeepsQuotesInnerBlanksAndTrailingWhiteSpace) {
    EXPECT_EQ("LPT2 ", Sjis("Varnow.exe LPT2 "));
    EXPECT_EQ("LPT2\t", Sjis("Varnow.exe LPT2\t"));
    EXPECT_EQ("\"LPT2\"", Sjis("Varnow.exe \"LPT2\""));
    EXPECT_EQ("A B", Sjis("Varnow.exe A B"));
}

TEST(SectionName, DropsEveryKindOfLeadingWhiteSpace) {
    EXPECT_EQ("X y", Sjis("Varnow.exe \t\n\v\f\rX y"));
    EXPECT_EQ("X", Sjis("\"Varnow.exe\"\t\t X"));
}

TEST(SectionName, DoubleByteCharactersStayWhole) {
    // 表 is 0x95 0x5C, ア is 0x83 0x41: a path ending in either before its blank.
    EXPECT_EQ("LPT2", Sjis("C:\\\x95\x5C\\app\x83\x41 LPT2"));
    EXPECT_EQ("LPT2", Sjis("\"C:\\\x95\x5C\\\x95\x5C\" LPT2"));
    EXPECT_EQ("\x95\x5C\x83\x41", Sjis("app.exe \x95\x5C\x83\x41"));
}

TEST(SectionName, ScansByCharacterNotByte) {
    // Malformed input shows the scan: with Shift-JIS the quote after the lead
    // byte is its second half, so the path never closes.
    const char* line = "\"C:\\\x95\" LPT2";
    EXPECT_EQ("Varnow", DeriveSectionName(line, platform::IsLeadByteSjis));
    EXPECT_EQ("LPT2", DeriveSectionName(line, platform::IsLeadByteNone));
    EXPECT_EQ("Varnow", Sjis("app.exe\x95"));  // a lone lead byte at the end
}

}  // namespace

// Every section gets a folder of its own that Windows can hold, and names it
// could hold already keep the folder they had.
TEST(SectionName, FolderNamesAreDistinctAndReversible) {
    const std::pair<const char*, const char*> kFolders[] = {
        {"Varnow", "Varnow"},
        {u8"ラベル 2", u8"ラベル 2"},
        {"A_B", "A_B"},
        {"A:B", "A%3AB"},
        {"A%3AB", "A%253AB"},
        {"a/b\\c*d?e\"f<g>h|i\tj", "a%2Fb%5Cc%2Ad%3Fe%22f%3Cg%3Eh%7Ci%09j"},
        {".", "%2E"},
        {"..", "%2E%2E"},
        {"_", "_"},
        {"LABEL .", "LABEL%20%2E"},
        {".hidden", ".hidden"},
        {"LPT1", "%4CPT1"},
        {"con.x", "%63on.x"},
        {"NUL .txt", "%4EUL .txt"},
        {u8"COM²", u8"%43OM²"},
        {"CONOUT$", "%43ONOUT$"},
        {"LPT10", "LPT10"},
        {"COM0", "%43OM0"},
        {"CONSOLE", "CONSOLE"},
    };
    for (const auto& [section, folder] : kFolders) {
        EXPECT_EQ(SectionFolderName(section), folder) << section;
        EXPECT_EQ(SectionOfFolderName(folder), section) << folder;
    }
    // Windows compares names without case: sections told apart only by what
    // a folder name cannot hold still get folders of their own.
    std::set<std::string> seen;
    for (const char* section : {"A:B", "A_B", "A%3AB", "A?B", "A", "A.", "A ", "A..",
                                ".", "..", "_", "%", "%2E", "CON", "%43ON"}) {
        std::string folder = SectionFolderName(section);
        for (char& c : folder) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(seen.insert(folder).second) << section << " shares " << folder;
    }
}
