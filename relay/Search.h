// The search of the watched folder for the next job file.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "relay/UndeletableJobs.h"

// Tries the ";"-separated patterns of `patterns` in order in `folder` and
// stores the first regular file found in `foundFile`. Appends a backslash to
// `folder` when it has none at its end.
bool FindTargetFile(std::string& folder, const std::string& patterns, std::string& foundFile,
                    platform::FileSystem& fs, const UndeletableJobs& undeletable,
                    platform::LeadByteTest isLeadByte);
