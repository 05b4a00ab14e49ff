#pragma once
// The About dialog's window-free logic: the palette from the title picture's own colour table,
// the widening decision, the control placement after widening and the help text copy.
#include <cstddef>
#include <cstdint>

constexpr uint16_t ABOUT_PALETTE_VERSION = 0x300;
constexpr int ABOUT_PALETTE_MAX_ENTRIES = 256;

// One palette entry, laid out as the platform's PALETTEENTRY.
struct AboutPaletteEntry
{
    uint8_t red;
    uint8_t green;
    uint8_t blue;
    uint8_t flags;
};

// The title picture's measures and its palette description, in LOGPALETTE form.
struct AboutPicture
{
    int32_t width;
    int32_t height; // as the header stores it: positive for rows stored bottom-up
    uint16_t version;
    uint16_t count; // 1 to 256
    AboutPaletteEntry entries[ABOUT_PALETTE_MAX_ENTRIES];
};

struct AboutResize
{
    bool resize;   // false: the template's layout stays
    int32_t width; // new outer size of the dialog window, when resize is true
    int32_t height;
};

struct AboutRect
{
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// What PlaceAboutControls needs, all measured after the dialog has been widened.
struct AboutMeasures
{
    int32_t pictureWidth;
    int32_t pictureHeight;
    int32_t frameWidth; // client size of the frame (1002)
    int32_t frameHeight;
    int32_t textWidth; // client size of the help-text box (1001)
    int32_t textHeight;
    int32_t textDistance; // dialog window's bottom minus the text box window's top, before the move
    int32_t captionHeight;
    int32_t buttonWidth; // client size of the OK button (1)
    int32_t buttonHeight;
    int32_t clientHeight; // the dialog's client height after widening
};

struct AboutPlacement
{
    AboutRect frame;
    AboutRect text;
    AboutRect button;
};

// Reads the picture's width and height and makes the palette description from a packed DIB
// (40-byte header, colour table, pixels) of size bytes. False, with picture untouched, when the
// bytes are too few for the header and the colour table or the colour count is above 256.
bool BuildAboutPalette(const unsigned char *bytes, size_t size, AboutPicture *picture);

// Widens the dialog when its client area, as laid out from the template, is narrower than the picture.
AboutResize ComputeAboutResize(int32_t clientWidth, int32_t clientHeight, int32_t pictureWidth);

// The controls' rectangles after widening, each centred on the picture's width.
AboutPlacement PlaceAboutControls(const AboutMeasures &measures);

// Left edge of the picture in a client area clientWidth pixels wide: centred, negative when narrower.
int32_t AboutPictureLeft(int32_t clientWidth, int32_t pictureWidth);

// A zero-terminated heap copy of the help text's count bytes (release with std::free); null when
// memory runs out or bytes is null with a non-zero count.
char *LoadHelpText(const unsigned char *bytes, size_t count);
