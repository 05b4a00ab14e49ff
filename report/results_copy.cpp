#include "report/results_copy.h"

#include <cstring>

#include "report/row_drawing.h"

// Appends text at *length; what does not fit in size bytes (with the terminator) is counted only.
static void Append(const char *text, char *out, size_t size, size_t *length)
{
    const size_t count = std::strlen(text);
    if (out != nullptr && *length < size)
    {
        const size_t room = size - 1 - *length;
        std::memcpy(out + *length, text, count < room ? count : room);
    }
    *length += count;
}

size_t ComposeResultsText(const ResultsTable &table, char *out, size_t size)
{
    size_t length = 0;
    Append("Component\tCode\tResults\r\n", out, size, &length);
    for (int i = 0; i < table.rowCount; i++)
    {
        const ResultEntry &row = table.rows[i];
        char code[CODE_TEXT_SIZE];
        FormatCodeCell(row.resultCode, code, sizeof code);
        const char *cells[] = {row.componentPath, "\t", code, "\t", row.resultText, "\r\n"};
        for (const char *cell : cells)
            Append(cell, out, size, &length);
    }
    if (out != nullptr && size > 0)
        out[length < size ? length : size - 1] = '\0';
    return length;
}
