// The About dialog as a user meets it: opened by an empty command line, its help text, the ways
// that end it and the ways that do not, the title picture on screen, the widening rule, the
// picture drawn again on activation, and its drawing objects released at every closing.
//
// Expected values come from the platform: the resources are read from tolvane.exe as a data
// file (and from the source tree through Wine's Z: drive), the template's layout is what the
// dialog manager of this prefix makes of the same template in the test's own process.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

#include "e2e_support.h"

#include <winternl.h>

namespace
{

const char ABOUT_TITLE[] = "About TolVane";
const char RESULTS_TITLE[] = "Multidrop Registration Results";
const int PICTURE_ID = 108;
const int HELP_TEXT_ID = 107;
const int HELP_TEXT_BOX = 1001;
const int HELP_FRAME = 1002;
const int PICTURE_WIDTH = 280; // the width of the picture the dialog is widened to
const DWORD END_WAIT_MS = 10000;
const DWORD WATCH_MS = 500; // how long to watch for an ending that must not come
const WORD US_ENGLISH = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

// A resource of tolvane.exe in US English, read with the file mapped as data; empty when absent.
std::string ProgramResource(LPCSTR name, LPCSTR type)
{
    std::string bytes;
    HMODULE module = LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module == nullptr)
        return bytes;
    HRSRC found = FindResourceExA(module, type, name, US_ENGLISH);
    HGLOBAL loaded = found != nullptr ? LoadResource(module, found) : nullptr;
    const char *data = loaded != nullptr ? static_cast<const char *>(LockResource(loaded)) : nullptr;
    if (data != nullptr)
        bytes.assign(data, SizeofResource(module, found));
    FreeLibrary(module);
    return bytes;
}

// Both programs carry one version, in US English, and their own file name.
TEST(ProgramFile, CarriesItsVersionInUsEnglish)
{
    const std::string program = ProgramPath();
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource";
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, info.data()));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(info.data(), "\\", reinterpret_cast<void **>(&fixed), &length));
    WORD *translation = nullptr;
    ASSERT_TRUE(
        VerQueryValueA(info.data(), "\\VarFileInfo\\Translation", reinterpret_cast<void **>(&translation), &length));
    EXPECT_EQ(translation[0], US_ENGLISH);
    auto text = [&](const char *name) {
        char *value = nullptr;
        std::string query = std::string("\\StringFileInfo\\040904E4\\") + name;
        return VerQueryValueA(info.data(), query.c_str(), reinterpret_cast<void **>(&value), &length) && value
                   ? std::string(value)
                   : std::string("(none)");
    };
    char version[32];
    std::snprintf(version, sizeof version, "%d.%d.%d", HIWORD(fixed->dwFileVersionMS), LOWORD(fixed->dwFileVersionMS),
                  HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(text("FileVersion"), version);
    EXPECT_EQ(text("ProductVersion"), version);
    EXPECT_EQ(text("ProductName"), "TolVane");
    EXPECT_EQ(text("OriginalFilename"), TOLVANE_PROGRAM_NAME);
    EXPECT_NE(text("FileDescription").find("COM components"), std::string::npos);
}

// A file of the source tree, given relative to the repository's top folder, through Z:.
bool ReadSourceFile(const char *relative, std::string *bytes)
{
    std::string here = __FILE__;
    size_t cut = here.rfind("tests/e2e/");
    if (cut == std::string::npos || here[0] != '/')
        return false;
    std::string path = "Z:" + here.substr(0, cut) + relative;
    for (char &c : path)
        if (c == '/')
            c = '\\';
    FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return false;
    bytes->clear();
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes->append(chunk, got);
    std::fclose(file);
    return true;
}

template <typename T> T Field(const std::string &bytes, size_t offset)
{
    T value{};
    if (offset + sizeof value <= bytes.size())
        std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

// The title picture decoded from its packed 8-bit DIB: colours row by row, top row first.
struct Picture
{
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    COLORREF At(int x, int y) const
    {
        return pixels[static_cast<size_t>(y) * width + x];
    }
};

bool DecodePicture(const std::string &dib, Picture *picture)
{
    uint32_t headerSize = Field<uint32_t>(dib, 0);
    int32_t width = Field<int32_t>(dib, 4);
    int32_t height = Field<int32_t>(dib, 8);
    uint16_t bits = Field<uint16_t>(dib, 14);
    uint32_t compression = Field<uint32_t>(dib, 16);
    uint32_t colours = Field<uint32_t>(dib, 32);
    if (colours == 0)
        colours = 256;
    if (headerSize < 40 || bits != 8 || compression != BI_RGB || width <= 0 || height == 0 || colours > 256)
        return false;
    int rows = height < 0 ? -height : height;
    size_t stride = (static_cast<size_t>(width) + 3) & ~static_cast<size_t>(3);
    size_t pixelsAt = headerSize + 4 * colours;
    if (pixelsAt + stride * rows > dib.size())
        return false;
    picture->width = width;
    picture->height = rows;
    picture->pixels.resize(static_cast<size_t>(width) * rows);
    for (int y = 0; y < rows; y++)
    {
        size_t row = height > 0 ? static_cast<size_t>(rows - 1 - y) : static_cast<size_t>(y);
        for (int x = 0; x < width; x++)
        {
            uint8_t index = static_cast<uint8_t>(dib[pixelsAt + row * stride + x]);
            size_t entry = headerSize + 4 * static_cast<size_t>(index);
            picture->pixels[static_cast<size_t>(y) * width + x] =
                RGB(static_cast<uint8_t>(dib[entry + 2]), static_cast<uint8_t>(dib[entry + 1]),
                    static_cast<uint8_t>(dib[entry]));
        }
    }
    return true;
}

Picture ProgramPicture()
{
    Picture picture;
    DecodePicture(ProgramResource(MAKEINTRESOURCEA(PICTURE_ID), RT_BITMAP), &picture);
    return picture;
}

// A control's whole text, asked for with WM_GETTEXT: for a window of another process,
// GetWindowTextA gives only the window's caption, which an edit control does not keep.
std::string SentText(HWND window)
{
    LRESULT length = SendMessageA(window, WM_GETTEXTLENGTH, 0, 0);
    std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
    LRESULT copied = SendMessageA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
    return text;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

// A window's rectangle in the client coordinates of dialog.
RECT RectIn(HWND dialog, HWND window)
{
    RECT rect = {};
    GetWindowRect(window, &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT *>(&rect), 2);
    return rect;
}

std::string Describe(const RECT &r)
{
    return "(" + std::to_string(r.left) + ", " + std::to_string(r.top) + ") - (" + std::to_string(r.right) + ", " +
           std::to_string(r.bottom) + ")";
}

bool SameRect(const RECT &a, const RECT &b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// Where the picture lands in a client area: centred on it, at the top; negative when narrower.
int PictureLeft(int clientWidth, int pictureWidth)
{
    return (clientWidth - pictureWidth) / 2; // C++ division truncates toward zero
}

struct PictureMatch
{
    size_t compared; // picture pixels inside the client area that differ from the dialog colour
    size_t matching; // of those, the ones shown exactly in the picture's own colour
    double Share() const
    {
        return compared == 0 ? 0.0 : static_cast<double>(matching) / compared;
    }
};

// Compares the screen with the picture where the picture lands. Pixels of the picture that have
// the dialog's own colour are left out, so that an empty dialog cannot pass for the picture. With
// edgesOnly, only the pixels that differ from their left or upper neighbour count: a picture
// drawn one pixel off matches few of those.
PictureMatch MatchPicture(const Capture &capture, const Picture &picture, bool edgesOnly = false)
{
    PictureMatch match = {0, 0};
    COLORREF background = GetSysColor(COLOR_3DFACE);
    int left = PictureLeft(capture.width, picture.width);
    for (int y = 0; y < picture.height && y < capture.height; y++)
        for (int x = 0; x < picture.width; x++)
        {
            int screenX = left + x;
            COLORREF expected = picture.At(x, y);
            if (screenX < 0 || screenX >= capture.width || expected == background)
                continue;
            if (edgesOnly &&
                (x == 0 || y == 0 || (expected == picture.At(x - 1, y) && expected == picture.At(x, y - 1))))
                continue;
            match.compared++;
            match.matching += capture.pixels[static_cast<size_t>(y) * capture.width + screenX] == expected;
        }
    return match;
}

bool ShowsPicture(const Capture &capture, const Picture &picture)
{
    return MatchPicture(capture, picture).Share() >= 0.95;
}

// The share of the picture's area, inside the client area, that shows colour.
double ShareOfColour(const Capture &capture, int pictureWidth, int pictureHeight, COLORREF colour)
{
    int left = PictureLeft(capture.width, pictureWidth);
    size_t all = 0, same = 0;
    for (int y = 0; y < pictureHeight && y < capture.height; y++)
        for (int x = left < 0 ? 0 : left; x < left + pictureWidth && x < capture.width; x++)
        {
            all++;
            same += capture.pixels[static_cast<size_t>(y) * capture.width + x] == colour;
        }
    return all == 0 ? 0.0 : static_cast<double>(same) / all;
}

// Saves a capture next to the test program for a person to look at; returns its path.
std::string Keep(const Capture &capture, const char *name)
{
    std::string path = BinFolder() + "\\" + name + ".bmp";
    SaveCapture(capture, path.c_str());
    return path;
}

bool DisplayShowsExactColours()
{
    HDC screen = GetDC(nullptr);
    int bits = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return bits >= 24;
}

TEST(About, OpensOnAnEmptyCommandLineWithTheHelpTextAndItsControls)
{
    std::string help = ProgramResource(MAKEINTRESOURCEA(HELP_TEXT_ID), "STRING");
    ASSERT_FALSE(help.empty()) << TOLVANE_PROGRAM_NAME " holds no help text resource 107 of type STRING in US English";
    std::string source;
    ASSERT_TRUE(ReadSourceFile("resources/help.txt", &source)) << "cannot read resources/help.txt through Z:";
    EXPECT_EQ(help, source) << "the program holds the help text of the source tree";
    // Every line ends with CR LF, the last two empty lines included.
    for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && help[at - 1] == '\r') << "a line feed without a carriage return at byte " << at;
    EXPECT_EQ(help.compare(0, 34, "To use TolVane from the Desktop:\r\n"), 0);
    ASSERT_GE(help.size(), 4u);
    EXPECT_EQ(help.substr(help.size() - 4), "\r\n\r\n");
    EXPECT_NE(help.substr(help.size() - 6, 2), "\r\n") << "nothing but one empty line follows the last paragraph";

    ProgramRun run;
    ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
    EXPECT_EQ(WindowText(run.dialog), ABOUT_TITLE);
    EXPECT_EQ(ClassOf(run.dialog), "#32770");
    EXPECT_EQ(run.Dialogs().size(), 1u) << "the About dialog is the only dialog";

    HWND box = GetDlgItem(run.dialog, HELP_TEXT_BOX);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(ClassOf(box), "Edit");
    std::string shown = SentText(box);
    EXPECT_EQ(shown.size(), help.size());
    size_t differs = 0;
    while (differs < shown.size() && differs < help.size() && shown[differs] == help[differs])
        differs++;
    EXPECT_EQ(shown, help) << "control 1001 differs from the resource from byte " << differs;

    HWND frame = GetDlgItem(run.dialog, HELP_FRAME);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(ClassOf(frame), "Button");
    EXPECT_EQ(GetWindowLongPtrA(frame, GWL_STYLE) & BS_TYPEMASK, BS_GROUPBOX);
    RECT frameRect = RectIn(run.dialog, frame), boxRect = RectIn(run.dialog, box);
    EXPECT_TRUE(boxRect.left >= frameRect.left && boxRect.right <= frameRect.right && boxRect.top >= frameRect.top &&
                boxRect.bottom <= frameRect.bottom)
        << "the help text " << Describe(boxRect) << " lies inside its frame " << Describe(frameRect);

    HWND ok = GetDlgItem(run.dialog, IDOK);
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ClassOf(ok), "Button");
    EXPECT_EQ(WindowText(ok), "OK");
    EXPECT_EQ(GetWindowLongPtrA(ok, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
    EXPECT_EQ(FocusOf(run.dialog), ok) << "the focus starts on the OK button";

    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

// Posts a key press to the control that has the focus, as the keyboard would deliver it.
void PostKey(HWND dialog, WORD key)
{
    HWND focus = FocusOf(dialog);
    if (focus == nullptr)
        focus = dialog;
    LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(key, MAPVK_VK_TO_VSC)) << 16;
    PostMessageA(focus, WM_KEYDOWN, key, scan | 1);
    PostMessageA(focus, WM_KEYUP, key, scan | 1 | (static_cast<LPARAM>(3) << 30));
}

// Presses a key on the system's keyboard, with the dialog in the foreground.
void TypeKey(HWND dialog, WORD key)
{
    SetForegroundWindow(dialog);
    // The keys go to the foreground thread's control with the focus: wait until that is the dialog's.
    EXPECT_TRUE(
        WaitUntil([dialog] { return GetForegroundWindow() == dialog && FocusOf(dialog) != nullptr; }, DIALOG_WAIT_MS))
        << "the dialog did not come to the foreground";
    keybd_event(static_cast<BYTE>(key), 0, 0, 0);
    keybd_event(static_cast<BYTE>(key), 0, KEYEVENTF_KEYUP, 0);
}

void PostCommand(HWND dialog, WORD id, WORD code)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

struct EndCase
{
    const char *way;
    void (*act)(HWND dialog);
    bool ends;
};

const EndCase END_CASES[] = {
    {"the cancel command", [](HWND d) { PostCommand(d, IDCANCEL, BN_CLICKED); }, false},
    {"the Escape key at the focused control", [](HWND d) { PostKey(d, VK_ESCAPE); }, false},
    {"the Escape key on the keyboard", [](HWND d) { TypeKey(d, VK_ESCAPE); }, false},
    {"a command of the help text box", [](HWND d) { PostCommand(d, HELP_TEXT_BOX, EN_SETFOCUS); }, false},
    {"a command of the frame", [](HWND d) { PostCommand(d, HELP_FRAME, BN_CLICKED); }, false},
    {"a command of an unknown control", [](HWND d) { PostCommand(d, 3, 0); }, false},
    {"command 0 with notification code 1 (a 1 in the high word only)", [](HWND d) { PostCommand(d, 0, 1); }, false},
    {"the OK button's click", [](HWND d) { PressButton(d, IDOK); }, true},
    {"a click on the OK button", [](HWND d) { PostMessageA(GetDlgItem(d, IDOK), BM_CLICK, 0, 0); }, true},
    {"the Enter key at the focused control", [](HWND d) { PostKey(d, VK_RETURN); }, true},
    {"the Enter key on the keyboard", [](HWND d) { TypeKey(d, VK_RETURN); }, true},
    {"the close box", [](HWND d) { RequestClose(d); }, true},
    {"a close request", [](HWND d) { PostMessageA(d, WM_CLOSE, 0, 0); }, true},
    {"command 1 with notification code 1", [](HWND d) { PostCommand(d, IDOK, 1); }, true},
    {"command 1 with notification code 0xFFFF", [](HWND d) { PostCommand(d, IDOK, 0xFFFF); }, true},
};

TEST(About, EndsOnOkAndTheCloseBoxButNotOnEscape)
{
    for (const EndCase &c : END_CASES)
    {
        SCOPED_TRACE(c.way);
        ProgramRun run;
        ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
        c.act(run.dialog);
        DWORD exitCode = 0xFFFFFFFF;
        if (c.ends)
        {
            ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << c.way << " did not end the program";
            EXPECT_EQ(exitCode, 0u);
            EXPECT_FALSE(IsWindow(run.dialog));
            continue;
        }
        // An ending that must not come has no moment to wait for: watch for it for a while.
        WaitUntil([&] { return !run.Running() || !IsWindowVisible(run.dialog); }, WATCH_MS);
        ASSERT_TRUE(run.Running()) << c.way << " ended the program";
        EXPECT_TRUE(IsWindowVisible(run.dialog)) << c.way << " hid the dialog";
        // Still open and still answering: OK ends it.
        PressButton(run.dialog, IDOK);
        ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK after the case did not end the program";
        EXPECT_EQ(exitCode, 0u);
    }
}

TEST(About, ThePictureIsDrawnAtTheTopOfTheClientArea)
{
    if (!DisplayShowsExactColours())
        GTEST_SKIP() << "the display has fewer than 24 bits per pixel, so colours are not shown exactly";
    Picture picture = ProgramPicture();
    ASSERT_EQ(picture.width, PICTURE_WIDTH) << "bitmap 108 of " TOLVANE_PROGRAM_NAME " is not the 8-bit title picture";
    ASSERT_GT(picture.height, 0);

    ProgramRun run;
    ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
    Capture capture = CaptureWhen(run.dialog, [&](const Capture &shown) { return ShowsPicture(shown, picture); });
    ASSERT_GT(capture.width, 0);
    PictureMatch match = MatchPicture(capture, picture);
    EXPECT_GT(match.compared, static_cast<size_t>(picture.width * picture.height) / 2)
        << "most of the picture lies inside the client area, and has colours other than the dialog's";
    EXPECT_GE(match.Share(), 0.95) << match.matching << " of " << match.compared
                                   << " picture pixels match at x = " << PictureLeft(capture.width, picture.width)
                                   << ", y = 0; screen kept in " << Keep(capture, "about-picture");
    PictureMatch edges = MatchPicture(capture, picture, true);
    EXPECT_GT(edges.compared, 1000u) << "the picture has detail enough to tell its place";
    EXPECT_GE(edges.Share(), 0.95) << edges.matching << " of " << edges.compared << " detail pixels match";

    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

INT_PTR CALLBACK QuietDialog(HWND, UINT, WPARAM, LPARAM)
{
    return 0;
}

TEST(About, KeepsTheTemplateLayoutWhenWideEnoughAndWidensOtherwise)
{
    // The template as this prefix's dialog manager lays it out, in the test's own process.
    std::string dialogTemplate = ProgramResource("DLG_TOLVANE", RT_DIALOG);
    ASSERT_FALSE(dialogTemplate.empty()) << TOLVANE_PROGRAM_NAME " holds no dialog DLG_TOLVANE in US English";
    HWND reference = CreateDialogIndirectParamA(
        GetModuleHandleA(nullptr), reinterpret_cast<LPCDLGTEMPLATEA>(dialogTemplate.data()), nullptr, QuietDialog, 0);
    ASSERT_NE(reference, nullptr);
    RECT referenceClient, referenceWindow;
    GetClientRect(reference, &referenceClient);
    GetWindowRect(reference, &referenceWindow);
    const int ids[] = {IDOK, HELP_FRAME, HELP_TEXT_BOX};
    RECT referenceControls[3];
    for (int i = 0; i < 3; i++)
        referenceControls[i] = RectIn(reference, GetDlgItem(reference, ids[i]));
    DestroyWindow(reference);

    ProgramRun run;
    ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
    RECT client, window;
    GetClientRect(run.dialog, &client);
    GetWindowRect(run.dialog, &window);
    bool topmost = (GetWindowLongPtrA(run.dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
    std::cout << "The template gives a client area of " << referenceClient.right << " x " << referenceClient.bottom
              << " here: " << (referenceClient.right >= PICTURE_WIDTH ? "wide enough" : "narrower than the picture")
              << std::endl;

    if (referenceClient.right >= PICTURE_WIDTH)
    {
        EXPECT_EQ(client.right, referenceClient.right);
        EXPECT_EQ(client.bottom, referenceClient.bottom);
        EXPECT_TRUE(SameRect(window, referenceWindow))
            << "window " << Describe(window) << ", template's " << Describe(referenceWindow);
        EXPECT_FALSE(topmost) << "a dialog wide enough is not made topmost";
        for (int i = 0; i < 3; i++)
        {
            RECT place = RectIn(run.dialog, GetDlgItem(run.dialog, ids[i]));
            EXPECT_TRUE(SameRect(place, referenceControls[i])) << "control " << ids[i] << " at " << Describe(place)
                                                               << ", template's " << Describe(referenceControls[i]);
        }
    }
    else
    {
        EXPECT_EQ(window.right - window.left, PICTURE_WIDTH);
        EXPECT_EQ(window.bottom - window.top, referenceClient.bottom + 70);
        EXPECT_EQ(window.left, referenceWindow.left) << "the top-left corner stays";
        EXPECT_EQ(window.top, referenceWindow.top) << "the top-left corner stays";
        EXPECT_TRUE(topmost) << "a widened dialog is topmost";
        Picture picture = ProgramPicture();
        EXPECT_EQ(RectIn(run.dialog, GetDlgItem(run.dialog, HELP_FRAME)).top, picture.height + 5);
        for (int id : ids)
        {
            RECT place = RectIn(run.dialog, GetDlgItem(run.dialog, id));
            EXPECT_EQ(place.left, (PICTURE_WIDTH - (place.right - place.left)) / 2)
                << "control " << id << " is centred on the picture: " << Describe(place);
        }
    }

    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

// Paints the picture's area of the dialog in one colour, from the test's own process.
void PaintOver(HWND dialog, int pictureWidth, int pictureHeight, COLORREF colour)
{
    RECT client;
    GetClientRect(dialog, &client);
    int left = PictureLeft(client.right, pictureWidth);
    RECT area = {left, 0, left + pictureWidth, pictureHeight};
    HDC dc = GetDC(dialog);
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
    ReleaseDC(dialog, dc);
    GdiFlush();
}

struct ActivationCase
{
    const char *what;
    WORD state;
};

const ActivationCase ACTIVATION_CASES[] = {
    {"activation", WA_ACTIVE},
    {"activation by a click", WA_CLICKACTIVE},
    {"deactivation", WA_INACTIVE},
};

TEST(About, ActivationAndDeactivationDrawThePictureAgain)
{
    if (!DisplayShowsExactColours())
        GTEST_SKIP() << "the display has fewer than 24 bits per pixel, so colours are not shown exactly";
    Picture picture = ProgramPicture();
    ASSERT_EQ(picture.width, PICTURE_WIDTH);
    // A colour the picture does not use.
    COLORREF paint = RGB(1, 2, 3);
    for (COLORREF c : picture.pixels)
        ASSERT_NE(c, paint);

    ProgramRun run;
    ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
    auto showsPicture = [&](const Capture &shown) { return ShowsPicture(shown, picture); };
    auto painted = [&](const Capture &shown) {
        return ShareOfColour(shown, picture.width, picture.height, paint) >= 0.9;
    };
    // Painted over before the program's own first paint, the paint would be undone by it.
    Capture first = CaptureWhen(run.dialog, showsPicture);
    ASSERT_TRUE(ShowsPicture(first, picture)) << "the picture is not shown; " << Keep(first, "about-first");
    for (const ActivationCase &c : ACTIVATION_CASES)
    {
        SCOPED_TRACE(c.what);
        PaintOver(run.dialog, picture.width, picture.height, paint);
        Capture covered = CaptureWhen(run.dialog, painted);
        double share = ShareOfColour(covered, picture.width, picture.height, paint);
        if (share < 0.9 && &c == &ACTIVATION_CASES[0])
            GTEST_SKIP() << "this display does not show what another process paints on the dialog (" << share * 100
                         << "% painted)";
        ASSERT_GE(share, 0.9) << "the painted area did not stay painted; " << Keep(covered, "about-covered");
        EXPECT_LT(MatchPicture(covered, picture).Share(), 0.05);

        PostMessageA(run.dialog, WM_ACTIVATE, MAKEWPARAM(c.state, 0), 0);
        Capture drawn = CaptureWhen(run.dialog, showsPicture);
        PictureMatch match = MatchPicture(drawn, picture);
        EXPECT_GE(match.Share(), 0.95) << match.matching << " of " << match.compared << " picture pixels are back; "
                                       << Keep(drawn, "about-activated");
    }
    ASSERT_TRUE(run.Running());
    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

TEST(About, OpensAndEndsCleanlyRunAfterRun)
{
    for (int round = 1; round <= 3; round++)
    {
        SCOPED_TRACE("run " + std::to_string(round));
        ProgramRun run;
        ASSERT_TRUE(run.Open("", MakeWorkFolder("about"), ABOUT_TITLE)) << "no About dialog";
        EXPECT_EQ(SentText(GetDlgItem(run.dialog, HELP_TEXT_BOX)).size(),
                  ProgramResource(MAKEINTRESOURCEA(HELP_TEXT_ID), "STRING").size());
        PressButton(run.dialog, IDOK);
        DWORD exitCode = 0xFFFFFFFF;
        ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK did not end the program";
        EXPECT_EQ(exitCode, 0u);
    }
}

// Live drawing objects of another process by kind, counted in the GDI handle table that the
// process environment block points to (Wine keeps the table in each process's own memory, an
// entry of type 0 is free).
struct GdiHandleEntry
{
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(GdiHandleEntry) == 24, "the handle table's entry layout");

// Kinds by the entry's extended type, the low 7 bits of its unique field.
const uint8_t GDI_KIND_WINDOW_DC = 0x01;
const uint8_t GDI_KIND_MEMORY_DC = 0x41;
const uint8_t GDI_KIND_PALETTE = 0x08;
const uint8_t GDI_KIND_BITMAP = 0x09;
const size_t GDI_TABLE_ENTRIES = 0x10000;

struct DrawingObjects
{
    bool read;
    int memoryDcs;
    int bitmaps;
    int palettes;
    int windowDcs; // the platform's cache of window contexts, shown for information
};

std::ostream &operator<<(std::ostream &out, const DrawingObjects &o)
{
    return out << o.memoryDcs << " memory contexts, " << o.bitmaps << " bitmaps, " << o.palettes << " palettes ("
               << o.windowDcs << " window contexts)";
}

DrawingObjects CountDrawingObjects(HANDLE process)
{
    DrawingObjects counts = {false, 0, 0, 0, 0};
    typedef LONG(WINAPI * QueryProcess)(HANDLE, PROCESSINFOCLASS, void *, ULONG, ULONG *);
    void *entry = reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess"));
    if (entry == nullptr)
        return counts;
    PROCESS_BASIC_INFORMATION basic = {};
    if (reinterpret_cast<QueryProcess>(entry)(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0)
        return counts;
    // PEB.GdiSharedHandleTable, a pointer of the program's own size.
    const size_t tableField = ProgramBits() == 64 ? 0xF8 : 0x94;
    const size_t pointerSize = static_cast<size_t>(ProgramBits()) / 8;
    uint64_t tableAddress = 0;
    if (pointerSize == 0 || pointerSize > sizeof(void *) ||
        !ReadProcessMemory(process, static_cast<char *>(static_cast<void *>(basic.PebBaseAddress)) + tableField,
                           &tableAddress, pointerSize, nullptr) ||
        tableAddress == 0)
        return counts;
    void *table = reinterpret_cast<void *>(static_cast<uintptr_t>(tableAddress));
    std::vector<GdiHandleEntry> entries(GDI_TABLE_ENTRIES);
    if (!ReadProcessMemory(process, table, entries.data(), entries.size() * sizeof(GdiHandleEntry), nullptr))
        return counts;
    counts.read = true;
    for (const GdiHandleEntry &e : entries)
    {
        if (e.type == 0)
            continue; // a free entry
        uint8_t kind = e.unique & 0x7F;
        counts.memoryDcs += kind == GDI_KIND_MEMORY_DC;
        counts.windowDcs += kind == GDI_KIND_WINDOW_DC;
        counts.bitmaps += kind == GDI_KIND_BITMAP;
        counts.palettes += kind == GDI_KIND_PALETTE;
    }
    return counts;
}

// Opens About from the results dialog ("&About" is its cancel command); the new About dialog.
HWND OpenAboutFrom(const ProgramRun &run, const std::vector<HWND> &open)
{
    PressButton(run.dialog, IDCANCEL);
    return run.WaitForDialog(ABOUT_TITLE, open);
}

bool CloseAbout(HWND about)
{
    PressButton(about, IDOK);
    return WaitForWindowGone(about, END_WAIT_MS);
}

// The program's drawing objects, counted until they are as expected; on time-out, the last count.
DrawingObjects CountWhen(HANDLE process, const std::function<bool(const DrawingObjects &)> &expected)
{
    DrawingObjects counts = CountDrawingObjects(process);
    WaitUntil(
        [&] {
            counts = CountDrawingObjects(process);
            return expected(counts);
        },
        END_WAIT_MS);
    return counts;
}

TEST(About, OpeningAgainAndAgainLeavesNoDrawingObjectBehind)
{
    std::string dir = MakeWorkFolder("about-again");
    PlaceComponent("ok", dir, "first.dll");
    PlaceComponent("ok", dir, "second.dll");
    ProgramRun run;
    ASSERT_TRUE(run.Open("\"" + dir + "\\first.dll\" \"" + dir + "\\second.dll\"", dir, RESULTS_TITLE))
        << "no results dialog";

    // A first opening makes whatever the platform keeps for later ones; counted once the program
    // has taken that About dialog down.
    HWND about = OpenAboutFrom(run, {});
    ASSERT_NE(about, nullptr);
    ASSERT_TRUE(CloseAbout(about));
    ASSERT_TRUE(WaitUntil([about] { return !IsWindow(about); }, END_WAIT_MS)) << "the About dialog stays";
    DrawingObjects before = CountDrawingObjects(run.program.process);
    if (!before.read)
        GTEST_SKIP() << "the program's GDI handle table cannot be read here";
    auto asBefore = [&](const DrawingObjects &o) {
        return o.palettes == before.palettes && o.bitmaps == before.bitmaps && o.memoryDcs == before.memoryDcs;
    };

    // While it is open, its picture, memory context and palette are counted: the count can see them.
    about = OpenAboutFrom(run, {});
    ASSERT_NE(about, nullptr);
    DrawingObjects open = CountWhen(run.program.process, [&](const DrawingObjects &o) {
        return o.palettes > before.palettes && o.bitmaps > before.bitmaps && o.memoryDcs > before.memoryDcs;
    });
    EXPECT_GT(open.palettes, before.palettes) << "before: " << before << "; open: " << open;
    EXPECT_GT(open.bitmaps, before.bitmaps) << "before: " << before << "; open: " << open;
    EXPECT_GT(open.memoryDcs, before.memoryDcs) << "before: " << before << "; open: " << open;
    ASSERT_TRUE(CloseAbout(about));

    const int rounds = 6;
    for (int round = 0; round < rounds; round++)
    {
        about = OpenAboutFrom(run, {});
        ASSERT_NE(about, nullptr) << "round " << round;
        ASSERT_TRUE(CloseAbout(about)) << "round " << round;
    }
    DrawingObjects after = CountWhen(run.program.process, asBefore);
    EXPECT_EQ(after.palettes, before.palettes) << "before: " << before << "; after: " << after;
    EXPECT_EQ(after.bitmaps, before.bitmaps) << "before: " << before << "; after: " << after;
    EXPECT_EQ(after.memoryDcs, before.memoryDcs) << "before: " << before << "; after: " << after;

    // Two at once, the first closed first: the second still draws with objects of its own, and
    // after both every object is gone.
    if (DisplayShowsExactColours())
    {
        Picture picture = ProgramPicture();
        HWND first = OpenAboutFrom(run, {});
        ASSERT_NE(first, nullptr);
        HWND second = OpenAboutFrom(run, {first});
        ASSERT_NE(second, nullptr);
        ASSERT_TRUE(CloseAbout(first));
        ASSERT_TRUE(run.Running());
        PostMessageA(second, WM_ACTIVATE, MAKEWPARAM(WA_ACTIVE, 0), 0);
        RedrawWindow(second, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Capture capture = CaptureWhen(second, [&](const Capture &shown) { return ShowsPicture(shown, picture); });
        PictureMatch match = MatchPicture(capture, picture);
        EXPECT_GE(match.Share(), 0.95) << "the second About dialog after the first closed: " << match.matching << " of "
                                       << match.compared << " pixels; " << Keep(capture, "about-second");
        ASSERT_TRUE(CloseAbout(second));
        DrawingObjects both = CountWhen(run.program.process, asBefore);
        EXPECT_EQ(both.palettes, before.palettes) << "before: " << before << "; after two: " << both;
        EXPECT_EQ(both.bitmaps, before.bitmaps) << "before: " << before << "; after two: " << both;
        EXPECT_EQ(both.memoryDcs, before.memoryDcs) << "before: " << before << "; after two: " << both;
    }

    ASSERT_FALSE(run.Dialogs().empty()) << "the results dialog is still open";
    PressButton(run.dialog, IDOK);
    DWORD exitCode = 0xFFFFFFFF;
    ASSERT_TRUE(run.WaitForExit(END_WAIT_MS, &exitCode)) << "OK on the results dialog did not end the program";
    EXPECT_EQ(exitCode, 0u);
}

} // namespace
