// The About window: the version lines and a snapshot of the main window's
// three totals taken when it opens.
#pragma once

#include <string>

#include "framework/Dialog.h"

class CRelayDlg;

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

    CRelayDlg* m_pMainDlg = nullptr;
    std::string m_strByteCount;
    std::string m_strFileCount;
    std::string m_strUptime;

protected:
    void DoDataExchange(CDataExchange& dx) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
};
