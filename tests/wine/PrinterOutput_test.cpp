// Output to the printers people own today, through the real Varnow.exe: a
// Windows printer by its name (Wine's spooler hands the finished RAW job to a
// file), a printer that refuses the job, and a mistyped bare name.
#include <gtest/gtest.h>

#include <thread>

#include "tests/wine/EndToEnd.h"
#include "tests/wine/PlatformTestSupport.h"

using namespace e2e;
using namespace e2e_fixture;
using namespace std::chrono_literals;

namespace {

using PrinterOutput = RelayEndToEnd;

// Where Wine's spooler puts a printer's finished jobs: a Unix path, and how
// this process reads it.
struct SpoolFile {
    explicit SpoolFile(const std::wstring& folder, const std::wstring& name)
        : windowsPath(folder + L"\\" + name),
          unixPath(Widen(UnixPath(folder) + "/" + ToAcp(name))) {}
    std::wstring windowsPath;
    std::wstring unixPath;
};

TEST_F(PrinterOutput, PrinterByNameGetsHeaderJobAndFooterAsOneRawJob) {
    ProfileSection section("E2E_Printer");
    const std::wstring folder = MakeTempFolder(L"printer"),
                       extras = MakeTempFolder(L"printer-spool");
    const SpoolFile spooled(extras, L"spooled.bin");
    const wine_test::TestPrinter printer(L"ラベル プリンター 1", L"LPT7:", spooled.unixPath);
    ASSERT_TRUE(printer.Added());
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Output", ToAcp(L"ラベル プリンター 1"));
    section.SetString("Header", ToAcp(extras + L"\\head.bin"));
    section.SetString("Footer", ToAcp(extras + L"\\foot.bin"));
    const std::string header = "\x1B@HEAD", footer = "\x0C", job = Payload("SPOOLED", 3000);
    ASSERT_TRUE(WriteFileBytes(extras + L"\\head.bin", header));
    ASSERT_TRUE(WriteFileBytes(extras + L"\\foot.bin", footer));
    ASSERT_TRUE(WriteFileBytes(folder + L"\\LABEL.GLF", job));

    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Printer", L"E2E_Printer"));
    ASSERT_TRUE(WaitFor([&] { return !FileExists(folder + L"\\LABEL.GLF"); }, 15s));
    EXPECT_EQ(ReadFileBytes(spooled.windowsPath), header + job + footer);
    EXPECT_EQ(ReadFileBytes(m_capture), "") << "nothing went to LPT1";
}

// A printer whose port cannot take the job fails at the end of the document:
// the job stays. A bare name that is neither a port, a printer nor a file is
// an output that cannot be opened: nothing is created, the job stays, and the
// status line says so.
TEST_F(PrinterOutput, RefusedDocumentsAndUnknownNamesKeepTheJob) {
    ProfileSection section("E2E_Refused");
    const std::wstring folder = MakeTempFolder(L"refused"),
                       extras = MakeTempFolder(L"refused-spool");
    const SpoolFile nowhere(extras + L"\\missing", L"spooled.bin");
    const wine_test::TestPrinter printer(L"Refusing", L"LPT8:", nowhere.unixPath);
    ASSERT_TRUE(printer.Added());
    section.SetString("Findpos", ToAcp(folder));
    section.SetString("Output", "Refusing");
    ASSERT_TRUE(WriteFileBytes(folder + L"\\J.GLF", Payload("KEPT", 200)));
    {
        Varnow app;
        ASSERT_TRUE(app.Start(L"E2E_Refused", L"E2E_Refused"));
        EXPECT_TRUE(WaitFor(
            [&] { return app.ItemText(1013).find(L"出力先 Refusing に出力できません（") == 0; },
            15s))
            << ToAcp(app.ItemText(1013));
        EXPECT_TRUE(WaitFor([&] { return _wtoi(app.ItemText(1008).c_str()) >= 2; }, 15s))
            << "tried again";
        EXPECT_TRUE(FileExists(folder + L"\\J.GLF"));
        ASSERT_TRUE(app.Exit());
    }
    section.SetString("Output", "LTP1");
    Varnow app;
    ASSERT_TRUE(app.Start(L"E2E_Refused", L"E2E_Refused"));
    EXPECT_TRUE(WaitFor(
        [&] { return app.ItemText(1013).find(L"出力先 LTP1 を開けません（見つかりません、") == 0; },
        10s))
        << ToAcp(app.ItemText(1013));
    EXPECT_TRUE(FileExists(folder + L"\\J.GLF"));
    EXPECT_FALSE(FileExists(BinFolder() + L"\\LTP1"));
    EXPECT_FALSE(FileExists(folder + L"\\LTP1"));
}

}  // namespace
