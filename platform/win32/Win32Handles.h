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

// Owns a directory search; closed with FindClose, not CloseHandle.
class FindHandle {
public:
    explicit FindHandle(HANDLE handle) : m_handle(handle) {}
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    ~FindHandle() {
        if (*this) FindClose(m_handle);
    }
    explicit operator bool() const { return m_handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

}  // namespace platform
