#include "app/batch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/options.h"
#include "app/paths/path_parts.h"

ResultsTable resultsTable;
int unregisterMode;
int silentMode;

static int32_t exitValue;
static bool entryPointCalled;
static char startFolder[PATH_BUFFER_SIZE];
static bool haveStartFolder;
static bool folderMoved;

constexpr size_t LOAD_TEXT_SIZE = 1024;
constexpr size_t ENTRY_TEXT_SIZE = 512;

static const char OUT_OF_MEMORY_TEXT[] = "The result could not be stored: out of memory.";

void BeginBatch(const PlatformOps &ops)
{
    // Rows live until the process ends; only a table that is filled again gives back its rows.
    for (int i = 0; i < resultsTable.rowCount; i++)
    {
        std::free(resultsTable.rows[i].componentPath);
        if (resultsTable.rows[i].resultText != OUT_OF_MEMORY_TEXT)
            std::free(const_cast<char *>(resultsTable.rows[i].resultText));
    }
    resultsTable.rowCount = 0;
    resultsTable.unprocessedCount = 0;
    exitValue = 0;
    entryPointCalled = false;
    folderMoved = false;
    haveStartFolder = ops.currentFolder(startFolder, sizeof startFolder);
}

static const char *CopyText(const char *text)
{
    size_t size = std::strlen(text) + 1;
    char *copy = static_cast<char *>(std::malloc(size));
    if (copy == nullptr)
        return OUT_OF_MEMORY_TEXT;
    std::memcpy(copy, text, size);
    return copy;
}

static void AppendRow(char *path, const char *text, int32_t code)
{
    ResultEntry &row = resultsTable.rows[resultsTable.rowCount];
    row.componentPath = path;
    row.resultText = CopyText(text);
    row.resultCode = code;
    resultsTable.rowCount++;
}

static void AppendSystemFailure(char *path, uint32_t code, size_t textSize, const PlatformOps &ops)
{
    char text[LOAD_TEXT_SIZE];
    FormatSystemRowText(ops.systemText, code, text, textSize < sizeof text ? textSize : sizeof text);
    AppendRow(path, text, static_cast<int32_t>(code));
}

// A path that is not a drive-root or network path is resolved against the current folder.
static bool DependsOnCurrentFolder(const char *path)
{
    auto separator = [](char c) { return c == '\\' || c == '/'; };
    if (path[0] != '\0' && path[1] == ':' && separator(path[2]))
        return false;
    return !(separator(path[0]) && separator(path[1]));
}

void RegisterComponent(const char *argument, const PlatformOps &ops)
{
    if (resultsTable.rowCount >= MAX_RESULT_ROWS)
    {
        resultsTable.unprocessedCount++;
        return;
    }
    char *path = static_cast<char *>(std::malloc(PATH_BUFFER_SIZE));
    if (path == nullptr)
    {
        resultsTable.unprocessedCount++;
        return;
    }

    // A name that cannot fit the path buffer is never loaded: its row keeps what fits.
    if (std::strlen(argument) > PATH_BUFFER_SIZE - 1)
    {
        CopyWholeCharacters(path, PATH_BUFFER_SIZE, argument, argument + std::strlen(argument), ops.isLeadByte);
        AppendSystemFailure(path, RESULT_FILE_NAME_TOO_LONG, LOAD_TEXT_SIZE, ops);
        return;
    }
    std::strcpy(path, argument);

    // Relative names are taken from the folder the run started in, not from the folder of the
    // component before: for the expansion of short names as much as for the load.
    if (folderMoved && haveStartFolder && DependsOnCurrentFolder(path))
    {
        ops.changeFolder(startFolder);
        folderMoved = false;
    }
    ops.expandLongPath(path);

    // The component is tested and loaded by its full path, so the module search order can never
    // pick another file of the same name.
    char fullPath[PATH_BUFFER_SIZE];
    if (path[0] == '\0')
    {
        fullPath[0] = '\0';
    }
    else
    {
        if (!ops.fullPath(path, fullPath, sizeof fullPath))
        {
            AppendSystemFailure(path, RESULT_FILE_NAME_TOO_LONG, LOAD_TEXT_SIZE, ops);
            return;
        }
    }

    char text[LOAD_TEXT_SIZE];
    if (!ops.fileExists(fullPath))
    {
        std::snprintf(text, sizeof text, "The component '%s' could not found on this computer.", path);
        AppendRow(path, text, RESULT_COMPONENT_NOT_FOUND);
        return;
    }

    PathParts parts;
    char folder[PATH_BUFFER_SIZE];
    SplitPath(fullPath, ops.isLeadByte, &parts);
    MakePath(folder, parts.drive, parts.directory, nullptr, nullptr, ops.isLeadByte);
    if (folder[0] != '\0')
    {
        ops.changeFolder(folder);
        folderMoved = true;
    }

    void *module = ops.loadModule(fullPath);
    if (module == nullptr)
    {
        AppendSystemFailure(path, ops.lastError(), LOAD_TEXT_SIZE, ops);
        return;
    }

    const char *entryName = unregisterMode ? "DllUnregisterServer" : "DllRegisterServer";
    void *entryPoint = ops.findEntryPoint(module, entryName);
    if (entryPoint == nullptr)
    {
        ops.freeModule(module);
        std::snprintf(text, sizeof text, "%s entry point not found", entryName);
        AppendRow(path, text, RESULT_ENTRY_POINT_NOT_FOUND);
        return;
    }

    // Cleared first, so that a value left over from the load is never blamed on the entry point.
    ops.setLastError(0);
    int32_t result = ops.callEntryPoint(entryPoint);
    exitValue = result;
    entryPointCalled = true;
    if (result != 0)
    {
        // An entry point that fails without setting the last-error value is recorded with its own
        // result, so that the failure can never read as code 0, success.
        uint32_t lastError = ops.lastError();
        AppendSystemFailure(path, lastError != 0 ? lastError : static_cast<uint32_t>(result), ENTRY_TEXT_SIZE, ops);
    }
    else
    {
        std::snprintf(text, sizeof text, "%s successfully", unregisterMode ? "Unregistered" : "Registered");
        AppendRow(path, text, 0);
    }
    ops.freeModule(module);
}

void RunBatch(int argc, char **argv, const PlatformOps &ops)
{
    BeginBatch(ops);
    for (int i = 1; i < argc; i++)
    {
        switch (ClassifyArgument(argv[i]))
        {
        case ARGUMENT_SILENT:
            silentMode = 1;
            break;
        case ARGUMENT_UNREGISTER:
            unregisterMode = 1;
            break;
        case ARGUMENT_IGNORED_OPTION:
            break;
        case ARGUMENT_COMPONENT:
            RegisterComponent(argv[i], ops);
            break;
        }
    }
}

int32_t BatchExitValue()
{
    if (entryPointCalled)
        return exitValue;
    if (resultsTable.rowCount > 0)
        return resultsTable.rows[resultsTable.rowCount - 1].resultCode;
    return 0;
}
