// The Win32 twin's folder watch, made by its file system.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Platform.h"

namespace platform {

// Null for a network folder, a folder that cannot be watched, or when no
// thread can be started.
std::unique_ptr<FolderWatch> WatchFolderWin32(const std::wstring& folder, std::function<void()> onChange);

}  // namespace platform
