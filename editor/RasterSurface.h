// The software raster that every area bitmap outside Win32 is drawn with:
// an RGB image of the area's size, solid fills, the inscribed ellipse,
// masked images, and text in the project's bitmap font. The headless
// back-end keeps these pixels for tests and pictures; the X11 back-end blits
// the very same pixels into its window, so the two cannot differ.
#pragma once

#include "editor/Artwork.h"
#include "editor/Platform.h"

#include <string>
#include <string_view>

namespace ui {

class RasterSurface : public Surface {
public:
    RasterSurface(int width, int height);

    void setBrushColor(Rgb colour) final { brush = colour; }
    void setPenColor(Rgb colour) final { pen = colour; }
    void fillRect(const Rect& r) final;
    void ellipse(const Rect& r) final;
    void drawImage(const Image& image, int x, int y) final;
    void setTextTransparent() final { transparentText = true; }
    void setFont(std::string_view name, int points, Rgb colour) final;
    void textOut(int x, int y, std::string_view text) final;

    const Image& pixels() const { return bitmap; }
    Rgb brushColor() const { return brush; }
    Rgb penColor() const { return pen; }

protected:
    // After every drawing operation; `coversAll` when it replaced every
    // pixel of the bitmap.
    virtual void drawn(bool coversAll) = 0;
    // After textOut has drawn `text`, in the font state below.
    virtual void textDrawn(int x, int y, std::string_view text) {}

    const std::string& fontName() const { return font; }
    int fontPoints() const { return points; }
    Rgb fontColour() const { return textColour; }
    bool textIsTransparent() const { return transparentText; }

private:
    Image bitmap;
    Rgb brush = kWhite;
    Rgb pen = kBlack;
    bool transparentText = false;
    // The window's default font until the read-out sets its own.
    std::string font = "Cooper Black";
    int points = 14;
    Rgb textColour = kBlack;
};

} // namespace ui
