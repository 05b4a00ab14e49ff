#pragma once
// Drawing the rows of the results dialog's owner-drawn list.
#include <windows.h>

// Paints one row of resultsList for the list's draw request: background, focus frame and cells.
void DrawResultRow(const DRAWITEMSTRUCT *item);
