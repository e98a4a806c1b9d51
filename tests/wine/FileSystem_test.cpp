// The Win32 file system twin on real files, with a second Windows process in
// the role of a producer that still has a file open.
#include <gtest/gtest.h>
#include <windows.h>

#include <winspool.h>

#include <map>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/PrintSpooler.h"
#include "tests/wine/PlatformTestSupport.h"
#include "tests/wine/VarnowDriver.h"

namespace {

using platform::DirEntry;
using platform::Probe;
using wine_test::HeldFile;
using wine_test::ReadBytes;
using wine_test::TempFolder;
using wine_test::TestPrinter;
using wine_test::WideFile;
using wine_test::WriteBytes;

platform::FileSystem& fs = platform::SystemFileSystem();

bool AnyEntry(const DirEntry&) { return true; }

// Where Wine's spooler puts a test printer's jobs: a Unix path for the port
// mapping, and the same file as Windows programs reach it.
struct SpoolTarget {
    std::wstring unixPath;
    std::string windowsPath;
};

SpoolTarget SpoolTargetNamed(const std::string& name) {
    const std::string unixPath = std::string(VARNOW_BIN_DIR) + "/wine-io/" + name + "-" +
                                 std::to_string(GetCurrentProcessId());
    const SpoolTarget target{e2e::Widen(unixPath), wine_test::ToWinePath(unixPath)};
    DeleteFileA(target.windowsPath.c_str());
    return target;
}

bool WriteAll(platform::File& file, const std::string& bytes) {
    uint32_t written = 0;
    return file.Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written) &&
           written == bytes.size();
}

// The document names of the jobs the printer holds now. Wine does not
// implement EnumJobs, but GetJob answers for the small ids it hands out.
std::vector<std::wstring> QueuedDocuments(const std::wstring& printer) {
    std::vector<std::wstring> documents;
    HANDLE handle = nullptr;
    if (!OpenPrinterW(const_cast<wchar_t*>(printer.c_str()), &handle, nullptr)) return documents;
    for (DWORD id = 1; id <= 64; ++id) {
        BYTE buffer[4096];
        DWORD needed = 0;
        if (GetJobW(handle, id, 1, buffer, sizeof buffer, &needed)) {
            documents.emplace_back(reinterpret_cast<const JOB_INFO_1W*>(buffer)->pDocument);
        }
    }
    ClosePrinter(handle);
    return documents;
}

TEST(Win32FindFirst, MatchesWildcardsAgainstRealNames) {
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder / "JOB1.GLF", "a"));
    ASSERT_TRUE(WriteBytes(folder / "JOB22.PRN", "b"));

    DirEntry found;
    ASSERT_TRUE(fs.FindFirst(folder / "*.GLF", AnyEntry, &found));
    EXPECT_EQ(found.name, "JOB1.GLF");
    ASSERT_TRUE(fs.FindFirst(folder / "JOB??.PRN", AnyEntry, &found));
    EXPECT_EQ(found.name, "JOB22.PRN");
    EXPECT_FALSE(fs.FindFirst(folder / "JOB?.PRN", AnyEntry, &found));
    EXPECT_FALSE(fs.FindFirst(folder / "*.TXT", AnyEntry, &found));
    EXPECT_FALSE(fs.FindFirst(folder / "missing\\*.GLF", AnyEntry, &found));
    EXPECT_FALSE(fs.FindFirst(folder.Path() + "\\", AnyEntry, &found));
}

TEST(Win32FindFirst, WalksPastEntriesThePredicateRefuses) {
    TempFolder folder;
    ASSERT_TRUE(CreateDirectoryA((folder / "SUB").c_str(), nullptr));
    ASSERT_TRUE(WriteBytes(folder / "z.dat", "z"));

    std::vector<std::string> directories;
    std::vector<std::string> files;
    DirEntry found;
    EXPECT_FALSE(fs.FindFirst(folder / "*",
                              [&](const DirEntry& entry) {
                                  (entry.isDirectory ? directories : files).push_back(entry.name);
                                  return false;
                              },
                              &found));
    EXPECT_EQ(directories.size(), 3u);  // ".", ".." and SUB
    EXPECT_EQ(files, std::vector<std::string>{"z.dat"});

    ASSERT_TRUE(fs.FindFirst(folder / "*", [](const DirEntry& e) { return !e.isDirectory; }, &found));
    EXPECT_EQ(found.name, "z.dat");
    EXPECT_FALSE(found.isDirectory);
}

TEST(Win32FindFirst, ReportsSizeAndLastWriteTime) {
    TempFolder folder;
    const std::string path = folder / "sized.bin";
    ASSERT_TRUE(WriteBytes(path, std::string(70000, 's')));
    const FILETIME stamp{0x12345678, 0x01D00000};
    {
        const UniqueKernelHandle file(CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0,
                                                       nullptr, OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(file);
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &stamp));
    }

    DirEntry found;
    ASSERT_TRUE(fs.FindFirst(path, AnyEntry, &found));
    EXPECT_EQ(found.size, 70000u);
    EXPECT_EQ(found.lastWrite, 0x01D0000012345678u);
}

// A companion is told by its name, a file or a folder, in any case, or by a
// pattern; a folder that cannot be read tells nothing; a file on its way out
// is still there.
TEST(Win32FindAny, TellsFoundNoneAndCannotTell) {
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder / "JOB1.OFI", ""));
    ASSERT_TRUE(CreateDirectoryA((folder / "JOB2.OFI").c_str(), nullptr));
    using platform::Match;
    for (const char* name : {"JOB1.OFI", "job1.ofi", "JOB2.OFI", "JOB?.OFI", "*.OFI"}) {
        EXPECT_EQ(fs.FindAny(folder / name), Match::Found) << name;
    }
    for (const char* name : {"JOB3.OFI", "*.XYZ"}) {
        EXPECT_EQ(fs.FindAny(folder / name), Match::None) << name;
    }
    EXPECT_EQ(fs.FindAny(folder / "GONE\\JOB1.OFI"), Match::Unknown);
    {
        const UniqueKernelHandle leaving(CreateFileA((folder / "JOB1.OFI").c_str(), DELETE,
                                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                     nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        ASSERT_TRUE(leaving);
        EXPECT_EQ(fs.FindAny(folder / "JOB1.OFI"), Match::Found);
    }
    EXPECT_EQ(fs.FindAny(folder / "JOB1.OFI"), Match::None);
    RemoveDirectoryA((folder / "JOB2.OFI").c_str());
}

TEST(Win32Probe, IsBusyWhileAnotherProcessHoldsTheFileAndReadyAfter) {
    TempFolder folder;
    const std::string job = folder / "JOB1.GLF";
    ASSERT_TRUE(WriteBytes(job, "job"));
    EXPECT_EQ(fs.ProbeExclusive(job), Probe::Ready);

    HeldFile producer(job);
    ASSERT_TRUE(producer.IsHeld());
    EXPECT_EQ(fs.ProbeExclusive(job), Probe::Busy);

    ASSERT_TRUE(producer.Release());
    EXPECT_EQ(fs.ProbeExclusive(job), Probe::Ready);
}

TEST(Win32Probe, IsMissingForAVanishedFileOrFolder) {
    TempFolder folder;
    const std::string job = folder / "JOB1.GLF";
    ASSERT_TRUE(WriteBytes(job, "job"));
    ASSERT_TRUE(DeleteFileA(job.c_str()));

    EXPECT_EQ(fs.ProbeExclusive(job), Probe::Missing);
    EXPECT_EQ(fs.ProbeExclusive(folder / "gone\\JOB1.GLF"), Probe::Missing);
    EXPECT_TRUE(fs.IsMissing(job));
    EXPECT_TRUE(fs.IsMissing(folder / "gone\\JOB1.GLF"));
}

// A name outside code page 932 is listed with "?" in its place, and "¥" would
// be "\\" by best fit: both are marked as approximate, in a search and in a
// listing alike. A path beyond MAX_PATH is listed whole and exact. None can be
// opened by that name, which is no sign of a producer at work, nor of the file
// having gone.
TEST(Win32Probe, NamesTheSystemCannotOpenAreUnopenableNotBusyNorMissing) {
    TempFolder folder;
    const std::wstring wideFolder = e2e::FromAcp(folder.Path());
    const WideFile hangul(wideFolder + L"\\\uD55C.GLF", "job");
    const WideFile yen(wideFolder + L"\\a\u00A5b.GLF", "job");
    const WideFile longName(wideFolder + L"\\" + std::wstring(250, L'L') + L".GLF", "job");
    ASSERT_TRUE(hangul.Written());
    ASSERT_TRUE(yen.Written());
    ASSERT_TRUE(longName.Written());

    std::map<std::string, bool> searched, listed;
    DirEntry found;
    fs.FindFirst(
        folder / "*.GLF",
        [&](const DirEntry& e) {
            searched[e.name] = e.exactName;
            return false;
        },
        &found);
    ASSERT_TRUE(fs.ListFolder(folder.Path(), [&](const DirEntry& e) {
        if (!e.isDirectory) listed[e.name] = e.exactName;
    }));
    const std::map<std::string, bool> expected{
        {"?.GLF", false}, {"a?b.GLF", false}, {std::string(250, 'L') + ".GLF", true}};
    EXPECT_EQ(searched, expected);
    EXPECT_EQ(listed, expected);
    EXPECT_EQ(fs.ProbeExclusive(folder / "?.GLF"), Probe::Unopenable);
    EXPECT_FALSE(fs.IsMissing(folder / "?.GLF"));
    const std::string longPath = folder / (std::string(250, 'L') + ".GLF");
    EXPECT_EQ(fs.ProbeExclusive(longPath), Probe::Unopenable);
    EXPECT_FALSE(fs.IsMissing(longPath));
}

// A listing tells nothing unless the folder was read: missing, a file in its
// place, or a drive that is not there.
TEST(Win32ListFolder, FailsUnlessTheFolderWasRead) {
    TempFolder folder;
    ASSERT_TRUE(WriteBytes(folder / "A.GLF", "a"));
    int files = 0;
    EXPECT_TRUE(fs.ListFolder(folder.Path() + "\\", [&](const DirEntry& e) { files += !e.isDirectory; }));
    EXPECT_EQ(files, 1);
    const auto nothing = [](const DirEntry&) {};
    EXPECT_FALSE(fs.ListFolder(folder / "gone", nothing));
    EXPECT_FALSE(fs.ListFolder(folder / "A.GLF", nothing));
    EXPECT_FALSE(fs.ListFolder("Q:\\", nothing));
}

TEST(Win32SameFile, ComparesResolvedPathsIgnoringTheCaseOfSingleByteLettersOnly) {
    TempFolder folder;
    char current[MAX_PATH] = "";
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, current), 0u);
    EXPECT_TRUE(fs.SameFile(folder / "JOB1.GLF", folder / "sub\\..\\job1.glf"));
    EXPECT_TRUE(fs.SameFile("job1.glf", std::string(current) + "\\JOB1.GLF"));
    EXPECT_FALSE(fs.SameFile(folder / "A.GLF", folder / "B.GLF"));
    // ア (83 41) and ヂ (83 61) differ only in a trail byte that is a letter's.
    EXPECT_TRUE(fs.SameFile(folder / "\x83\x41.GLF", folder / "\x83\x41.glf"));
    EXPECT_FALSE(fs.SameFile(folder / "\x83\x41.GLF", folder / "\x83\x61.GLF"));
    // A device is no file, not even itself.
    EXPECT_FALSE(fs.SameFile("LPT1", folder / "LPT1"));
    EXPECT_FALSE(fs.SameFile("LPT1", "lpt1"));
    EXPECT_FALSE(fs.SameFile("", ""));
}

TEST(Win32OpenOutput, FailsWhileAnotherProcessHoldsIt) {
    TempFolder folder;
    const std::string output = folder / "out.prn";
    HeldFile other(output);
    ASSERT_TRUE(other.IsHeld());
    EXPECT_EQ(fs.OpenOutput(output, "", nullptr), nullptr);

    ASSERT_TRUE(other.Release());
    EXPECT_NE(fs.OpenOutput(output, "", nullptr), nullptr);
}

TEST(Win32OpenOutput, CreatesAMissingFile) {
    TempFolder folder;
    const std::string output = folder / "new.prn";
    {
        auto file = fs.OpenOutput(output, "", nullptr);
        ASSERT_NE(file, nullptr);
        uint32_t written = 0;
        ASSERT_TRUE(file->Write("abc", 3, &written));
        EXPECT_EQ(written, 3u);
    }
    EXPECT_EQ(ReadBytes(output), "abc");
}

TEST(Win32OpenOutput, OverwritesFromTheStartAndTruncatesOnlyWhenAsked) {
    TempFolder folder;
    const std::string output = folder / "out.prn";
    ASSERT_TRUE(WriteBytes(output, std::string(1000, 'o')));
    {
        auto file = fs.OpenOutput(output, "", nullptr);
        ASSERT_NE(file, nullptr);
        uint32_t written = 0;
        ASSERT_TRUE(file->Write(std::string(300, 'j').data(), 300, &written));
    }
    EXPECT_EQ(ReadBytes(output), std::string(300, 'j') + std::string(700, 'o'));

    {
        auto file = fs.OpenOutput(output, "", nullptr);
        ASSERT_NE(file, nullptr);
        uint32_t written = 0;
        ASSERT_TRUE(file->Write(std::string(300, 'k').data(), 300, &written));
        file->TruncateIfDiskFile();
    }
    EXPECT_EQ(ReadBytes(output), std::string(300, 'k'));
}

TEST(Win32OpenSource, SharesReadingAndReadsToTheEnd) {
    TempFolder folder;
    const std::string source = folder / "header.txt";
    ASSERT_TRUE(WriteBytes(source, "HEAD"));

    auto first = fs.OpenSource(source);
    auto second = fs.OpenSource(source);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(fs.ProbeExclusive(source), Probe::Busy);

    char buffer[256];
    uint32_t count = 0;
    ASSERT_TRUE(first->Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(std::string(buffer, count), "HEAD");
    ASSERT_TRUE(first->Read(buffer, sizeof buffer, &count));
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(fs.OpenSource(folder / "missing.txt"), nullptr);
}

// The worker tells the job it sent from one put in its place by these, and
// the search compares what it remembered with what the directory reports.
TEST(Win32Identify, TellsTheSentFileFromOneRenamedOverIt) {
    TempFolder folder;
    const std::string job = folder / "JOB1.GLF";
    ASSERT_TRUE(WriteBytes(job, "first"));
    platform::FileIdentity sent, now;
    ASSERT_TRUE(fs.OpenSource(job)->Identify(&sent));
    DirEntry listed;
    ASSERT_TRUE(fs.FindFirst(job, AnyEntry, &listed));
    EXPECT_EQ(sent.size, listed.size);
    EXPECT_EQ(sent.lastWrite, listed.lastWrite);
    {
        HeldFile producer(job);
        ASSERT_TRUE(producer.IsHeld());
        ASSERT_TRUE(fs.Identify(job, &now));
        EXPECT_TRUE(now.SameVersionAs(sent));
    }
    uint64_t listedChange = 0;
    ASSERT_TRUE(fs.ListFolder(folder.Path(), [&](const DirEntry& e) {
        if (e.name == "JOB1.GLF") listedChange = e.changeTime;
    }));
    EXPECT_NE(sent.changeTime, 0u);
    EXPECT_EQ(listedChange, sent.changeTime) << "the listing and the handle agree";

    // Same name, size and time: only its place on the volume differs.
    const std::string next = folder / "next.tmp";
    ASSERT_TRUE(WriteBytes(next, "other"));
    FILETIME stamp{static_cast<DWORD>(sent.lastWrite), static_cast<DWORD>(sent.lastWrite >> 32)};
    {
        const UniqueKernelHandle file(CreateFileA(next.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &stamp));
    }
    ASSERT_TRUE(MoveFileExA(next.c_str(), job.c_str(), MOVEFILE_REPLACE_EXISTING));
    ASSERT_TRUE(fs.Identify(job, &now));
    EXPECT_EQ(now.lastWrite, sent.lastWrite);
    EXPECT_FALSE(now.SameVersionAs(sent));
    EXPECT_FALSE(fs.Identify(folder / "missing.GLF", &now));

    // Written again in place, with its old size and time put back.
    platform::FileIdentity before, after;
    ASSERT_TRUE(fs.Identify(job, &before));
    Sleep(20);
    ASSERT_TRUE(WriteBytes(job, "again"));
    stamp = FILETIME{static_cast<DWORD>(before.lastWrite), static_cast<DWORD>(before.lastWrite >> 32)};
    {
        const UniqueKernelHandle file(CreateFileA(job.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr,
                                                  OPEN_EXISTING, 0, nullptr));
        ASSERT_TRUE(SetFileTime(file.get(), nullptr, nullptr, &stamp));
    }
    ASSERT_TRUE(fs.Identify(job, &after));
    EXPECT_EQ(after.lastWrite, before.lastWrite);
    EXPECT_FALSE(after.SameVersionAs(before));
}

// The job deletes itself through its handle, a read-only one too; while it is
// open, no other file can take its name.
TEST(Win32Job, DeletesItselfThroughItsHandleAndKeepsItsName) {
    TempFolder folder;
    const std::string job = folder / "RO.GLF";
    ASSERT_TRUE(WriteBytes(job, "ro"));
    ASSERT_TRUE(SetFileAttributesA(job.c_str(), FILE_ATTRIBUTE_READONLY));
    auto file = fs.OpenJob(job);
    ASSERT_NE(file, nullptr);
    const std::string next = folder / "next.tmp";
    ASSERT_TRUE(WriteBytes(next, "other"));
    EXPECT_FALSE(MoveFileExA(next.c_str(), job.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_NE(file->DeleteWhenClosed(), platform::Deletion::Refused);
    file.reset();
    EXPECT_TRUE(fs.IsMissing(job));
    EXPECT_EQ(fs.OpenJob(job), nullptr);
}

// Only a plain disk file inside the folder its path names is a job: a link
// that leads out of the folder, a pipe (whose open for reading would block)
// and a device that took a job's name are told by looking, never by opening
// their content; the job's own handle is held to the same rule.
TEST(Win32Job, IsOnlyAPlainFileInsideItsFolder) {
    TempFolder folder, outside;
    ASSERT_TRUE(WriteBytes(folder / "JOB.GLF", "job"));
    ASSERT_TRUE(WriteBytes(outside / "TARGET.GLF", "target"));
    CreateDirectoryA((folder / "SUB.GLF").c_str(), nullptr);
    const auto unix = [](const std::string& path) { return e2e::UnixPath(e2e::FromAcp(path)); };
    ASSERT_TRUE(e2e::StartLinuxProgram("/bin/ln", {"-s", unix(outside / "TARGET.GLF"), unix(folder.Path()) + "/LINK.GLF"}));
    ASSERT_TRUE(e2e::StartLinuxProgram("/usr/bin/mkfifo", {unix(folder.Path()) + "/PIPE.GLF"}));
    ASSERT_TRUE(e2e::WaitFor([&] { return fs.Inspect(folder / "PIPE.GLF") != platform::FileKind::Missing &&
                                          fs.Inspect(folder / "LINK.GLF") != platform::FileKind::Missing; },
                             std::chrono::seconds(10)));

    EXPECT_EQ(fs.Inspect(folder / "JOB.GLF"), platform::FileKind::DiskFile);
    // A folder reached through a link holds its files as any other.
    const std::string linked = outside / "LINKED";
    ASSERT_TRUE(e2e::StartLinuxProgram("/bin/ln", {"-s", unix(folder.Path()), unix(linked)}));
    ASSERT_TRUE(e2e::WaitFor([&] { return fs.Inspect(linked + "\\JOB.GLF") != platform::FileKind::Missing; },
                             std::chrono::seconds(10)));
    EXPECT_EQ(fs.Inspect(linked + "\\JOB.GLF"), platform::FileKind::DiskFile);
    EXPECT_EQ(fs.Inspect(linked + "\\LINK.GLF"), platform::FileKind::Outside);
    EXPECT_EQ(fs.Inspect(folder / "NONE.GLF"), platform::FileKind::Missing);
    EXPECT_EQ(fs.Inspect(folder / "LINK.GLF"), platform::FileKind::Outside);
    EXPECT_EQ(fs.Inspect(folder / "PIPE.GLF"), platform::FileKind::NotAFile);
    EXPECT_NE(fs.Inspect(folder / "SUB.GLF"), platform::FileKind::DiskFile);
    EXPECT_NE(fs.Inspect("NUL"), platform::FileKind::DiskFile);
    EXPECT_EQ(fs.OpenJob(folder / "LINK.GLF"), nullptr);
    EXPECT_EQ(ReadBytes(outside / "TARGET.GLF"), "target");
    auto job = fs.OpenJob(folder / "JOB.GLF");
    ASSERT_NE(job, nullptr);
    // Wine accepts the delete without saying it is pending; Windows says so.
    EXPECT_NE(job->DeleteWhenClosed(), platform::Deletion::Refused);
    job.reset();
    EXPECT_TRUE(fs.IsMissing(folder / "JOB.GLF"));
    ASSERT_TRUE(e2e::StartLinuxProgram("/bin/rm", {"-f", unix(folder.Path()) + "/LINK.GLF", unix(folder.Path()) + "/PIPE.GLF", unix(linked)}));
    e2e::WaitFor([&] { return fs.Inspect(folder / "PIPE.GLF") == platform::FileKind::Missing; }, std::chrono::seconds(10));
    RemoveDirectoryA((folder / "SUB.GLF").c_str());
}

// The spooler is asked in the background, so a look tells what an earlier
// round found: the answer wanted comes within a few looks.
bool SpoolerSays(const platform::SpoolTicket& ticket, platform::SpoolJobState wanted) {
    for (int look = 0; look < 100; ++look) {
        if (platform::SystemSpoolQueue().Look(ticket.printer, ticket.jobId) == wanted) return true;
        Sleep(50);
    }
    return false;
}

// Header, job and footer reach the printer as one RAW document named after
// the job file, and only once the output is finished; the printer's name is
// matched without regard to case. (That an unfinished job is aborted cannot
// be seen here: Wine's AbortPrinter does nothing, and ClosePrinter ends the
// document.)
TEST(Win32SpooledOutput, DeliversTheExactBytesOnlyWhenFinished) {
    const std::wstring printerName = L"Label ラベル プリンター";
    const SpoolTarget target = SpoolTargetNamed("spooled");
    const TestPrinter printer(printerName, L"LPT5:", target.unixPath);
    ASSERT_TRUE(printer.Added());
    std::string job;
    for (int i = 0; i < 300; ++i) job += static_cast<char>(i);
    const std::string output = e2e::ToAcp(L"LABEL ラベル プリンター");

    platform::OpenFailure failure = platform::OpenFailure::None;
    platform::SpoolTicket ticket;
    {
        // 表 ends in the byte of "\": the name must not be cut there.
        auto file = fs.OpenOutput(output, e2e::ToAcp(L"C:\\ジョブ\\表.GLF"), &failure);
        ASSERT_NE(file, nullptr);
        EXPECT_TRUE(file->CommitsOnFinish());
        EXPECT_TRUE(WriteAll(*file, "HEAD") && WriteAll(*file, job) && WriteAll(*file, "FOOT"));
        EXPECT_EQ(QueuedDocuments(printerName), std::vector<std::wstring>{L"表.GLF"});
        EXPECT_FALSE(wine_test::Exists(target.windowsPath));
        ticket = file->Spooled();
        EXPECT_TRUE(SpoolerSays(ticket, platform::SpoolJobState::Queued));
        EXPECT_TRUE(file->Finish());
    }
    EXPECT_EQ(ReadBytes(target.windowsPath), "HEAD" + job + "FOOT");
    EXPECT_EQ(e2e::Widen(ticket.printer), printerName) << "the spooler's spelling";
    EXPECT_EQ(ticket.dataType, "RAW");
    EXPECT_TRUE(SpoolerSays(ticket, platform::SpoolJobState::Gone));
    DeleteFileA(target.windowsPath.c_str());
}

// The driver decides the data type: an XPS driver (one whose dependent files
// hold the pipeline's configuration) gets XPS_PASS, any other RAW. (Wine's
// print processor cannot pass XPS_PASS on: the document is not finished here.)
TEST(Win32SpooledOutput, AnXpsDriverGetsXpsPass) {
    const TestPrinter xps(L"XPS ラベル", L"LPT6:", SpoolTargetNamed("xps").unixPath, TestPrinter::Driver::Xps);
    ASSERT_TRUE(xps.Added());
    auto file = fs.OpenOutput(e2e::ToAcp(L"XPS ラベル"), "C:\\jobs\\JOB1.GLF", nullptr);
    ASSERT_NE(file, nullptr);
    const platform::SpoolTicket ticket = file->Spooled();
    EXPECT_EQ(ticket.dataType, "XPS_PASS");
    EXPECT_NE(ticket.jobId, 0u);
}

// Wine hands the finished job to its port only at EndDocPrinter, so a port
// it cannot write to makes the end fail, as a spooler refusing the job does.
TEST(Win32SpooledOutput, APrinterThatRefusesTheJobFails) {
    const SpoolTarget target = SpoolTargetNamed("missing-folder/spooled");
    const TestPrinter printer(L"Refusing", L"LPT6:", target.unixPath);
    ASSERT_TRUE(printer.Added());
    platform::OpenFailure failure = platform::OpenFailure::None;
    auto file = fs.OpenOutput("refusing", "C:\\jobs\\JOB1.GLF", &failure);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(WriteAll(*file, "job"));
    EXPECT_FALSE(file->Finish());
}

struct CurrentFolder {
    char previous[MAX_PATH] = "";
    CurrentFolder() { GetCurrentDirectoryA(MAX_PATH, previous); }
    ~CurrentFolder() { SetCurrentDirectoryA(previous); }
};

// A mistyped port or printer name must not become a file in the start folder;
// a name with a folder part still creates its file.
TEST(Win32OpenOutput, ABareNameOpensOnlyWhatExists) {
    TempFolder folder;
    CurrentFolder restore;
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));

    EXPECT_NE(fs.OpenOutput("LPT1", "C:\\jobs\\JOB1.GLF", nullptr), nullptr);
    platform::OpenFailure failure = platform::OpenFailure::None;
    EXPECT_EQ(fs.OpenOutput("LTP1", "C:\\jobs\\JOB1.GLF", &failure), nullptr);
    EXPECT_EQ(failure, platform::OpenFailure::NotFound);
    EXPECT_FALSE(wine_test::Exists(folder / "LTP1"));

    ASSERT_TRUE(WriteBytes(folder / "capture.prn", "old bytes"));
    {
        auto file = fs.OpenOutput("capture.prn", "C:\\jobs\\JOB1.GLF", &failure);
        ASSERT_NE(file, nullptr);
        EXPECT_FALSE(file->CommitsOnFinish());
        EXPECT_TRUE(WriteAll(*file, "new"));
        EXPECT_TRUE(file->Finish());
    }
    EXPECT_EQ(ReadBytes(folder / "capture.prn"), "new bytes");

    EXPECT_NE(fs.OpenOutput(".\\made.prn", "", nullptr), nullptr);
    EXPECT_TRUE(wine_test::Exists(folder / "made.prn"));
}

// The spooler stopped or restarting, as it answers then: it cannot be reached,
// or it asks for a bigger buffer and then for none.
BOOL WINAPI SpoolerUnreachable(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD count) {
    *needed = *count = 0;
    SetLastError(RPC_S_SERVER_UNAVAILABLE);
    return FALSE;
}
BOOL WINAPI SpoolerShortOfBuffer(DWORD, LPWSTR, DWORD, LPBYTE, DWORD, LPDWORD needed, LPDWORD count) {
    *needed = *count = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
}

// While the spooler cannot list its printers, a printer's name is not taken
// for a file of that name in the start folder (which would swallow the job):
// the output is unavailable for now. A device, a path and a share that may
// be a printer's are told apart by their spelling.
TEST(Win32OpenOutput, APrinterNameWaitsWhileTheSpoolerCannotListItsPrinters) {
    TempFolder folder;
    CurrentFolder restore;
    ASSERT_TRUE(SetCurrentDirectoryA(folder.Path().c_str()));
    const TestPrinter printer(L"Label 1", L"LPT6:", SpoolTargetNamed("unlisted").unixPath);
    ASSERT_TRUE(printer.Added());
    ASSERT_TRUE(WriteBytes(folder / "Label 1", "a file of 1.1"));
    for (void* enumeration : {reinterpret_cast<void*>(SpoolerUnreachable), reinterpret_cast<void*>(SpoolerShortOfBuffer)}) {
        const wine_test::ImportPatch failing("winspool.drv", "EnumPrintersW", enumeration);
        ASSERT_TRUE(failing.Patched());
        for (const char* name : {"Label 1", "LABEL 1", "\\\\server\\Label 1", "Unknown"}) {
            platform::OpenFailure failure = platform::OpenFailure::None;
            EXPECT_EQ(fs.OpenOutput(name, "C:\\jobs\\JOB1.GLF", &failure), nullptr) << name;
            EXPECT_EQ(failure, platform::OpenFailure::SpoolerUnavailable) << name;
        }
        EXPECT_EQ(ReadBytes(folder / "Label 1"), "a file of 1.1");
        EXPECT_NE(fs.OpenOutput("LPT1", "C:\\jobs\\JOB1.GLF", nullptr), nullptr) << "a device is no printer";
        EXPECT_NE(fs.OpenOutput(".\\made.prn", "", nullptr), nullptr) << "a path is no printer";
    }
    auto spooled = fs.OpenOutput("Label 1", "C:\\jobs\\JOB1.GLF", nullptr);
    ASSERT_NE(spooled, nullptr);
    EXPECT_TRUE(spooled->CommitsOnFinish()) << "the spooler answers again";
}

}  // namespace
