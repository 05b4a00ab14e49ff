#pragma once
// /V on the Win32 side (app/verify/verify.h): the registry read in a given view, files compared
// by their identity, and a class object had through the real registry.
#include "app/verify/verify.h"

VerifyOps WinVerifyOps();
