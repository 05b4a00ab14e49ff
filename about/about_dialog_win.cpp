#include "about/about_dialog_win.h"

#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "about/about_layout.h"
#include "base/program_texts.h"
#include "base/system_text.h"
#include "base/system_win.h"
#include "resources/resource.h"

// The drawing objects of one open About dialog. Each dialog keeps its own (in DWLP_USER), so a
// second About dialog opened from the results dialog never draws with objects the first one has
// deleted, and each object is deleted once, by the dialog that made it.
struct AboutDrawing
{
    HBITMAP aboutBitmap;   // title picture, a DIB section
    HDC aboutMemoryDc;     // memory context with aboutBitmap selected
    HPALETTE aboutPalette; // from the picture's own colour table
    int32_t aboutPictureWidth;
    int32_t aboutPictureHeight;
};

static const char PICTURE_MISSING_NOTE[] = "TolVane could not load its title picture (bitmap 108).\r\n\r\n";
static const char HELP_MISSING_NOTE[] = "TolVane could not load its help text (resource 107).\r\n";

static AboutDrawing *DrawingOf(HWND dialog)
{
    return reinterpret_cast<AboutDrawing *>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// The bytes of a resource of module, read-only and valid for the life of the process; null when absent.
static const unsigned char *ResourceBytes(HMODULE module, LPCSTR name, LPCSTR type, size_t *size)
{
    HRSRC found = FindResourceA(module, name, type);
    if (found == nullptr)
        return nullptr;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr)
        return nullptr;
    *size = SizeofResource(module, found);
    return static_cast<const unsigned char *>(LockResource(loaded));
}

// The memory context goes first: the picture is still selected into it.
static void DeleteDrawingObjects(AboutDrawing *drawing)
{
    if (drawing->aboutMemoryDc != nullptr)
        DeleteDC(drawing->aboutMemoryDc);
    if (drawing->aboutBitmap != nullptr)
        DeleteObject(drawing->aboutBitmap);
    if (drawing->aboutPalette != nullptr)
        DeleteObject(drawing->aboutPalette);
    *drawing = AboutDrawing{};
}

// Deletes the dialog's drawing objects and forgets them, so that later paint and activation
// messages draw nothing. Safe to call again: the second call finds nothing to delete.
static void ReleaseDrawing(HWND dialog)
{
    AboutDrawing *drawing = DrawingOf(dialog);
    if (drawing == nullptr)
        return;
    SetWindowLongPtrA(dialog, DWLP_USER, 0);
    DeleteDrawingObjects(drawing);
    std::free(drawing);
}

// Loads the picture, its memory context and its palette; false (and nothing kept) when any is missing.
static bool LoadPicture(HWND dialog, AboutDrawing *drawing)
{
    drawing->aboutBitmap = static_cast<HBITMAP>(
        LoadImageA(appInstance, MAKEINTRESOURCEA(IDB_TITLE_PICTURE), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    HDC dialogDc = GetDC(dialog);
    drawing->aboutMemoryDc = CreateCompatibleDC(dialogDc);
    ReleaseDC(dialog, dialogDc);
    if (drawing->aboutBitmap != nullptr && drawing->aboutMemoryDc != nullptr)
        SelectObject(drawing->aboutMemoryDc, drawing->aboutBitmap);

    size_t size = 0;
    const unsigned char *bytes = ResourceBytes(appInstance, MAKEINTRESOURCEA(IDB_TITLE_PICTURE), RT_BITMAP, &size);
    AboutPicture picture;
    if (bytes != nullptr && BuildAboutPalette(bytes, size, &picture))
    {
        drawing->aboutPictureWidth = picture.width;
        drawing->aboutPictureHeight = picture.height;
        struct
        {
            WORD palVersion;
            WORD palNumEntries;
            PALETTEENTRY palPalEntry[ABOUT_PALETTE_MAX_ENTRIES];
        } description;
        description.palVersion = picture.version;
        description.palNumEntries = picture.count;
        for (int i = 0; i < picture.count; i++)
        {
            description.palPalEntry[i].peRed = picture.entries[i].red;
            description.palPalEntry[i].peGreen = picture.entries[i].green;
            description.palPalEntry[i].peBlue = picture.entries[i].blue;
            description.palPalEntry[i].peFlags = picture.entries[i].flags;
        }
        drawing->aboutPalette = CreatePalette(reinterpret_cast<LOGPALETTE *>(&description));
    }

    if (drawing->aboutBitmap != nullptr && drawing->aboutMemoryDc != nullptr && drawing->aboutPalette != nullptr)
        return true;
    DeleteDrawingObjects(drawing);
    return false;
}

// Widens a dialog that the template made narrower than the picture, and moves the controls below it.
static void FitToPicture(HWND dialog, const AboutDrawing *drawing)
{
    RECT client;
    GetClientRect(dialog, &client);
    AboutResize resize = ComputeAboutResize(client.right, client.bottom, drawing->aboutPictureWidth);
    if (!resize.resize)
        return;
    SetWindowPos(dialog, HWND_TOPMOST, 0, 0, resize.width, resize.height, SWP_NOMOVE);

    HWND frame = GetDlgItem(dialog, IDC_HELP_FRAME);
    HWND text = GetDlgItem(dialog, IDC_HELP_TEXT);
    HWND button = GetDlgItem(dialog, IDOK);
    RECT frameClient, textClient, buttonClient, dialogWindow, textWindow;
    GetClientRect(frame, &frameClient);
    GetClientRect(text, &textClient);
    GetClientRect(button, &buttonClient);
    GetWindowRect(dialog, &dialogWindow);
    GetWindowRect(text, &textWindow);
    GetClientRect(dialog, &client);

    AboutMeasures measures;
    measures.pictureWidth = drawing->aboutPictureWidth;
    measures.pictureHeight = drawing->aboutPictureHeight;
    measures.frameWidth = frameClient.right;
    measures.frameHeight = frameClient.bottom;
    measures.textWidth = textClient.right;
    measures.textHeight = textClient.bottom;
    measures.textDistance = dialogWindow.bottom - textWindow.top;
    measures.captionHeight = GetSystemMetrics(SM_CYCAPTION);
    measures.buttonWidth = buttonClient.right;
    measures.buttonHeight = buttonClient.bottom;
    measures.clientHeight = client.bottom;
    AboutPlacement placement = PlaceAboutControls(measures);
    MoveWindow(frame, placement.frame.x, placement.frame.y, placement.frame.width, placement.frame.height, FALSE);
    MoveWindow(text, placement.text.x, placement.text.y, placement.text.width, placement.text.height, FALSE);
    MoveWindow(button, placement.button.x, placement.button.y, placement.button.width, placement.button.height, FALSE);
}

// Puts the help text into its box, after a note on whatever could not be loaded.
static void ShowHelpText(HWND dialog, bool pictureLoaded)
{
    size_t size = 0;
    const unsigned char *bytes = ResourceBytes(nullptr, MAKEINTRESOURCEA(IDR_HELP_TEXT), "STRING", &size);
    char *help = bytes != nullptr ? LoadHelpText(bytes, size) : nullptr;
    HWND box = GetDlgItem(dialog, IDC_HELP_TEXT);
    if (pictureLoaded && help != nullptr)
    {
        SetWindowTextA(box, help);
        std::free(help);
        return;
    }

    const char *pictureNote = pictureLoaded ? "" : PICTURE_MISSING_NOTE;
    const char *rest = help != nullptr ? help : HELP_MISSING_NOTE;
    size_t length = std::strlen(pictureNote) + std::strlen(rest) + 1;
    char *text = static_cast<char *>(std::malloc(length));
    if (text != nullptr)
    {
        std::snprintf(text, length, "%s%s", pictureNote, rest);
        SetWindowTextA(box, text);
        std::free(text);
    }
    else
        SetWindowTextA(box, rest);
    std::free(help);
}

// Draws the picture at the top of the client area, centred, through its own palette.
static void DrawPicture(HWND dialog, HDC dc)
{
    const AboutDrawing *drawing = DrawingOf(dialog);
    if (drawing == nullptr || drawing->aboutMemoryDc == nullptr)
        return; // closed already, or there is no picture
    RECT client;
    GetClientRect(dialog, &client);
    HPALETTE previous = SelectPalette(dc, drawing->aboutPalette, FALSE);
    RealizePalette(dc);
    int32_t height = drawing->aboutPictureHeight < 0 ? -drawing->aboutPictureHeight : drawing->aboutPictureHeight;
    BitBlt(dc, AboutPictureLeft(client.right, drawing->aboutPictureWidth), 0, drawing->aboutPictureWidth, height,
           drawing->aboutMemoryDc, 0, 0, SRCCOPY);
    SelectPalette(dc, previous, FALSE);
}

static INT_PTR OnInitDialog(HWND dialog)
{
    AboutDrawing *drawing = static_cast<AboutDrawing *>(std::calloc(1, sizeof(AboutDrawing)));
    bool pictureLoaded = false;
    if (drawing != nullptr)
    {
        SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(drawing));
        pictureLoaded = LoadPicture(dialog, drawing);
        if (pictureLoaded)
            FitToPicture(dialog, drawing);
    }
    ShowHelpText(dialog, pictureLoaded);
    return 1; // the focus goes to the first tab stop, the OK button
}

// The dialog does not clip its children, so the picture drawn here covers whatever part of the
// controls lies inside it (in the template's layout, the top of the help text): they paint again.
static INT_PTR OnActivate(HWND dialog)
{
    HDC dc = GetDC(dialog);
    DrawPicture(dialog, dc);
    ReleaseDC(dialog, dc);
    static const int controls[] = {IDOK, IDC_HELP_FRAME, IDC_HELP_TEXT};
    for (int id : controls)
        InvalidateRect(GetDlgItem(dialog, id), nullptr, TRUE);
    return 0;
}

static INT_PTR OnPaint(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    DrawPicture(dialog, dc);
    EndPaint(dialog, &paint);
    return 0;
}

// The close box and Alt+F4 end the dialog as OK does; Escape (IDCANCEL) does not.
static INT_PTR OnClose(HWND dialog)
{
    PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    return 0;
}

static INT_PTR OnCommand(HWND dialog, WPARAM wParam)
{
    if (LOWORD(wParam) == IDOK)
    {
        EndDialog(dialog, 0);
        ReleaseDrawing(dialog);
    }
    return 0;
}

static INT_PTR OnControlColour(WPARAM wParam)
{
    SetBkColor(reinterpret_cast<HDC>(wParam), RGB(192, 192, 192));
    return reinterpret_cast<INT_PTR>(GetStockObject(LTGRAY_BRUSH));
}

static INT_PTR CALLBACK AboutDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message)
    {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_ACTIVATE:
        return OnActivate(dialog);
    case WM_PAINT:
        return OnPaint(dialog);
    case WM_CLOSE:
        return OnClose(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, wParam);
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
        return OnControlColour(wParam);
    case WM_DESTROY:
        // A dialog taken down without the OK command (its creation failed) still frees its objects.
        ReleaseDrawing(dialog);
        return 0;
    default:
        return 0;
    }
}

void OpenAboutDialog()
{
    if (DialogBoxParamA(appInstance, "DLG_TOLVANE", nullptr, AboutDialog, 0) != -1)
        return;
    DWORD error = GetLastError();
    char reason[512];
    SystemTextLookup lookup = WinSystemText;
    if (error == 0) // nothing recorded, nothing to look up: the text says the system has no message
        lookup = [](uint32_t, char *, size_t) { return false; };
    FormatSystemText(lookup, error, nullptr, reason, sizeof reason);
    char text[768];
    std::snprintf(text, sizeof text, "TolVane could not open its About dialog (DLG_TOLVANE):\n%s", reason);
    MessageBoxA(nullptr, text, PROGRAM_TITLE, MB_SYSTEMMODAL | MB_ICONINFORMATION);
}
