// Owners of the kernel's handles for the Win32 twins of the platform services.
#pragma once

#include <windows.h>

namespace platform {

// Owns a kernel object handle; both INVALID_HANDLE_VALUE and null mean none,
// since CreateFileA and CreateThread disagree on how they fail.
class KernelHandle {
public:
    KernelHandle() = default;
    explicit KernelHandle(HANDLE handle) : m_handle(handle) {}
    KernelHandle(KernelHandle&& other) noexcept : m_handle(other.Release()) {}
    KernelHandle& operator=(KernelHandle&& other) noexcept {
        Reset(other.Release());
        return *this;
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    ~KernelHandle() { Reset(nullptr); }

    explicit operator bool() const { return m_handle != nullptr && m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }
    HANDLE Release() {
        HANDLE handle = m_handle;
        m_handle = nullptr;
        return handle;
    }
    void Reset(HANDLE handle) {
        if (*this) CloseHandle(m_handle);
        m_handle = handle;
    }

private:
    HANDLE m_handle = nullptr;
};

// Owns a handle that its own function closes, not CloseHandle.
template <BOOL(WINAPI* Close)(HANDLE)>
class ClosedBy {
public:
    explicit ClosedBy(HANDLE handle) : m_handle(handle) {}
    ClosedBy(const ClosedBy&) = delete;
    ClosedBy& operator=(const ClosedBy&) = delete;
    ~ClosedBy() {
        if (*this) Close(m_handle);
    }
    explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

// A directory search, and a folder's change notification.
using FindHandle = ClosedBy<FindClose>;
using ChangeHandle = ClosedBy<FindCloseChangeNotification>;

}  // namespace platform
