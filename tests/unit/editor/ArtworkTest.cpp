// The generated artwork against the layout table, the bitmap font, the PNG
// writer, and the whole window as the headless back-end pictures it.
#include "EditorFixture.h"
#include "editor/BitmapFont.h"
#include "editor/platform/headless/Png.h"

#include <cstring>
#include <fstream>

namespace edtest {
namespace {

using ui::grey;
using ui::Rgb;

TEST(Artwork, SizesAndMasks) {
    const auto& art = ui::artwork();
    EXPECT_EQ(art.background.width, 391);
    EXPECT_EQ(art.background.height, 161);
    EXPECT_EQ(art.bar.width, 120);
    EXPECT_EQ(art.bar.height, 16);
    EXPECT_EQ(art.knob.width, 41);
    EXPECT_EQ(art.knob.height, 41);
    EXPECT_EQ(art.plate.width, 129);
    EXPECT_EQ(art.plate.height, 25);
    // The bar is opaque except its top-right and bottom-left corner pixels.
    int transparent = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 120; ++x) transparent += !art.bar.opaque(x, y);
    EXPECT_EQ(transparent, 2);
    EXPECT_FALSE(art.bar.opaque(119, 0));
    EXPECT_FALSE(art.bar.opaque(0, 15));
    // Black groove in rows 3 .. 6 across nearly the whole width.
    for (int y = 3; y <= 6; ++y)
        for (int x = 5; x < 115; ++x) EXPECT_EQ(art.bar.at(x, y), ui::kBlack) << x << "," << y;
    // The knob: opaque within about 13.5 pixels of (20, 20), transparent outside.
    for (int y = 0; y < 41; ++y)
        for (int x = 0; x < 41; ++x) {
            const int d2 = (x - 20) * (x - 20) + (y - 20) * (y - 20);
            if (d2 <= 13 * 13) {
                EXPECT_TRUE(art.knob.opaque(x, y)) << x << "," << y;
            }
            if (d2 >= 15 * 15) {
                EXPECT_FALSE(art.knob.opaque(x, y)) << x << "," << y;
            }
        }
    for (auto m : art.plate.mask) EXPECT_EQ(m, 1);
    for (auto m : art.background.mask) EXPECT_EQ(m, 1);
}

bool allOf(const ui::Image& img, const ui::Rect& r, Rgb c, int* firstBadX = nullptr) {
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = r.left; x < r.right; ++x)
            if (img.at(x, y) != c) {
                if (firstBadX) *firstBadX = x;
                return false;
            }
    return true;
}

TEST(Artwork, BackgroundFollowsTheLayoutList) {
    const auto& bg = ui::artwork().background;
    // Panel and plate colours away from their captions.
    EXPECT_TRUE(allOf(bg, ui::spanOf(21, 153, 36, 83), ui::kPanelColour));
    EXPECT_TRUE(allOf(bg, ui::spanOf(21, 153, 96, 140), ui::kPanelColour));
    EXPECT_TRUE(allOf(bg, ui::spanOf(159, 215, 40, 67), ui::kPanelColour));
    EXPECT_TRUE(allOf(bg, ui::spanOf(159, 369, 72, 83), ui::kPanelColour));
    EXPECT_TRUE(allOf(bg, ui::spanOf(159, 275, 96, 140), ui::kPanelColour));
    EXPECT_TRUE(allOf(bg, ui::spanOf(221, 369, 19, 67), grey(153)));
    // The logo plate is dark red apart from its white lettering.
    int white = 0, other = 0;
    for (int y = 98; y <= 140; ++y)
        for (int x = 282; x <= 368; ++x) {
            const Rgb c = bg.at(x, y);
            if (c == ui::kWhite)
                ++white;
            else if (c != Rgb{153, 0, 0} && c.g != 0)
                ++other; // shadow stays red-black
        }
    EXPECT_GT(white, 150);
    EXPECT_EQ(other, 0);
    // Black edging just outside each panel and plate.
    for (const ui::Rect& r : {ui::kLeftPanel, ui::kReadoutPlate, ui::kLogoPlate}) {
        for (int x = r.left; x < r.right; ++x) {
            EXPECT_EQ(bg.at(x, r.top - 1), ui::kBlack) << x;
            EXPECT_EQ(bg.at(x, r.bottom), ui::kBlack) << x;
        }
        for (int y = r.top; y < r.bottom; ++y) {
            EXPECT_EQ(bg.at(r.left - 1, y), ui::kBlack) << y;
            EXPECT_EQ(bg.at(r.right, y), ui::kBlack) << y;
        }
    }
    // The outer frame is lighter at the top-left corner than at the bottom-right.
    EXPECT_GT(bg.at(1, 1).r, bg.at(388, 156).r + 40);
}

TEST(Artwork, CaptionsAreWhiteOverTheirControls) {
    const auto& bg = ui::artwork().background;
    for (const auto& c : ui::kCaptions) {
        const ui::TextStyle style{c.scale, true};
        const int w = ui::textWidth(c.text, style);
        int white = 0;
        for (int y = c.top; y < c.top + ui::kGlyphHeight * c.scale; ++y)
            for (int x = c.centreX - w / 2; x < c.centreX - w / 2 + w; ++x)
                white += bg.at(x, y) == ui::kWhite;
        EXPECT_GE(white, 8 * static_cast<int>(c.text.size())) << c.text;
        // Captions lie on the background only, never under a control area.
        for (const auto& a : ui::kAreas) {
            if (a.id == ui::AreaId::Image1) continue;
            const ui::Rect box{c.centreX - w / 2, c.top, c.centreX - w / 2 + w,
                               c.top + ui::kGlyphHeight * c.scale};
            const bool overlap = box.left < a.bounds.right && a.bounds.left < box.right &&
                                 box.top < a.bounds.bottom && a.bounds.top < box.bottom;
            EXPECT_FALSE(overlap) << c.text << " under " << a.name;
        }
    }
}

TEST(BitmapFont, WidthsAndPixels) {
    EXPECT_EQ(ui::textWidth("", {}), 0);
    EXPECT_EQ(ui::textWidth("A", {}), 5);
    EXPECT_EQ(ui::textWidth("AB", {}), 11);
    EXPECT_EQ(ui::textWidth("AB", {2, true}), 23);
    // 'I' is a vertical bar in column 2 with serifs.
    const auto dots = ui::textPixels("I", {});
    int column2 = 0;
    for (auto [x, y] : dots) column2 += x == 2;
    EXPECT_EQ(column2, 7);
    // A multi-byte character is one box, not one per byte.
    EXPECT_EQ(ui::textWidth("\xC3\xA9", {}), 5);
    for (auto [x, y] : ui::textPixels("yg", {})) EXPECT_LT(y, ui::kGlyphHeight);
}

TEST(Png, ChecksumsMatchKnownValues) {
    const char* text = "123456789";
    const auto* p = reinterpret_cast<const std::uint8_t*>(text);
    EXPECT_EQ(ui::png::crc32(p, 9), 0xCBF43926u);
    const char* wiki = "Wikipedia";
    EXPECT_EQ(ui::png::adler32(reinterpret_cast<const std::uint8_t*>(wiki), 9), 0x11E60398u);
    EXPECT_EQ(ui::png::adler32(nullptr, 0), 1u);
}

std::uint32_t be32(const std::vector<std::uint8_t>& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

// Reads back what encode wrote: chunk CRCs, stored blocks, Adler-32, pixels.
TEST(Png, EncodedFileDecodesToTheSamePixels) {
    // Large enough for two stored blocks.
    ui::Image img(200, 120, ui::kBlack);
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            img.set(x, y, {std::uint8_t(x), std::uint8_t(y * 2), std::uint8_t(x ^ y)});
    const auto file = ui::png::encode(img);
    ASSERT_GT(file.size(), 8u);
    EXPECT_EQ(std::memcmp(file.data(), "\x89PNG\r\n\x1a\n", 8), 0);
    std::size_t pos = 8;
    std::vector<std::uint8_t> zlib;
    std::vector<std::string> types;
    while (pos + 12 <= file.size()) {
        const std::uint32_t len = be32(file, pos);
        const std::string type(file.begin() + pos + 4, file.begin() + pos + 8);
        types.push_back(type);
        EXPECT_EQ(ui::png::crc32(&file[pos + 4], len + 4), be32(file, pos + 8 + len)) << type;
        if (type == "IHDR") {
            EXPECT_EQ(be32(file, pos + 8), 200u);
            EXPECT_EQ(be32(file, pos + 12), 120u);
        }
        if (type == "IDAT") zlib.insert(zlib.end(), &file[pos + 8], &file[pos + 8 + len]);
        pos += 12 + len;
    }
    EXPECT_EQ(pos, file.size());
    EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
    ASSERT_GE(zlib.size(), 2u);
    EXPECT_EQ((zlib[0] * 256 + zlib[1]) % 31, 0) << "zlib header check bits";
    std::vector<std::uint8_t> raw;
    std::size_t z = 2;
    int blocks = 0;
    for (bool last = false; !last;) {
        ASSERT_LT(z + 5, zlib.size());
        last = zlib[z] & 1;
        EXPECT_EQ(zlib[z] & 6, 0) << "stored block";
        const unsigned n = zlib[z + 1] | zlib[z + 2] << 8;
        const unsigned nn = zlib[z + 3] | zlib[z + 4] << 8;
        EXPECT_EQ(n ^ 0xFFFF, nn);
        raw.insert(raw.end(), &zlib[z + 5], &zlib[z + 5 + n]);
        z += 5 + n;
        ++blocks;
    }
    EXPECT_EQ(blocks, 2);
    ASSERT_EQ(z + 4, zlib.size());
    EXPECT_EQ(ui::png::adler32(raw.data(), raw.size()), be32(zlib, z));
    ASSERT_EQ(raw.size(), 120u * (1 + 3 * 200));
    for (int y = 0; y < 120; ++y) {
        const std::uint8_t* row = &raw[y * (1 + 3 * 200)];
        EXPECT_EQ(row[0], 0);
        for (int x = 0; x < 200; ++x) {
            const Rgb c = img.at(x, y);
            ASSERT_EQ(row[1 + 3 * x], c.r);
            ASSERT_EQ(row[2 + 3 * x], c.g);
            ASSERT_EQ(row[3 + 3 * x], c.b);
        }
    }
}

using Picture = EditorTest;

// The whole window at program 0, written as an artifact to look at.
TEST_F(Picture, HeadlessWindowShowsThePanelWithProgram0) {
    openEditor();
    native().advance(250);
    const ui::Image shot = native().composite();
    ASSERT_EQ(shot.width, 390);
    ASSERT_EQ(shot.height, 158);
    // The background shows where no control lies.
    EXPECT_EQ(shot.at(22, 80), ui::kPanelColour);
    EXPECT_EQ(shot.at(225, 25), grey(153));
    // Markers at 0.75 and 1.0: area columns 82 .. 87 and 107 .. 112.
    EXPECT_EQ(shot.at(24 + 82, 40), ui::kMarkerColour);
    EXPECT_EQ(shot.at(24 + 87, 45), ui::kMarkerColour);
    EXPECT_EQ(shot.at(24 + 107, 56), ui::kMarkerColour);
    // Dials drawn over the grey with their knob.
    EXPECT_EQ(shot.at(64 + 20, 96 + 20), ui::artwork().knob.at(20, 20));
    window().fvar[0] = 0.5f;
    window().SetLabel(0);
    const std::string path = std::string(VELMORA_ARTIFACTS_DIR) + "/editor-headless.png";
    ASSERT_TRUE(native().writePng(path)) << path;
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    EXPECT_EQ(static_cast<std::size_t>(f.tellg()), ui::png::encode(native().composite()).size());
}

// The window at 1.5x, 2x and 3x, as a host that sends its scale sees it:
// the 1x layout at the scale, drawn again at the device resolution. Each
// panel, edge, marker and dot lies where the table puts it, times the scale;
// the read-out's text covers every device pixel that its 1x dots cover and
// nothing beyond them, with smooth edges where the dots make slopes.
TEST_F(Picture, AtEachScaleTheWindowIsTheLayoutDrawnAtThatScale) {
    auto show = [&] {
        native().advance(250);
        window().fvar[3] = 0.8f; // DlQ1's dot at about one o'clock
        window().SetControl(3);
        window().SetLabel(3);
    };
    openEditor();
    show();
    const ui::Image one = native().composite();
    const Point dotOne = dotCentre(surfaceOf(ui::AreaId::DlQ1).pixels());
    glue().close();
    for (const float factor : {1.5f, 2.0f, 3.0f}) {
        SCOPED_TRACE("at " + std::to_string(factor));
        const ui::Scale scale = ui::Scale::nearest(factor);
        ASSERT_EQ(effect->dispatcher(effVendorSpecific, fourCharCode('P', 'r', 'e', 'S'),
                                     fourCharCode('A', 'e', 'C', 's'), nullptr, factor),
                  1);
        openEditor();
        show();
        const ui::Image shot = native().composite();
        ASSERT_EQ(shot.width, scale.edge(390));
        ASSERT_EQ(shot.height, scale.edge(158));
        // Panels and plates away from their captions, and their black edges.
        const ui::Image& bg = ui::artwork(scale).background;
        for (const ui::Rect& r : {ui::spanOf(21, 153, 36, 83), ui::spanOf(159, 215, 40, 67),
                                  ui::spanOf(159, 275, 96, 140)})
            EXPECT_TRUE(allOf(bg, scale.rect(r), ui::kPanelColour));
        for (const ui::Rect& layout : {ui::kLeftPanel, ui::kReadoutPlate, ui::kLogoPlate}) {
            const ui::Rect r = scale.rect(layout);
            const int midX = (r.left + r.right) / 2, midY = (r.top + r.bottom) / 2;
            for (const auto& [x, y] : {std::pair{r.left - 1, midY}, std::pair{r.right, midY},
                                       std::pair{midX, r.top - 1}, std::pair{midX, r.bottom}}) {
                EXPECT_EQ(bg.at(x, y), ui::kBlack);
                EXPECT_EQ(shot.at(x, y), ui::kBlack);
            }
        }
        // The markers at program 0's 0.75 and 1.0: area columns 82 .. 87
        // and 107 .. 112, six rows high; nothing of them beside.
        for (const auto& [top, left] : {std::pair{40, 24 + 82}, std::pair{56, 24 + 107}}) {
            const ui::Rect m = scale.rect(ui::rectOf(left, top, 6, 6));
            EXPECT_TRUE(allOf(shot, m, ui::kMarkerColour));
            EXPECT_NE(shot.at(m.left - 1, m.top), ui::kMarkerColour);
            EXPECT_NE(shot.at(m.right, m.top), ui::kMarkerColour);
            EXPECT_NE(shot.at(m.left, m.bottom), ui::kMarkerColour);
        }
        const Point dot = dotCentre(surfaceOf(ui::AreaId::DlQ1).pixels());
        EXPECT_NEAR(dot.x / scale.factor(), dotOne.x, 1.0);
        EXPECT_NEAR(dot.y / scale.factor(), dotOne.y, 1.0);
        // The read-out's text, against the plate at this scale.
        const ui::Image& plate = ui::artwork(scale).plate;
        const ui::Image& readout = surfaceOf(ui::AreaId::PrintOut).pixels();
        const ui::Rect& at = ui::area(ui::AreaId::PrintOut).bounds;
        auto inkAt1x = [&](int x, int y) {
            return x >= 0 && y >= 0 && x < at.width() && y < at.height() &&
                   one.at(at.left + x, at.top + y) == ui::kBlack;
        };
        int ink = 0, partial = 0, stray = 0, missed = 0;
        for (int y = 0; y < readout.height; ++y)
            for (int x = 0; x < readout.width; ++x) {
                const ui::Rgb c = readout.at(x, y);
                if (c == plate.at(x, y)) continue;
                ++ink;
                if (c != ui::kBlack) ++partial;
                bool near = false;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        near = near || inkAt1x(scale.layout(x) + dx, scale.layout(y) + dy);
                stray += !near;
            }
        for (int y = 0; y < at.height(); ++y)
            for (int x = 0; x < at.width(); ++x)
                if (inkAt1x(x, y) && readout.at(scale.edge(x), scale.edge(y)) != ui::kBlack)
                    ++missed;
        EXPECT_GT(ink, 200);
        EXPECT_EQ(missed, 0) << "a dot of the 1x text left out";
        EXPECT_EQ(stray, 0) << "ink away from the 1x text";
        EXPECT_GT(partial, 20) << "no smooth edges: the 1x text enlarged";
        // The knob is drawn at the scale, not enlarged: more shades than at 1x.
        auto shades = [](const ui::Image& img) {
            std::vector<int> seen(256, 0);
            int n = 0;
            for (std::size_t i = 0; i < img.pixels.size(); ++i)
                if (img.mask[i] && !seen[img.pixels[i].r]++) ++n;
            return n;
        };
        EXPECT_GT(shades(ui::artwork(scale).knob), shades(ui::artwork().knob));
        const std::string path = std::string(VELMORA_ARTIFACTS_DIR) + "/editor-headless-" +
                                 std::to_string(scale.halves() * 50) + ".png";
        EXPECT_TRUE(native().writePng(path)) << path;
        glue().close();
    }
}

} // namespace
} // namespace edtest
