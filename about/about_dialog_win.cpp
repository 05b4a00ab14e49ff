#include "about/about_dialog_win.h"

#include <windows.h>

// A plain box until the About dialog with its picture is in place.
void OpenAboutDialog()
{
    MessageBoxA(nullptr, "TolVane registers and unregisters COM components.\n\ntolvane [/S] [/U] myocx.ocx",
                "About TolVane", MB_SYSTEMMODAL | MB_ICONINFORMATION);
}
