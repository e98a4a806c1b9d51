// One running copy per profile section and user: a second copy of a section
// would relay from the same folder and write the same settings and record.
#pragma once

#include <windows.h>

#include <string>

#include "framework/Handles.h"

class SectionCopy {
public:
    // Claims the section for this process, or finds the copy that holds it.
    explicit SectionCopy(const std::string& section);
    SectionCopy(const SectionCopy&) = delete;
    SectionCopy& operator=(const SectionCopy&) = delete;

    // False when another copy runs with the same section.
    bool IsOnlyCopy() const { return m_bOnly; }
    // Brings the other copy's window forward; one hidden in the tray stays there.
    void ShowOtherCopy() const;

private:
    UniqueHandle<KernelHandleTraits> m_object;
    bool m_bOnly = true;
    DWORD m_otherProcess = 0;  // 0 while the other copy has not written its id
};

