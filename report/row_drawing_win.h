#pragma once
// Drawing the rows of the results dialog's owner-drawn list.
#include <windows.h>

// The results dialog's list control; set when the dialog initialises, valid while it is open.
extern HWND resultsList;

// Paints one row of resultsList for the list's draw request: background, focus frame and cells.
void DrawResultRow(const DRAWITEMSTRUCT *item);
