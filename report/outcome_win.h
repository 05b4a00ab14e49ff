#pragma once
// The detail message for one row of the results table, in a message box.

// Shows the message for row and returns when the user closes it.
void ShowOutcome(int row);
