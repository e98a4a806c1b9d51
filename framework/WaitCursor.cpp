#include "framework/WaitCursor.h"

void WaitCursor::Begin() {
    if (m_depth++ == 0) m_restore = ::SetCursor(::LoadCursor(nullptr, IDC_WAIT));
}

void WaitCursor::End() {
    if (m_depth == 0) return;
    if (--m_depth == 0) ::SetCursor(m_restore ? m_restore : ::LoadCursor(nullptr, IDC_ARROW));
}

void WaitCursor::Apply() const { ::SetCursor(::LoadCursor(nullptr, IDC_WAIT)); }
