#pragma once
// The report of a run over two or more components.

// Opens the results dialog modally and returns when it closes.
void OpenResultsDialog();
