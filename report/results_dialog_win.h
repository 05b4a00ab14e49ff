#pragma once
// The report of a run over two or more components.
#include <windows.h>

// The results dialog's list control; set when the dialog initialises, valid while it is open.
extern HWND resultsList;

// Opens the results dialog modally and returns when it closes.
void OpenResultsDialog();
