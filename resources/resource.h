#pragma once
// Resource and control identifiers, shared by the resource script and the code.

#define IDC_HELP_TEXT 1001
#define IDC_HELP_FRAME 1002
#define IDC_RESULTS_LIST 1003

#define IDR_HELP_TEXT 107
#define IDB_TITLE_PICTURE 108
#define IDI_TOLVANE 110
