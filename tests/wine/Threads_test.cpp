// The Win32 thread start and clock.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <ctime>

#include "platform/Platform.h"
#include "tests/wine/PlatformTestSupport.h"

namespace {


struct PriorityProbe {
    std::atomic<int> seen{-100};
    UniqueKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
};

unsigned RecordPriority(void* arg) {
    auto* probe = static_cast<PriorityProbe*>(arg);
    probe->seen = GetThreadPriority(GetCurrentThread());
    SetEvent(probe->done.get());
    return 0;
}

TEST(Win32ThreadStarter, RunsTheThreadAtTheAskedPriority) {
    for (int priority : {platform::PriorityBelowNormal, platform::PriorityHighest}) {
        PriorityProbe probe;
        ASSERT_TRUE(platform::SystemThreadStarter().Start(RecordPriority, &probe, priority));
        ASSERT_EQ(WaitForSingleObject(probe.done.get(), 10000), WAIT_OBJECT_0);
        EXPECT_EQ(probe.seen, priority);
    }
}

struct ThreadProbe {
    std::atomic<DWORD> thread{0};
    UniqueKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    UniqueKernelHandle release{CreateEventA(nullptr, TRUE, TRUE, nullptr)};
};

unsigned RecordThread(void* arg) {
    auto* probe = static_cast<ThreadProbe*>(arg);
    probe->thread = GetCurrentThreadId();
    WaitForSingleObject(probe->release.get(), 10000);
    SetEvent(probe->done.get());
    return 0;
}

// The thread that ran the last job runs the next; one still busy when the
// next starts is left to end by itself, and the next gets a thread of its own.
TEST(Win32ThreadStarter, TheLastThreadRunsTheNextUnlessItIsStillBusy) {
    platform::ThreadStarter& threads = platform::SystemThreadStarter();
    ThreadProbe first, second, busy, beside;
    for (ThreadProbe* probe : {&first, &second}) {
        ASSERT_TRUE(threads.Start(RecordThread, probe, platform::PriorityNormal));
        ASSERT_EQ(WaitForSingleObject(probe->done.get(), 10000), WAIT_OBJECT_0);
        Sleep(50);  // back to waiting
    }
    EXPECT_EQ(first.thread, second.thread);
    ResetEvent(busy.release.get());
    ASSERT_TRUE(threads.Start(RecordThread, &busy, platform::PriorityNormal));
    ASSERT_TRUE(threads.Start(RecordThread, &beside, platform::PriorityNormal));
    EXPECT_EQ(WaitForSingleObject(beside.done.get(), 10000), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(busy.done.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));
    SetEvent(busy.release.get());
    ASSERT_EQ(WaitForSingleObject(busy.done.get(), 10000), WAIT_OBJECT_0);
    EXPECT_NE(busy.thread, beside.thread);
}

struct BlockedRead {
    UniqueKernelHandle readEnd;
    UniqueKernelHandle writeEnd;
    UniqueKernelHandle done{CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<DWORD> error{0};
};

unsigned ReadUntilBrokenOff(void* arg) {
    auto* read = static_cast<BlockedRead*>(arg);
    char byte;
    DWORD count = 0;
    if (!ReadFile(read->readEnd.get(), &byte, 1, &count, nullptr)) read->error = GetLastError();
    SetEvent(read->done.get());
    return 0;
}

// The thread may not have reached its read when the first interrupt comes,
// so it is repeated until the read gives up.
TEST(Win32ThreadStarter, InterruptBreaksOffABlockedPipeRead) {
    BlockedRead read;
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    read.readEnd = UniqueKernelHandle(readEnd);
    read.writeEnd = UniqueKernelHandle(writeEnd);

    platform::ThreadStarter& threads = platform::SystemThreadStarter();
    ASSERT_TRUE(threads.Start(ReadUntilBrokenOff, &read, platform::PriorityNormal));
    bool ended = false;
    for (int attempt = 0; attempt < 50 && !ended; ++attempt) {
        threads.InterruptBlockedIo();
        ended = WaitForSingleObject(read.done.get(), 100) == WAIT_OBJECT_0;
    }
    if (!ended) {
        read.writeEnd.reset();  // lets the thread end before `read` goes
        WaitForSingleObject(read.done.get(), 10000);
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(read.error, static_cast<DWORD>(ERROR_OPERATION_ABORTED));
}

TEST(Win32Clock, CountsSecondsSince1970) {
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    const int64_t now = platform::SystemClock().NowSeconds();
    EXPECT_GE(now, before);
    EXPECT_LE(now, before + 2);
}

TEST(Win32Clock, SleepsAtLeastTheAskedTime) {
    LARGE_INTEGER frequency, start, end;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&start);
    platform::SystemClock().SleepMs(200);
    QueryPerformanceCounter(&end);
    EXPECT_GE((end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart, 195);
}

}  // namespace
