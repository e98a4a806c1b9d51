#include "app/SectionName.h"

#include <gtest/gtest.h>

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
