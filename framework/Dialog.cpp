#include "framework/Dialog.h"

#include "framework/BitmapButton.h"
#include "framework/DataExchange.h"
#include "framework/WinApp.h"

namespace {

// Messages whose result the dialog procedure returns itself instead of
// leaving it in DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message) {
    switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
    case WM_INITDIALOG:
        return true;
    default:
        return false;
    }
}

bool KeyDown(int key) { return ::GetKeyState(key) < 0; }

}  // namespace

CDialog::CDialog(UINT templateId, CWnd* parent) : m_nIDTemplate(templateId), m_pParent(parent) {}

// Without a parent of its own the dialog is owned by the main window, unless
// it is the main window itself.
INT_PTR CDialog::DoModal() {
    HWND owner = m_pParent ? m_pParent->m_hWnd : nullptr;
    CWinApp* app = CWinApp::Current();
    if (!owner && app && app->m_pMainWnd && app->m_pMainWnd != this) owner = app->m_pMainWnd->m_hWnd;
    INT_PTR result = ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_nIDTemplate),
                                       owner, DialogProc, reinterpret_cast<LPARAM>(this));
    m_hWnd = nullptr;
    return result;
}

void CDialog::EndDialog(int result) { ::EndDialog(m_hWnd, result); }

bool CDialog::UpdateData(bool save) {
    CDataExchange dx(*this, save);
    DoDataExchange(dx);
    return !dx.Failed();
}

// Loads the members into the controls, and keeps the Help button only while
// the application has something to do with its command.
BOOL CDialog::OnInitDialog() {
    UpdateData(false);
    if (HWND help = ::GetDlgItem(m_hWnd, ID_HELP)) {
        CWinApp* app = CWinApp::Current();
        ::ShowWindow(help, app && app->HandlesCommand(ID_HELP) ? SW_SHOW : SW_HIDE);
    }
    return TRUE;
}

void CDialog::OnOK() {
    if (UpdateData(true)) EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange&) {}

// The dialog's own bindings first, then OK and Cancel, then the application.
BOOL CDialog::OnCommand(WPARAM wParam, LPARAM) {
    const UINT id = LOWORD(wParam);
    const UINT code = HIWORD(wParam);
    if (RouteCommandFromTable(code, id)) return TRUE;
    // Buttons, menus and accelerators; other notifications are not commands.
    if (code != BN_CLICKED && code != 1) return FALSE;
    if (id == IDOK) {
        OnOK();
        return TRUE;
    }
    if (id == IDCANCEL) {
        OnCancel();
        return TRUE;
    }
    CWinApp* app = CWinApp::Current();
    return app && app->RouteCommand(id);
}

LRESULT CDialog::Default() {
    m_bDefaultPending = true;
    LRESULT result = ::DefDlgProcW(m_hWnd, m_currentMessage, m_currentWParam, m_currentLParam);
    m_bDefaultPending = false;
    return result;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
        dialog->m_hWnd = hwnd;
        return dialog->OnInitDialog();
    }
    auto* dialog = reinterpret_cast<CDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!dialog) return FALSE;
    if (dialog->m_bDefaultPending) {
        dialog->m_bDefaultPending = false;
        return FALSE;
    }

    const UINT outerMessage = dialog->m_currentMessage;
    const WPARAM outerWParam = dialog->m_currentWParam;
    const LPARAM outerLParam = dialog->m_currentLParam;
    dialog->m_currentMessage = message;
    dialog->m_currentWParam = wParam;
    dialog->m_currentLParam = lParam;
    LRESULT result = 0;
    const bool handled = dialog->Dispatch(message, wParam, lParam, result);
    dialog->m_currentMessage = outerMessage;
    dialog->m_currentWParam = outerWParam;
    dialog->m_currentLParam = outerLParam;

    if (!handled) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

bool CDialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    switch (message) {
    case WM_COMMAND:
        result = 0;
        return OnCommand(wParam, lParam);
    case WM_DRAWITEM:
        if (DispatchFromTable(message, wParam, lParam, result)) return true;
        result = TRUE;
        return OnDrawItem(lParam);
    case WM_HELP:
        if (DispatchFromTable(message, wParam, lParam, result)) return true;
        OnHelpRequest();
        result = TRUE;
        return true;
    case WM_SETCURSOR: {
        CWinApp* app = CWinApp::Current();
        if (app && app->Cursor().IsActive()) {
            app->Cursor().Apply();
            result = TRUE;
            return true;
        }
        break;
    }
    default:
        break;
    }
    return DispatchFromTable(message, wParam, lParam, result);
}

bool CDialog::DispatchFromTable(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    const MessageTable table = GetMessageTable();
    for (std::size_t i = 0; i < table.count; ++i) {
        const MessageEntry& entry = table.entries[i];
        if (entry.message == message && entry.onMessage) {
            result = (this->*entry.onMessage)(wParam, lParam);
            return true;
        }
    }
    return false;
}

bool CDialog::RouteCommandFromTable(UINT code, UINT id) {
    const MessageTable table = GetMessageTable();
    for (std::size_t i = 0; i < table.count; ++i) {
        const MessageEntry& entry = table.entries[i];
        if (entry.message == WM_COMMAND && entry.code == code && entry.id == id && entry.onCommand) {
            (this->*entry.onCommand)();
            return true;
        }
    }
    return false;
}

bool CDialog::OnDrawItem(LPARAM lParam) {
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    if (item->CtlType != ODT_BUTTON) return false;
    CBitmapButton* button = CBitmapButton::FromHandle(item->hwndItem);
    if (!button) return false;
    button->DrawItem(*item);
    return true;
}

// F1 arrives as WM_HELP. With no modifier held it becomes the help command of
// the main window, so the About window's F1 opens the same help.
void CDialog::OnHelpRequest() {
    if (KeyDown(VK_SHIFT) || KeyDown(VK_CONTROL) || KeyDown(VK_MENU)) return;
    CWinApp* app = CWinApp::Current();
    HWND main = app && app->m_pMainWnd ? app->m_pMainWnd->m_hWnd : m_hWnd;
    ::SendMessageW(main, WM_COMMAND, ID_HELP, 0);
}
