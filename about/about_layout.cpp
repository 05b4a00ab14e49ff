#include "about/about_layout.h"

#include <cstdlib>
#include <cstring>

#include "base/bytes.h"

constexpr size_t PICTURE_HEADER_SIZE = 40;
constexpr size_t PICTURE_WIDTH_OFFSET = 4;
constexpr size_t PICTURE_HEIGHT_OFFSET = 8;
constexpr size_t PICTURE_COLOURS_USED_OFFSET = 32;

// Signed division by two, truncated toward zero: half(-7) is -3.
static int32_t Half(int32_t value)
{
    return value / 2;
}

bool BuildAboutPalette(const unsigned char *bytes, size_t size, AboutPicture *picture)
{
    if (bytes == nullptr || size < PICTURE_HEADER_SIZE)
        return false;
    uint32_t count = ReadLittle32(bytes + PICTURE_COLOURS_USED_OFFSET);
    if (count == 0)
        count = ABOUT_PALETTE_MAX_ENTRIES;
    if (count > ABOUT_PALETTE_MAX_ENTRIES || size - PICTURE_HEADER_SIZE < 4 * size_t{count})
        return false;

    picture->width = static_cast<int32_t>(ReadLittle32(bytes + PICTURE_WIDTH_OFFSET));
    picture->height = static_cast<int32_t>(ReadLittle32(bytes + PICTURE_HEIGHT_OFFSET));
    picture->version = ABOUT_PALETTE_VERSION;
    picture->count = static_cast<uint16_t>(count);
    const unsigned char *table = bytes + PICTURE_HEADER_SIZE;
    for (uint32_t i = 0; i < count; i++)
    {
        // RGBQUAD order: blue, green, red, reserved; the reserved byte is not carried over.
        picture->entries[i].red = table[4 * i + 2];
        picture->entries[i].green = table[4 * i + 1];
        picture->entries[i].blue = table[4 * i];
        picture->entries[i].flags = 0;
    }
    return true;
}

AboutResize ComputeAboutResize(int32_t clientWidth, int32_t clientHeight, int32_t pictureWidth)
{
    AboutResize result = {false, 0, 0};
    if (clientWidth >= pictureWidth)
        return result;
    // The new width includes the frame, so the client area stays a frame's width narrower
    // than the picture; 70 pixels of height make room for the controls below the picture.
    result.resize = true;
    result.width = pictureWidth;
    result.height = clientHeight + 70;
    return result;
}

AboutPlacement PlaceAboutControls(const AboutMeasures &m)
{
    AboutPlacement placement;
    placement.frame = {Half(m.pictureWidth - m.frameWidth), m.pictureHeight + 5, m.frameWidth, m.frameHeight};
    placement.text = {Half(m.pictureWidth - m.textWidth),
                      m.textDistance + Half(m.frameHeight - m.textHeight) + m.textHeight - m.captionHeight, m.textWidth,
                      m.textHeight};
    placement.button = {Half(m.pictureWidth - m.buttonWidth), m.clientHeight - m.buttonHeight - 2, m.buttonWidth,
                        m.buttonHeight};
    return placement;
}

int32_t AboutPictureLeft(int32_t clientWidth, int32_t pictureWidth)
{
    return Half(clientWidth - pictureWidth);
}

char *LoadHelpText(const unsigned char *bytes, size_t count)
{
    if ((bytes == nullptr && count > 0) || count == SIZE_MAX)
        return nullptr;
    char *text = static_cast<char *>(std::malloc(count + 1));
    if (text == nullptr)
        return nullptr;
    if (count > 0)
        std::memcpy(text, bytes, count);
    text[count] = '\0';
    return text;
}
