#pragma once
// The About dialog: the title picture and the help text.

// Opens the About dialog modally, with no owner, and returns when it closes.
void OpenAboutDialog();
