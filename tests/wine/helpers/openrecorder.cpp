// Stands in for the user's browser: writes down the file the shell asked it to
// open, so a test can see what was opened without a browser showing it.
// Usage: openrecorder <record file> <opened file>
#include <windows.h>

#include <cstring>

#include "framework/Handles.h"

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    const UniqueKernelHandle record(
        CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(std::strlen(argv[2]));
    return record && WriteFile(record.get(), argv[2], size, &written, nullptr) && written == size
               ? 0
               : 1;
}
