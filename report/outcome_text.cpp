#include "report/outcome_text.h"

#include <cstdio>
#include <cstring>

#include "base/program_texts.h"

static const char GEN_FAILURE_MESSAGE[] =
    "The loading process for %s has failed with an error code of 31 (0x1F). (the DllRegisterServer entry point was "
    "not even called - LoadLibrary() failed) Microsoft's explanation for this error is 'A device attached to the "
    "system is not functioning' This can mean several things:\n\n1. One of the components that this component needs "
    "is missing.\n\n2. One of the components that this component needs returned a result code of 31 (0x1F).\n\n3. "
    "This error is also returned when a corrupted or invalid component is passed to TolVane.\n\n";

static const char SYSTEM_ERROR_MESSAGE[] =
    "The component you are trying to register '%s' has returned an error of type %d (0x%x) and the operating system "
    "reports:\n\n%s\n\nIf the OS said there was no problem, try to determine what the above error code means by "
    "looking in the documentation for this component as that error message is component specific.";

// The message for a code that is not one of the program's own: the system's words for it, or the
// row's own text where that is the explanation.
static const char *SystemErrorMessage(const ResultEntry &row, SystemTextLookup lookup, char *text, size_t size)
{
    char systemText[OUTCOME_SYSTEM_TEXT_SIZE];
    if (row.kind == ROW_OWN_TEXT) // less its explanation, which has a paragraph of its own
        std::snprintf(systemText, sizeof systemText, "%.*s",
                      static_cast<int>(row.explanationAt > 0 ? row.explanationAt - 1 : std::strlen(row.resultText)),
                      row.resultText);
    else
        FormatSystemText(lookup, static_cast<uint32_t>(row.resultCode), row.componentPath, systemText,
                         sizeof systemText);
    std::snprintf(text, size, SYSTEM_ERROR_MESSAGE, row.componentPath, static_cast<int>(row.resultCode),
                  static_cast<unsigned>(row.resultCode), systemText);
    return ERROR_TITLE;
}

static const char *ComposeMessage(const ResultEntry &row, int unregister, SystemTextLookup lookup, char *text,
                                  size_t size)
{
    // -1 and -2 mean "no entry point" and "not found" only when the pipeline itself set them.
    const bool ownCode = row.kind == ROW_BY_CODE;
    if (row.kind == ROW_OWN_TEXT)
        return SystemErrorMessage(row, lookup, text, size);
    if (row.kind == ROW_DONE_TEXT)
    {
        std::snprintf(text, size, "%s", row.resultText);
        return PROGRAM_TITLE;
    }
    switch (row.resultCode)
    {
    case 0:
        std::snprintf(text, size, "The component '%s' has %s successfully.", row.componentPath,
                      unregister ? "unregistered" : "registered");
        return PROGRAM_TITLE;
    case 31: // ERROR_GEN_FAILURE
        std::snprintf(text, size, GEN_FAILURE_MESSAGE, row.componentPath);
        return ERROR_TITLE;
    case RESULT_COMPONENT_NOT_FOUND:
        if (!ownCode)
            break;
        std::snprintf(text, size, "%s", row.resultText);
        return ERROR_TITLE;
    case RESULT_ENTRY_POINT_NOT_FOUND:
        if (!ownCode)
            break;
        std::snprintf(text, size,
                      "Tolvane can not find the %s entry point in %s. Are you sure it is a registerable control ?",
                      unregister ? "DllUnregisterServer" : "DllRegisterServer", row.componentPath);
        return ERROR_TITLE;
    }
    return SystemErrorMessage(row, lookup, text, size);
}

const char *ComposeOutcome(const ResultEntry &row, int unregister, SystemTextLookup lookup, char *text, size_t size)
{
    const char *title = ComposeMessage(row, unregister, lookup, text, size);
    // What TolVane found out about a failure follows the message as a paragraph of its own.
    const size_t length = std::strlen(text);
    if (row.explanationAt > 0 && length < size)
        std::snprintf(text + length, size - length, "%s%s", length > 1 && text[length - 1] == '\n' ? "" : "\n\n",
                      row.resultText + row.explanationAt);
    return title;
}
