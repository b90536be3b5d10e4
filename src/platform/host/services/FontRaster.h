// Text rasterizing for the platform's GDI: Windows font requests answered with the
// fonts of this machine (FreeType through fontconfig).
//
// Windows faces map to stand-ins: Tahoma, Arial, MS Sans Serif and the other sans
// faces to a sans (DejaVu Sans); "MS UI Gothic", "ＭＳ Ｐゴシック" and "MS PGothic" to a
// proportional Japanese gothic (IPAPGothic, VL PGothic); "ＭＳ ゴシック" and
// "MS Gothic" to IPAGothic; Courier and the fixed faces to a monospace face; any
// other face to fontconfig's best match. A character the chosen face lacks is taken
// from a Japanese gothic, the way Windows links its fonts.
//
// Heights follow GDI: a negative height is the character (em) height in pixels, a
// positive one the cell height (ascent + descent), 0 a default. Glyphs are rendered
// 1-bit (coverage 0 or 255) as Windows 2000 drew text on 16-bit surfaces, unless the
// request asks for anti-aliasing. No kerning is applied, as TextOut applies none.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace host::services {

struct FontRequest {
  std::string face;  // Windows face name, UTF-8
  int charset = 0;   // Windows character set (0 ANSI, 128 Shift-JIS, ...)
  int height = 0;    // GDI lfHeight
  int weight = 400;  // 400 normal, 700 bold
  bool italic = false;
  bool antialiased = false;
};

struct FontMetrics {
  int height = 0;           // ascent + descent: the cell height
  int ascent = 0;           // cell top to baseline
  int descent = 0;          // baseline to cell bottom
  int internalLeading = 0;  // cell height minus em height
  int averageCharWidth = 0;
  int maxCharWidth = 0;
  int emHeight = 0;
  std::string family;  // the stand-in family actually used
  std::string file;    // its font file
};

// A string rasterized as coverage (0 = none .. 255 = full), placed relative to the
// top-left corner of its cell: pixel (i, j) of the bitmap belongs at
// (originX + left + i, originY + top + j). `left`/`top` may be negative (glyphs that
// overhang the cell). `advance` x `metrics height` is the cell box (the extent).
struct TextBitmap {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int advance = 0;
  std::vector<uint8_t> coverage;  // width * height, row by row
};

// One opened font at one size. Glyphs are cached inside; calls are thread-safe.
class Font {
 public:
  virtual ~Font() = default;
  virtual const FontMetrics& Metrics() const = 0;
  // Width (sum of advances) and cell height of the text, as GetTextExtentPoint32.
  virtual int TextWidth(std::string_view utf8) = 0;
  virtual void Rasterize(std::string_view utf8, TextBitmap& out) = 0;
  // Advance of each character of the text, in order (for ExtTextOut spacing).
  virtual std::vector<int> Advances(std::string_view utf8) = 0;
};

// Opens fonts and keeps them: the same request gives the same cached font.
class FontLibrary {
 public:
  FontLibrary();
  ~FontLibrary();
  FontLibrary(const FontLibrary&) = delete;
  FontLibrary& operator=(const FontLibrary&) = delete;

  // nullptr only when the machine has no usable font at all.
  std::shared_ptr<Font> Open(const FontRequest& request);

  // The fontconfig family asked for a Windows face (empty: let fontconfig choose).
  static std::string StandInFamily(std::string_view windowsFace, int charset);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Decodes UTF-8 into code points; an invalid or cut-off sequence gives U+FFFD and
// never reads past the end.
std::u32string DecodeUtf8(std::string_view utf8);

}  // namespace host::services
