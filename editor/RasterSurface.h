// The software raster that every area bitmap outside Win32 is drawn with
// (and, above 1x, the Win32 ones too): an RGB image of the area's size at
// the window's scale, solid fills, the inscribed ellipse, masked images, and
// text in the project's bitmap font. The headless back-end keeps these
// pixels for tests and pictures; the X11 back-end blits the very same pixels
// into its window, so the two cannot differ.
#pragma once

#include "editor/Artwork.h"
#include "editor/Platform.h"
#include "editor/Scale.h"

#include <string>
#include <string_view>

namespace ui {

class RasterSurface : public Surface {
public:
    // An area of width x height layout pixels, drawn at `scale`.
    RasterSurface(int width, int height, Scale scale = {});

    void setBrushColor(Rgb colour) final { brush = colour; }
    void setPenColor(Rgb colour) final { pen = colour; }
    void fillRect(const Rect& r) final;
    void ellipse(const Rect& r) final;
    void drawImage(const Image& image, int x, int y) final;
    void setTextTransparent() override { transparentText = true; }
    void setFont(std::string_view name, int points, Rgb colour) override;
    void textOut(int x, int y, std::string_view text) override;

    // In device pixels.
    const Image& pixels() const { return bitmap; }
    Scale scale() const { return deviceScale; }
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
    // For a back-end that draws text its own way into the same pixels.
    Image& canvas() { return bitmap; }

private:
    Scale deviceScale;
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
