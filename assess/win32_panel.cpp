#include "assess/win32_panel.h"

#include <commctrl.h>

void Win32Panel::SetFieldText(int control, const char* text)
{
    SetDlgItemTextA(dialog_, control, text);
}

void Win32Panel::SetCheck(int control, bool checked)
{
    CheckDlgButton(dialog_, control, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32Panel::IsChecked(int control)
{
    return IsDlgButtonChecked(dialog_, control) == BST_CHECKED;
}

void Win32Panel::SetBarPosition(int control, int position)
{
    SendDlgItemMessageA(dialog_, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}
