#include "report/results_copy.h"

#include "base/text.h"
#include "report/row_drawing.h"

size_t ComposeResultsText(const ResultsTable &table, char *out, size_t size)
{
    size_t length = 0;
    AppendWhole(out, size, &length, "Component\tCode\tResults\r\n", NoLeadBytes);
    for (int i = 0; i < table.rowCount; i++)
    {
        const ResultEntry &row = table.rows[i];
        char code[CODE_TEXT_SIZE];
        FormatCodeCell(row.resultCode, code, sizeof code);
        const char *cells[] = {row.componentPath, "\t", code, "\t", row.resultText, "\r\n"};
        for (const char *cell : cells)
            AppendWhole(out, size, &length, cell, NoLeadBytes);
    }
    if (out != nullptr && size > 0)
        out[length < size ? length : size - 1] = '\0';
    return length;
}
