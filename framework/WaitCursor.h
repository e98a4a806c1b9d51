// The hourglass shown while the program is busy on the interface thread.
// Begin and End nest: the cursor goes back only when the outermost End comes.
#pragma once

#include <windows.h>

class WaitCursor {
public:
    void Begin();
    void End();
    // Dialogs ask this on WM_SETCURSOR, so a message pump running while the
    // program waits does not put the arrow back.
    bool IsActive() const { return m_depth > 0; }
    void Apply() const;

private:
    int m_depth = 0;
    HCURSOR m_restore = nullptr;
};
