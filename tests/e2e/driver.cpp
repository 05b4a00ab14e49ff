#include "driver.h"

#include <commctrl.h>
#include <cstdio>

std::wstring Widen(const std::string &text)
{
    int size = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    std::wstring wide(size > 0 ? size - 1 : 0, L'\0');
    if (size > 1)
        MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], size);
    return wide;
}

bool LaunchProgram(const std::string &program, const std::string &arguments, const char *folder, Launched *launched)
{
    return LaunchProgram(program, Widen(arguments), folder, launched);
}

bool LaunchProgram(const std::string &program, const std::wstring &arguments, const char *folder, Launched *launched)
{
    const std::wstring wideProgram = Widen(program);
    std::wstring commandLine = L"\"" + wideProgram + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::vector<wchar_t> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back(L'\0');
    const std::wstring wideFolder = folder != nullptr ? Widen(folder) : std::wstring();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    // Wine now and then refuses a start while an earlier process is still being taken down: try again.
    for (int attempt = 0;; attempt++)
    {
        if (CreateProcessW(wideProgram.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           folder != nullptr ? wideFolder.c_str() : nullptr, &startup, &info))
            break;
        DWORD error = GetLastError();
        if (attempt == 4)
        {
            std::fprintf(stderr, "driver: cannot start %s (error %lu)\n", program.c_str(), error);
            SetLastError(error);
            return false;
        }
        Sleep(200);
    }
    CloseHandle(info.hThread);
    launched->process = info.hProcess;
    launched->processId = info.dwProcessId;
    return true;
}

bool WaitForExit(const Launched &launched, DWORD timeoutMs, DWORD *exitCode)
{
    if (WaitForSingleObject(launched.process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    return GetExitCodeProcess(launched.process, exitCode) != FALSE;
}

void Dispose(Launched &launched)
{
    if (launched.process == nullptr)
        return;
    if (WaitForSingleObject(launched.process, 0) != WAIT_OBJECT_0)
    {
        TerminateProcess(launched.process, 0xDEAD);
        WaitForSingleObject(launched.process, 5000);
    }
    CloseHandle(launched.process);
    launched.process = nullptr;
}

struct DialogSearch
{
    DWORD processId;
    std::vector<HWND> found;
};

static BOOL CALLBACK CollectDialog(HWND window, LPARAM context)
{
    DialogSearch *search = reinterpret_cast<DialogSearch *>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[32] = "";
    GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && IsWindowVisible(window) && lstrcmpA(className, "#32770") == 0)
        search->found.push_back(window);
    return TRUE;
}

std::vector<HWND> DialogsOf(DWORD processId)
{
    DialogSearch search = {processId, {}};
    EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// How long a dialog that was found may take to finish its set-up and first paint.
static const DWORD DIALOG_READY_MS = 3000;

static HWND FindDialog(DWORD processId, const std::function<bool(HWND)> &accept)
{
    for (HWND dialog : DialogsOf(processId))
        if (accept(dialog))
            return dialog;
    return nullptr;
}

static std::function<bool(HWND)> TitleIs(const char *title)
{
    return [title](HWND dialog) { return title == nullptr || WindowText(dialog) == title; };
}

// A dialog has finished its set-up and first paint once its thread answers messages (it is past
// WM_INITDIALOG, in its message loop), its controls exist, and neither it nor a visible control of
// it has anything left to paint.
static bool DialogReady(HWND dialog)
{
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &answer))
        return false;
    HWND control = GetWindow(dialog, GW_CHILD);
    if (control == nullptr || GetUpdateRect(dialog, nullptr, FALSE))
        return false;
    for (; control != nullptr; control = GetWindow(control, GW_HWNDNEXT))
        if (IsWindowVisible(control) && GetUpdateRect(control, nullptr, FALSE))
            return false;
    return true;
}

HWND WaitForDialogWhere(DWORD processId, const std::function<bool(HWND)> &accept, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;)
    {
        HWND dialog = FindDialog(processId, accept);
        if (dialog != nullptr)
        {
            // A dialog that is not ready in time is handed on as it is: the test then sees what it shows.
            const DWORD found = GetTickCount();
            while (!DialogReady(dialog) && IsWindow(dialog) && GetTickCount() - found < DIALOG_READY_MS)
                Sleep(10);
            return dialog;
        }
        if (GetTickCount() - start > timeoutMs)
            return nullptr;
        Sleep(20);
    }
}

HWND WaitForDialog(DWORD processId, const char *title, DWORD timeoutMs)
{
    return WaitForDialogWhere(processId, TitleIs(title), timeoutMs);
}

HWND WaitForAnyDialog(DWORD processId, DWORD timeoutMs)
{
    return WaitForDialog(processId, nullptr, timeoutMs);
}

bool WaitForDialogGone(DWORD processId, const char *title, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    while (FindDialog(processId, TitleIs(title)) != nullptr)
    {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

std::string WindowText(HWND window)
{
    int length = GetWindowTextLengthA(window);
    std::string text(static_cast<size_t>(length) + 1, '\0');
    int copied = GetWindowTextA(window, &text[0], length + 1);
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string ControlText(HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    return control != nullptr ? WindowText(control) : std::string();
}

std::string MessageBoxText(HWND box)
{
    return ControlText(box, 0xFFFF);
}

void PressButton(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void RequestClose(HWND window)
{
    PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

// Memory in the list's process for the records that list messages exchange.
struct RemoteBuffer
{
    HANDLE process;
    char *address;
};

static RemoteBuffer OpenRemote(HWND list, size_t size)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(list, &processId);
    RemoteBuffer remote = {};
    remote.process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
    if (remote.process != nullptr)
        remote.address = static_cast<char *>(
            VirtualAllocEx(remote.process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    return remote;
}

static void CloseRemote(RemoteBuffer &remote)
{
    if (remote.address != nullptr)
        VirtualFreeEx(remote.process, remote.address, 0, MEM_RELEASE);
    if (remote.process != nullptr)
        CloseHandle(remote.process);
}

int ListItemCount(HWND list)
{
    return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
}

std::string ListItemText(HWND list, int item, int subItem)
{
    const size_t textSize = 1100;
    RemoteBuffer remote = OpenRemote(list, sizeof(LVITEMA) + textSize);
    if (remote.address == nullptr)
        return "<no access>";
    LVITEMA record = {};
    record.mask = LVIF_TEXT;
    record.iItem = item;
    record.iSubItem = subItem;
    record.pszText = remote.address + sizeof(LVITEMA);
    record.cchTextMax = static_cast<int>(textSize);
    WriteProcessMemory(remote.process, remote.address, &record, sizeof record, nullptr);
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.address));
    char text[1100] = "";
    ReadProcessMemory(remote.process, remote.address + sizeof(LVITEMA), text, textSize, nullptr);
    text[textSize - 1] = '\0';
    CloseRemote(remote);
    return text;
}

std::string ListColumnTitle(HWND list, int column)
{
    const size_t textSize = 256;
    RemoteBuffer remote = OpenRemote(list, sizeof(LVCOLUMNA) + textSize);
    if (remote.address == nullptr)
        return "<no access>";
    LVCOLUMNA record = {};
    record.mask = LVCF_TEXT;
    record.pszText = remote.address + sizeof(LVCOLUMNA);
    record.cchTextMax = static_cast<int>(textSize);
    WriteProcessMemory(remote.process, remote.address, &record, sizeof record, nullptr);
    LRESULT ok =
        SendMessageA(list, LVM_GETCOLUMNA, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(remote.address));
    char text[256] = "";
    if (ok)
        ReadProcessMemory(remote.process, remote.address + sizeof(LVCOLUMNA), text, textSize, nullptr);
    text[textSize - 1] = '\0';
    CloseRemote(remote);
    return ok ? text : "<no column>";
}

int ListColumnWidth(HWND list, int column)
{
    return static_cast<int>(SendMessageA(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

RECT ListItemRect(HWND list, int item)
{
    RECT rect = {};
    RemoteBuffer remote = OpenRemote(list, sizeof(RECT));
    if (remote.address == nullptr)
        return rect;
    rect.left = LVIR_BOUNDS;
    WriteProcessMemory(remote.process, remote.address, &rect, sizeof rect, nullptr);
    SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.address));
    ReadProcessMemory(remote.process, remote.address, &rect, sizeof rect, nullptr);
    CloseRemote(remote);
    return rect;
}

bool SelectListItem(HWND list, int item)
{
    RemoteBuffer remote = OpenRemote(list, sizeof(LVITEMA));
    if (remote.address == nullptr)
        return false;
    LVITEMA record = {};
    record.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    record.state = LVIS_SELECTED | LVIS_FOCUSED;
    WriteProcessMemory(remote.process, remote.address, &record, sizeof record, nullptr);
    LRESULT ok =
        SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(remote.address));
    CloseRemote(remote);
    return ok != 0;
}

Capture CaptureClient(HWND window)
{
    Capture capture = {0, 0, {}};
    RECT client;
    if (!GetClientRect(window, &client))
        return capture;
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    int width = client.right;
    int height = client.bottom;
    if (width <= 0 || height <= 0)
        return capture;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void *bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, origin.x, origin.y, SRCCOPY);
    GdiFlush();
    capture.width = width;
    capture.height = height;
    capture.pixels.resize(static_cast<size_t>(width) * height);
    const DWORD *source = static_cast<const DWORD *>(bits);
    for (size_t i = 0; i < capture.pixels.size(); i++)
    {
        DWORD bgra = source[i];
        capture.pixels[i] = RGB((bgra >> 16) & 0xFF, (bgra >> 8) & 0xFF, bgra & 0xFF);
    }
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

bool SaveCapture(const Capture &capture, const char *path)
{
    FILE *file = std::fopen(path, "wb");
    if (file == nullptr)
        return false;
    int rowSize = (capture.width * 3 + 3) & ~3;
    BITMAPFILEHEADER fileHeader = {};
    BITMAPINFOHEADER header = {};
    fileHeader.bfType = 0x4D42;
    fileHeader.bfOffBits = sizeof fileHeader + sizeof header;
    fileHeader.bfSize = fileHeader.bfOffBits + static_cast<DWORD>(rowSize) * capture.height;
    header.biSize = sizeof header;
    header.biWidth = capture.width;
    header.biHeight = capture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    std::fwrite(&fileHeader, sizeof fileHeader, 1, file);
    std::fwrite(&header, sizeof header, 1, file);
    std::vector<unsigned char> row(static_cast<size_t>(rowSize), 0);
    for (int y = capture.height - 1; y >= 0; y--)
    {
        for (int x = 0; x < capture.width; x++)
        {
            COLORREF c = capture.pixels[static_cast<size_t>(y) * capture.width + x];
            row[x * 3] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
        std::fwrite(row.data(), 1, row.size(), file);
    }
    std::fclose(file);
    return true;
}

int ListStringWidth(HWND list, const std::string &text)
{
    RemoteBuffer remote = OpenRemote(list, text.size() + 1);
    if (remote.address == nullptr)
        return -1;
    WriteProcessMemory(remote.process, remote.address, text.c_str(), text.size() + 1, nullptr);
    LRESULT width = SendMessageA(list, LVM_GETSTRINGWIDTHA, 0, reinterpret_cast<LPARAM>(remote.address));
    CloseRemote(remote);
    return static_cast<int>(width);
}
