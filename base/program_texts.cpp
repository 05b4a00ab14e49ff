#include "base/program_texts.h"

const char PROGRAM_TITLE[] = "TolVane 3.1";
const char ERROR_TITLE[] = "Component Registration Error";
