// The registry profile against Wine's real registry, under a maker key of
// its own so that no real settings are touched.
// The program itself runs on Windows XP; this test uses Vista's registry helpers.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0600
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "framework/Handles.h"
#include "framework/RegistryProfile.h"
#include "framework/RegistryUndeletableStore.h"

namespace {

class RegistryProfileTest : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, m_makerPath.c_str()); }
    void TearDown() override { RegDeleteTreeA(HKEY_CURRENT_USER, m_makerPath.c_str()); }

    std::string KeyPath(const std::string& section) const {
        return m_makerPath + "\\App\\" + section;
    }

    bool KeyExists(const std::string& path) const {
        UniqueRegKey key;
        return RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, key.put()) ==
               ERROR_SUCCESS;
    }

    // Type and raw bytes of a stored value; false when there is none.
    bool ReadRaw(const std::string& section, const char* name, DWORD* type,
                 std::string* bytes) const {
        char data[1024];
        DWORD size = sizeof data;
        if (RegGetValueA(HKEY_CURRENT_USER, KeyPath(section).c_str(), name,
                         RRF_RT_ANY | RRF_NOEXPAND, type, data, &size) != ERROR_SUCCESS) {
            return false;
        }
        bytes->assign(data, size);
        return true;
    }

    void WriteRaw(const std::string& section, const char* name, DWORD type,
                  const std::string& bytes) const {
        UniqueRegKey key;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath(section).c_str(), 0, nullptr, 0,
                                  KEY_WRITE, nullptr, key.put(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key.get(), name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS);
    }

    const std::string m_makerPath =
        "software\\VarnowProfileTest" + std::to_string(GetCurrentProcessId());
    const RegistryProfile m_profile{m_makerPath.substr(sizeof "software\\" - 1), "App"};
};

TEST_F(RegistryProfileTest, FirstReadGivesDefaultsAndLeavesTheKeyChain) {
    ASSERT_FALSE(KeyExists(KeyPath("Varnow")));

    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "Priority", 3), 3);
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Target", "*.GLF"), "*.GLF");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Footer", ""), "");

    EXPECT_TRUE(KeyExists(KeyPath("Varnow")));
    DWORD type = 0;
    std::string bytes;
    EXPECT_FALSE(ReadRaw("Varnow", "Priority", &type, &bytes));
}

TEST_F(RegistryProfileTest, WritesDwordsAndTerminatedStrings) {
    ASSERT_TRUE(m_profile.WriteProfileInt("Varnow", "Priority", 5));
    ASSERT_TRUE(m_profile.WriteProfileInt("Varnow", "Iconic", -1));
    ASSERT_TRUE(m_profile.WriteProfileString("Varnow", "Output", "LPT1"));
    ASSERT_TRUE(m_profile.WriteProfileString("Varnow", "Footer", ""));

    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw("Varnow", "Priority", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(bytes, std::string("\x05\0\0\0", 4));
    ASSERT_TRUE(ReadRaw("Varnow", "Output", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string("LPT1\0", 5));
    ASSERT_TRUE(ReadRaw("Varnow", "Footer", &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string(1, '\0'));

    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "Priority", 3), 5);
    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "Iconic", 0), -1);
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Output", "x"), "LPT1");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Footer", "x"), "");
}

TEST_F(RegistryProfileTest, ShiftJisTextRoundTrips) {
    ASSERT_EQ(GetACP(), 932u) << "the harness runs Wine with LANG=ja_JP.UTF-8";
    const std::string folder = "C:\\\x95\x5C\\\x8E\xA6";  // C:\表\示
    ASSERT_TRUE(m_profile.WriteProfileString("Varnow", "Findpos", folder));
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Findpos", ""), folder);
}

TEST_F(RegistryProfileTest, ReadsTakeValuesOfAnyType) {
    WriteRaw("Varnow", "ShortText", REG_SZ, std::string("abc\0", 4));
    WriteRaw("Varnow", "LongText", REG_SZ, std::string("abcdef\0", 7));
    WriteRaw("Varnow", "TwoBytes", REG_BINARY, std::string("\x01\x02", 2));
    WriteRaw("Varnow", "Letters", REG_DWORD, std::string("ABC\0", 4));

    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "ShortText", 7), 0x00636261);
    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "LongText", 7), 7);
    EXPECT_EQ(m_profile.GetProfileInt("Varnow", "TwoBytes", 7), 0x0201);
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Letters", "x"), "ABC");
}

// Values another program wrote carelessly must neither overrun the buffer nor
// bring in stray characters.
TEST_F(RegistryProfileTest, StringReadsEndSafelyWithoutATerminator) {
    WriteRaw("Varnow", "Unterminated", REG_SZ, "abc");
    WriteRaw("Varnow", "FullDword", REG_DWORD, "ABCD");
    WriteRaw("Varnow", "Binary", REG_BINARY, std::string(1000, 'x'));
    WriteRaw("Varnow", "BinaryWithZero", REG_BINARY, std::string("ab\0cd", 5));
    WriteRaw("Varnow", "Multi", REG_MULTI_SZ, std::string("one\0two\0\0", 9));
    WriteRaw("Varnow", "Empty", REG_BINARY, "");

    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Unterminated", ""), "abc");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "FullDword", ""), "ABCD");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Binary", ""), std::string(1000, 'x'));
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "BinaryWithZero", ""), "ab");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Multi", ""), "one");
    EXPECT_EQ(m_profile.GetProfileString("Varnow", "Empty", "x"), "");
}

TEST_F(RegistryProfileTest, BackslashesInTheSectionMakeNestedKeys) {
    ASSERT_TRUE(m_profile.WriteProfileString("Files\\app.exe LPT2", "Output", "LPT2"));

    EXPECT_TRUE(KeyExists(KeyPath("Files")));
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw("Files\\app.exe LPT2", "Output", &type, &bytes));
    EXPECT_EQ(bytes, std::string("LPT2\0", 5));
    EXPECT_EQ(m_profile.GetProfileString("Files\\app.exe LPT2", "Output", ""), "LPT2");
}

TEST_F(RegistryProfileTest, UndeletableJobsLiveInASubkeyOfTheirOwnSection) {
    using Values = std::vector<std::pair<std::string, std::string>>;
    RegistryUndeletableStore left(m_profile, "Left"), right(m_profile, "Right");
    EXPECT_TRUE(left.ReadAll().empty());
    EXPECT_FALSE(KeyExists(KeyPath("Left\\Undeletable"))) << "a read creates no subkey";

    const std::string job = "C:\\\x95\x5C\\JOB1.GLF";  // C:\表\JOB1.GLF
    left.Write(job, "1241 134097543210000000 0");
    right.Write("C:\\R\\R.GLF", "5 7 3");
    DWORD type = 0;
    std::string bytes;
    ASSERT_TRUE(ReadRaw("Left\\Undeletable", job.c_str(), &type, &bytes));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, std::string("1241 134097543210000000 0", 26));
    EXPECT_EQ(left.ReadAll(), (Values{{job, "1241 134097543210000000 0"}}));
    EXPECT_EQ(right.ReadAll(), (Values{{"C:\\R\\R.GLF", "5 7 3"}}));

    left.Erase(job);
    EXPECT_TRUE(left.ReadAll().empty());
    EXPECT_FALSE(KeyExists(KeyPath("Left\\Undeletable"))) << "the last erase takes the subkey";
    ASSERT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, KeyPath("Right").c_str()), ERROR_SUCCESS);
    EXPECT_TRUE(right.ReadAll().empty());
}

TEST(ApplicationKeyName, IsTheExecutableNameWithoutFolderOrExtension) {
    EXPECT_EQ(ApplicationKeyName(), "wine_tests");
}

}  // namespace
