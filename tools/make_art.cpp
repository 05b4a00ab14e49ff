// make_art: draws TolVane's artwork, the About dialog's title picture and the program icon.
//
// Regenerate (from the repository root):
//     g++ -std=c++17 -O2 -o /tmp/make_art tools/make_art.cpp && /tmp/make_art resources
// It writes <folder>/title.bmp (280 x 280, 8 bits per pixel, uncompressed, a 256-entry colour table
// with the twenty static colours of the default palette at entries 0-9 and 246-255) and
// <folder>/tolvane.ico (one 32 x 32 image, 16 colours). The output is the same on every run.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

struct Rgb
{
    double r, g, b;
};

struct PaletteColor
{
    unsigned char r, g, b;
};

static Rgb Mix(Rgb a, Rgb b, double t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

static double Clamp01(double v)
{
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}

static double SmoothStep(double e0, double e1, double x)
{
    double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

// ---------------------------------------------------------------------------------------------
// A tiny 5 x 7 pixel font: only the letters the artwork uses.

struct Glyph
{
    char c;
    const char *rows[7];
};

static const Glyph FONT[] = {
    {'A', {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
    {'C', {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."}},
    {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
    {'G', {".###.", "#...#", "#....", "#.###", "#...#", "#...#", ".####"}},
    {'I', {".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'M', {"#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"}},
    {'N', {"#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"}},
    {'O', {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."}},
    {'P', {"####.", "#...#", "#...#", "####.", "#....", "#....", "#...."}},
    {'R', {"####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"}},
    {'S', {".####", "#....", "#....", ".###.", "....#", "....#", "####."}},
    {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
    {'V', {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."}},
    {'W', {"#...#", "#...#", "#...#", "#.#.#", "#.#.#", "##.##", "#...#"}},
    {'a', {".....", ".....", ".###.", "....#", ".####", "#...#", ".####"}},
    {'e', {".....", ".....", ".###.", "#...#", "#####", "#....", ".###."}},
    {'l', {".##..", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."}},
    {'n', {".....", ".....", "####.", "#...#", "#...#", "#...#", "#...#"}},
    {'o', {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."}},
};

static const Glyph *FindGlyph(char c)
{
    for (const Glyph &g : FONT)
        if (g.c == c)
            return &g;
    return nullptr;
}

// Whether point (x, y) lies on a lit font pixel of text drawn from (left, top), each font pixel
// scale wide, one blank column between letters.
static bool OnText(const char *text, double left, double top, double scale, double x, double y)
{
    double col = (x - left) / scale;
    double row = (y - top) / scale;
    if (col < 0 || row < 0 || row >= 7)
        return false;
    int letter = static_cast<int>(col) / 6;
    int within = static_cast<int>(col) % 6;
    if (letter >= static_cast<int>(std::strlen(text)) || within == 5)
        return false;
    const Glyph *g = FindGlyph(text[letter]);
    return g != nullptr && g->rows[static_cast<int>(row)][within] == '#';
}

static double TextWidth(const char *text, double scale)
{
    return (6.0 * static_cast<double>(std::strlen(text)) - 1) * scale;
}

// ---------------------------------------------------------------------------------------------
// Geometry helpers.

static double DistanceToSegment(double px, double py, double ax, double ay, double bx, double by)
{
    double dx = bx - ax, dy = by - ay;
    double t = Clamp01(((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy));
    double ex = ax + t * dx - px, ey = ay + t * dy - py;
    return std::sqrt(ex * ex + ey * ey);
}

static bool InTriangle(double px, double py, double ax, double ay, double bx, double by, double cx, double cy)
{
    double d1 = (px - bx) * (ay - by) - (ax - bx) * (py - by);
    double d2 = (px - cx) * (by - cy) - (bx - cx) * (py - cy);
    double d3 = (px - ax) * (cy - ay) - (cx - ax) * (py - ay);
    bool negative = d1 < 0 || d2 < 0 || d3 < 0;
    bool positive = d1 > 0 || d2 > 0 || d3 > 0;
    return !(negative && positive);
}

// ---------------------------------------------------------------------------------------------
// The title picture.

constexpr int PICTURE_SIZE = 280;
constexpr double HORIZON = 206; // below it: the grey panel the dialog's controls sit on

static const Rgb PANEL = {192, 192, 192};
static const Rgb SKY_TOP = {16, 36, 104};
static const Rgb SKY_LOW = {150, 196, 236};
static const Rgb GOLD_DARK = {70, 40, 6};
static const Rgb GOLD_LIGHT = {255, 226, 120};
static const Rgb IRON = {34, 30, 36};

static Rgb Gold(double t)
{
    return Mix(GOLD_DARK, GOLD_LIGHT, Clamp01(t));
}

// The vane's arrow, its pole and compass arms, in picture coordinates.
static bool OnVane(double x, double y, double *shade)
{
    const double poleX = 140, arrowY = 112;
    // Arrow head, pointing east.
    if (InTriangle(x, y, 228, arrowY, 202, arrowY - 14, 202, arrowY + 14))
    {
        *shade = 0.55 + 0.45 * (arrowY - y) / 14;
        return true;
    }
    // Shaft.
    if (x >= 60 && x <= 204 && std::fabs(y - arrowY) <= 2.2)
    {
        *shade = y < arrowY ? 0.95 : 0.5;
        return true;
    }
    // Tail: a component block with two interface lollipops.
    if (x >= 52 && x <= 86 && y >= arrowY - 20 && y <= arrowY + 20)
    {
        double edge = std::fmin(std::fmin(x - 52, 86 - x), std::fmin(y - (arrowY - 20), arrowY + 20 - y));
        *shade = edge < 2.5 ? 0.3 : 0.55 + 0.4 * (arrowY + 20 - y) / 40;
        return true;
    }
    for (double stickY : {arrowY - 10, arrowY + 10})
    {
        if (x >= 36 && x <= 52 && std::fabs(y - stickY) <= 1.2)
        {
            *shade = 0.35;
            return true;
        }
        double dx = x - 33, dy = y - stickY;
        double d = std::sqrt(dx * dx + dy * dy);
        if (d <= 5.5 && d >= 3.0)
        {
            *shade = 0.35;
            return true;
        }
    }
    // Hub ball.
    double bx = x - poleX, by = y - arrowY;
    if (bx * bx + by * by <= 36)
    {
        *shade = 0.6 + 0.4 * Clamp01(-(bx + by) / 8);
        return true;
    }
    // Finial on top of the pole.
    bx = x - poleX;
    by = y - (arrowY - 26);
    if (bx * bx + by * by <= 16)
    {
        *shade = 0.6 + 0.4 * Clamp01(-(bx + by) / 6);
        return true;
    }
    return false;
}

static bool OnIron(double x, double y)
{
    const double poleX = 140;
    if (std::fabs(x - poleX) <= 1.6 && y >= 84 && y <= HORIZON - 22)
        return true;
    // Compass arms, seen slightly from below: an ellipse's two diameters.
    if (DistanceToSegment(x, y, 96, 160, 184, 160) <= 1.3)
        return true;
    if (DistanceToSegment(x, y, 122, 152, 158, 168) <= 1.3)
        return true;
    return false;
}

// Roof ridge under the pole: a small dark gable.
static bool OnRoof(double x, double y)
{
    return InTriangle(x, y, 100, HORIZON, 180, HORIZON, 140, HORIZON - 24);
}

static double HillTop(double x)
{
    return HORIZON - 16 - 7 * std::sin(x / 37.0) - 4 * std::sin(x / 13.0 + 1.3);
}

static Rgb PictureSample(double x, double y)
{
    if (y >= HORIZON)
    {
        // A bevelled edge between the scene and the panel.
        if (y < HORIZON + 1)
            return {255, 255, 255};
        if (y < HORIZON + 2)
            return {128, 128, 128};
        return PANEL;
    }

    double t = y / HORIZON;
    Rgb colour = Mix(SKY_TOP, SKY_LOW, t * t * 0.7 + t * 0.3);

    // A low sun glow behind the vane.
    double gx = x - 196, gy = y - 160;
    double glow = std::exp(-(gx * gx + gy * gy) / (2 * 42.0 * 42.0));
    colour = Mix(colour, Rgb{255, 236, 190}, 0.55 * glow);

    // Clouds: soft unions of circles.
    struct Puff
    {
        double x, y, r;
    };
    static const Puff puffs[] = {{38, 150, 13}, {56, 143, 17}, {78, 151, 12}, {22, 156, 9},
                                 {214, 72, 10}, {230, 66, 13}, {248, 72, 9},  {262, 77, 6}};
    double cloud = 0;
    for (const Puff &p : puffs)
    {
        double d = std::sqrt((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y));
        cloud = std::fmax(cloud, 1 - SmoothStep(p.r - 3, p.r + 1, d));
    }
    colour = Mix(colour, Rgb{246, 248, 252}, 0.85 * cloud);

    // Rolling hills.
    if (y >= HillTop(x))
        colour = Mix(Rgb{40, 112, 44}, Rgb{16, 64, 28}, Clamp01((y - HillTop(x)) / 20));
    if (OnRoof(x, y))
        colour = Mix(Rgb{150, 50, 36}, Rgb{96, 28, 24}, Clamp01((y - (HORIZON - 24)) / 24));

    if (OnIron(x, y))
        colour = IRON;
    double shade;
    if (OnVane(x, y, &shade))
        colour = Gold(shade);

    // Compass letters, small, in iron.
    if (OnText("W", 84, 156, 1.2, x, y) || OnText("E", 190, 156, 1.2, x, y) || OnText("N", 160, 168, 1.2, x, y) ||
        OnText("S", 112, 144, 1.2, x, y))
        colour = IRON;

    // The program's name with a drop shadow, and a subtitle.
    const char *name = "TolVane";
    const double scale = 5;
    double left = std::floor((PICTURE_SIZE - TextWidth(name, scale)) / 2);
    const double top = 16;
    if (OnText(name, left + 3, top + 3, scale, x, y))
        colour = Mix(colour, Rgb{0, 0, 24}, 0.7);
    if (OnText(name, left, top, scale, x, y))
    {
        double within = std::fmod(y - top, scale) / scale;
        colour = Gold(1.0 - 0.5 * (y - top) / (7 * scale) - (within > 0.8 ? 0.15 : 0.0));
    }
    const char *subtitle = "COMPONENT REGISTRATION";
    double subLeft = std::floor((PICTURE_SIZE - TextWidth(subtitle, 1)) / 2);
    if (OnText(subtitle, subLeft, 60, 1, x, y))
        colour = Rgb{236, 240, 250};
    return colour;
}

// The twenty static colours of the default palette, in its order: entries 0-9 and 246-255.
static const PaletteColor STATIC_LOW[10] = {{0, 0, 0},       {128, 0, 0},    {0, 128, 0},   {128, 128, 0},
                                            {0, 0, 128},     {128, 0, 128},  {0, 128, 128}, {192, 192, 192},
                                            {192, 220, 192}, {166, 202, 240}};
static const PaletteColor STATIC_HIGH[10] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},
                                             {0, 255, 0},     {255, 255, 0},   {0, 0, 255},     {255, 0, 255},
                                             {0, 255, 255},   {255, 255, 255}};

// The picture's own 236 colours: ramps for the sky, the gold, the greys, the hills and the roof.
static void AddRamp(std::vector<PaletteColor> &palette, Rgb from, Rgb to, int steps)
{
    for (int i = 0; i < steps; i++)
    {
        Rgb c = Mix(from, to, steps == 1 ? 0 : static_cast<double>(i) / (steps - 1));
        palette.push_back({static_cast<unsigned char>(std::lround(c.r)), static_cast<unsigned char>(std::lround(c.g)),
                           static_cast<unsigned char>(std::lround(c.b))});
    }
}

static std::vector<PaletteColor> PicturePalette()
{
    std::vector<PaletteColor> palette(STATIC_LOW, STATIC_LOW + 10);
    AddRamp(palette, SKY_TOP, SKY_LOW, 64);
    AddRamp(palette, SKY_LOW, Rgb{255, 236, 190}, 16);
    AddRamp(palette, Mix(SKY_TOP, SKY_LOW, 0.5), Rgb{255, 236, 190}, 12);
    AddRamp(palette, SKY_LOW, Rgb{246, 248, 252}, 16);
    AddRamp(palette, Mix(SKY_TOP, SKY_LOW, 0.3), Rgb{246, 248, 252}, 12);
    AddRamp(palette, GOLD_DARK, GOLD_LIGHT, 40);
    AddRamp(palette, Rgb{0, 0, 24}, Mix(SKY_TOP, SKY_LOW, 0.3), 12);
    AddRamp(palette, IRON, Rgb{230, 230, 236}, 24);
    AddRamp(palette, Rgb{40, 112, 44}, Rgb{16, 64, 28}, 16);
    AddRamp(palette, Rgb{150, 50, 36}, Rgb{96, 28, 24}, 8);
    AddRamp(palette, Rgb{40, 112, 44}, SKY_LOW, 8);
    AddRamp(palette, GOLD_DARK, SKY_LOW, 8);
    while (palette.size() < 246)
        palette.push_back({192, 192, 192});
    palette.resize(246);
    palette.insert(palette.end(), STATIC_HIGH, STATIC_HIGH + 10);
    return palette;
}

static int Nearest(const std::vector<PaletteColor> &palette, Rgb c)
{
    int best = 0;
    double bestDistance = 1e30;
    for (size_t i = 0; i < palette.size(); i++)
    {
        double dr = palette[i].r - c.r, dg = palette[i].g - c.g, db = palette[i].b - c.b;
        double d = 0.30 * dr * dr + 0.59 * dg * dg + 0.11 * db * db;
        if (d < bestDistance)
        {
            bestDistance = d;
            best = static_cast<int>(i);
        }
    }
    return best;
}

// Averages a 4 x 4 grid of samples over each pixel.
template <typename Sampler> static Rgb Supersample(Sampler sample, int px, int py, double unit)
{
    Rgb sum = {0, 0, 0};
    for (int sy = 0; sy < 4; sy++)
        for (int sx = 0; sx < 4; sx++)
        {
            Rgb c = sample((px + (sx + 0.5) / 4) * unit, (py + (sy + 0.5) / 4) * unit);
            sum.r += c.r;
            sum.g += c.g;
            sum.b += c.b;
        }
    return {sum.r / 16, sum.g / 16, sum.b / 16};
}

static void Put16(std::vector<unsigned char> &out, unsigned value)
{
    out.push_back(static_cast<unsigned char>(value));
    out.push_back(static_cast<unsigned char>(value >> 8));
}

static void Put32(std::vector<unsigned char> &out, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        out.push_back(static_cast<unsigned char>(value >> (8 * i)));
}

static void PutInfoHeader(std::vector<unsigned char> &out, int32_t width, int32_t height, unsigned bits,
                          uint32_t resolution)
{
    Put32(out, 40);
    Put32(out, static_cast<uint32_t>(width));
    Put32(out, static_cast<uint32_t>(height));
    Put16(out, 1);
    Put16(out, bits);
    Put32(out, 0); // BI_RGB
    Put32(out, 0); // image size: may be 0 when uncompressed
    Put32(out, resolution);
    Put32(out, resolution);
    Put32(out, 0); // colours used: 0, the full table
    Put32(out, 0); // colours important: all
}

static bool WriteFile(const std::string &path, const std::vector<unsigned char> &bytes)
{
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

static bool WriteTitlePicture(const std::string &path)
{
    std::vector<PaletteColor> palette = PicturePalette();
    std::vector<unsigned char> pixels(PICTURE_SIZE * PICTURE_SIZE);
    for (int y = 0; y < PICTURE_SIZE; y++)
        for (int x = 0; x < PICTURE_SIZE; x++)
        {
            Rgb c = y >= HORIZON ? PictureSample(x + 0.5, y + 0.5) : Supersample(PictureSample, x, y, 1.0);
            pixels[(PICTURE_SIZE - 1 - y) * PICTURE_SIZE + x] = static_cast<unsigned char>(Nearest(palette, c));
        }

    const uint32_t offset = 14 + 40 + 4 * 256;
    std::vector<unsigned char> out;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + static_cast<uint32_t>(pixels.size()));
    Put32(out, 0);
    Put32(out, offset);
    PutInfoHeader(out, PICTURE_SIZE, PICTURE_SIZE, 8, 2834);
    for (const PaletteColor &c : palette)
    {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    out.insert(out.end(), pixels.begin(), pixels.end()); // rows of 280 bytes need no padding
    return WriteFile(path, out);
}

// ---------------------------------------------------------------------------------------------
// The program icon: the vane's arrow over a blue disc, 32 x 32, the 16 standard colours.

constexpr int ICON_SIZE = 32;

static const PaletteColor ICON_COLOURS[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                              {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {128, 128, 128},
                                              {192, 192, 192}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                                              {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

// Colour and coverage of the icon at (x, y), 0 to 32 each way.
static Rgb IconSample(double x, double y, double *cover)
{
    double dx = x - 16, dy = y - 16;
    double d = std::sqrt(dx * dx + dy * dy);
    *cover = d <= 15.5 ? 1 : 0;
    Rgb c = d >= 14 ? Rgb{0, 0, 128} : Rgb{0, 0, 255};
    if (d < 12.5 && (std::fabs(dx) < 0.8 || std::fabs(dy) < 0.8))
        c = Rgb{0, 128, 128};
    // Arrow from south-west to north-east.
    double ax = 7, ay = 25, bx = 25, by = 7;
    if (DistanceToSegment(x, y, ax, ay, bx - 3, by + 3) <= 1.6)
        c = Rgb{255, 255, 0};
    if (InTriangle(x, y, 27, 5, 17, 9, 23, 15))
        c = Rgb{255, 255, 0};
    if (InTriangle(x, y, 5, 27, 5, 19, 9, 23) || InTriangle(x, y, 5, 27, 13, 27, 9, 23))
        c = Rgb{255, 255, 255};
    return c;
}

static bool WriteIcon(const std::string &path)
{
    unsigned char index[ICON_SIZE][ICON_SIZE];
    bool opaque[ICON_SIZE][ICON_SIZE];
    std::vector<PaletteColor> colours(ICON_COLOURS, ICON_COLOURS + 16);
    for (int y = 0; y < ICON_SIZE; y++)
        for (int x = 0; x < ICON_SIZE; x++)
        {
            double cover;
            Rgb c = IconSample(x + 0.5, y + 0.5, &cover);
            opaque[y][x] = cover > 0.5;
            index[y][x] = static_cast<unsigned char>(opaque[y][x] ? Nearest(colours, c) : 0);
        }

    std::vector<unsigned char> image;
    PutInfoHeader(image, ICON_SIZE, 2 * ICON_SIZE, 4, 0); // height counts the colour and mask rows
    image[32] = 16;                                       // colours used: the 16 of the table
    for (const PaletteColor &c : ICON_COLOURS)
    {
        image.push_back(c.b);
        image.push_back(c.g);
        image.push_back(c.r);
        image.push_back(0);
    }
    for (int y = ICON_SIZE - 1; y >= 0; y--) // colour rows, bottom first, two pixels a byte
        for (int x = 0; x < ICON_SIZE; x += 2)
            image.push_back(static_cast<unsigned char>(index[y][x] << 4 | index[y][x + 1]));
    for (int y = ICON_SIZE - 1; y >= 0; y--) // mask rows: 1 where transparent
        for (int x = 0; x < ICON_SIZE; x += 8)
        {
            unsigned char bits = 0;
            for (int b = 0; b < 8; b++)
                if (!opaque[y][x + b])
                    bits |= static_cast<unsigned char>(0x80 >> b);
            image.push_back(bits);
        }

    std::vector<unsigned char> out;
    Put16(out, 0); // reserved
    Put16(out, 1); // type: icon
    Put16(out, 1); // one image
    out.push_back(ICON_SIZE);
    out.push_back(ICON_SIZE);
    out.push_back(16); // colours
    out.push_back(0);
    Put16(out, 1); // planes
    Put16(out, 4); // bits per pixel
    Put32(out, static_cast<uint32_t>(image.size()));
    Put32(out, 6 + 16); // the image follows the directory
    out.insert(out.end(), image.begin(), image.end());
    return WriteFile(path, out);
}

int main(int argc, char **argv)
{
    if (argc != 2)
    {
        std::fprintf(stderr, "usage: make_art OUTPUT_FOLDER\n");
        return 2;
    }
    std::string folder = argv[1];
    if (!WriteTitlePicture(folder + "/title.bmp") || !WriteIcon(folder + "/tolvane.ico"))
    {
        std::perror("make_art");
        return 1;
    }
    return 0;
}
