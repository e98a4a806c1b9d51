// The folder watch of the Win32 twin: a thread of its own waits on the
// system's change notification and reports every change it is told of.
#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <utility>

#include "platform/Platform.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32FolderWatch.h"

namespace platform {
namespace {

class Win32FolderWatch : public FolderWatch {
public:
    Win32FolderWatch(HANDLE change, KernelHandle stop, std::function<void()> onChange)
        : m_change(change), m_stop(std::move(stop)), m_onChange(std::move(onChange)),
          m_thread([this] { Run(); }) {}
    Win32FolderWatch(const Win32FolderWatch&) = delete;
    Win32FolderWatch& operator=(const Win32FolderWatch&) = delete;
    ~Win32FolderWatch() override {
        SetEvent(m_stop.Get());
        m_thread.join();
    }
    bool Healthy() const override { return !m_broken.load(std::memory_order_acquire); }

private:
    // Armed again before the change is told, so that a change made while the
    // engine looks is reported once more rather than lost.
    void Run() {
        const HANDLE handles[] = {m_stop.Get(), m_change.Get()};
        for (;;) {
            const DWORD woken = WaitForMultipleObjects(2, handles, FALSE, INFINITE);
            if (woken == WAIT_OBJECT_0) return;
            if (woken != WAIT_OBJECT_0 + 1 || !FindNextChangeNotification(m_change.Get())) {
                m_broken.store(true, std::memory_order_release);
                m_onChange();  // one last look, then the poll takes over
                return;
            }
            m_onChange();
        }
    }

    ChangeHandle m_change;
    KernelHandle m_stop;
    std::function<void()> m_onChange;
    std::atomic<bool> m_broken{false};
    std::thread m_thread;  // last: started once everything it uses is there
};

// A folder on another computer: its notifications end unannounced when the
// connection drops, so only polling can be trusted there.
bool IsNetworkFolder(const std::wstring& folder) {
    if (folder.size() >= 2 && (folder[0] == L'\\' || folder[0] == L'/') && (folder[1] == L'\\' || folder[1] == L'/'))
        return true;
    wchar_t full[MAX_PATH] = L"";
    const DWORD length = GetFullPathNameW(folder.empty() ? L"." : folder.c_str(), MAX_PATH, full, nullptr);
    if (length == 0 || length >= MAX_PATH) return true;
    if (full[0] == L'\\') return true;
    const wchar_t root[] = {full[0], L':', L'\\', L'\0'};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

}  // namespace

std::unique_ptr<FolderWatch> WatchFolderWin32(const std::wstring& folder, std::function<void()> onChange) {
    if (IsNetworkFolder(folder)) return nullptr;
    const HANDLE change = FindFirstChangeNotificationW(
        folder.empty() ? L"." : folder.c_str(), FALSE,
        FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME | FILE_NOTIFY_CHANGE_ATTRIBUTES |
            FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE);
    if (change == INVALID_HANDLE_VALUE) return nullptr;
    KernelHandle stop(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!stop) {
        FindCloseChangeNotification(change);
        return nullptr;
    }
    try {
        return std::make_unique<Win32FolderWatch>(change, std::move(stop), std::move(onChange));
    } catch (...) {
        return nullptr;  // no thread: the poll alone finds the jobs
    }
}

}  // namespace platform
