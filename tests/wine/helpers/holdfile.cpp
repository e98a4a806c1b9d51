// Plays a producer that still has a file open: opens it with no sharing,
// signals the ready event, and keeps it open until the release event is set
// (or a minute has passed, so that a failed test leaves nothing behind).
// Usage: holdfile <path> <ready event> <release event>
#include <windows.h>

#include "framework/Handles.h"

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    const UniqueKernelHandle file(CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    const UniqueKernelHandle ready(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]));
    const UniqueKernelHandle release(OpenEventA(SYNCHRONIZE, FALSE, argv[3]));
    if (!file || !ready || !release) return 1;
    SetEvent(ready.get());
    return WaitForSingleObject(release.get(), 60000) == WAIT_OBJECT_0 ? 0 : 3;
}
