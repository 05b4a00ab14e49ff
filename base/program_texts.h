#pragma once
// The titles that every part of the program shows its messages under.

extern const char PROGRAM_TITLE[]; // "TolVane 3.1": success and the OLE failure
extern const char ERROR_TITLE[];   // "Component Registration Error": every other outcome
