// The launcher's software renderer: blended rectangles and bitmap-font text drawn
// into a 32-bit ARGB frame buffer in memory.
#pragma once

#include "platform/dyn_array.h"
#include "platform/tga.h"

#include <cstdint>

// Glyph rectangle in pixels of the font image: x1 and y1 exclusive; y counts stored
// rows, which run from the bottom of the image up.
struct GlyphRect {
    int x0, y0, x1, y1;
};

struct Font {
    GlyphRect glyphs[256];
    int lineHeight = 8;
    TgaImage image;
};

// What the GUI needs from a renderer.
class IGuiRenderer {
  public:
    virtual int width() = 0;
    virtual int height() = 0;
    virtual int unit() = 0; // line height of the current font, 8 without one
    virtual void fill_rect(float x0, float y0, float x1, float y1, uint32_t color) = 0;
    virtual void frame_rect(float x0, float y0, float x1, float y1, uint32_t color) = 0;
    // Alignments: -1 left/top, 0 centre, 1 right/bottom. length < 0: up to the terminator.
    virtual void print_text(const char* text, int length, float x, float y, int halign, int valign,
                            uint32_t color, int scale) = 0;
    virtual void measure_text(const char* text, int length, int* width, int* height, int scale) = 0;

  protected:
    ~IGuiRenderer() = default;
};

class ISoftwareGuiRenderer : public IGuiRenderer {
  public:
    virtual Font* load_font(const char* filename) = 0; // fatal when unusable
    virtual void set_font(Font* font) = 0;
    virtual void set_target(uint32_t* pixels, int pitch_bytes, int width, int height) = 0;
    virtual void clear_target(uint32_t color) = 0;

  protected:
    ~ISoftwareGuiRenderer() = default;
};

class SoftwareGuiRenderer final : public ISoftwareGuiRenderer {
  public:
    SoftwareGuiRenderer() = default;
    SoftwareGuiRenderer(const SoftwareGuiRenderer&) = delete;
    SoftwareGuiRenderer& operator=(const SoftwareGuiRenderer&) = delete;
    ~SoftwareGuiRenderer();

    int width() override { return targetWidth; }
    int height() override { return targetHeight; }
    int unit() override;
    void fill_rect(float x0, float y0, float x1, float y1, uint32_t color) override;
    void frame_rect(float x0, float y0, float x1, float y1, uint32_t color) override;
    void print_text(const char* text, int length, float x, float y, int halign, int valign,
                    uint32_t color, int scale) override;
    void measure_text(const char* text, int length, int* width, int* height, int scale) override;
    Font* load_font(const char* filename) override;
    void set_font(Font* font) override { curFont = font; }
    void set_target(uint32_t* pixels, int pitch_bytes, int width, int height) override;
    void clear_target(uint32_t color) override;

    Font* font() const { return curFont; }

  private:
    void fillPixels(int x0, int y0, int x1, int y1, uint32_t color);
    void drawGlyph(const GlyphRect& g, int x, int y, uint32_t color, int scale);

    uint32_t* buffer = nullptr;
    int pitch = 0; // in pixels
    int targetWidth = 0;
    int targetHeight = 0;
    Font* curFont = nullptr;
    DynArray<Font*> fonts;
};

// Source over target with the source alpha a (0..255); the target's alpha byte is dropped.
uint32_t blend_pixel(uint32_t dst, uint32_t src, uint32_t a);
// texel x colour per channel, alpha included.
uint32_t modulate_color(uint32_t texel, uint32_t color);
// Cuts the 256 glyphs of a 16 x 16 character grid; false when the sides are not
// multiples of 16.
bool cut_font_glyphs(Font& font);
