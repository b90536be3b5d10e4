#include "platform/host/services/FontRaster.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <tuple>
#include <unordered_map>

namespace host::services {

std::u32string DecodeUtf8(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const std::size_t n = s.size();
  std::size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t cp = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, cp = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, cp = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, cp = b & 0x07, min = 0x10000;
    } else {
      out.push_back(0xFFFD);
      ++i;
      continue;
    }
    std::size_t j = 1;
    for (; j <= static_cast<std::size_t>(extra); ++j) {
      if (i + j >= n || (p[i + j] & 0xC0) != 0x80) break;
      cp = (cp << 6) | (p[i + j] & 0x3F);
    }
    if (j <= static_cast<std::size_t>(extra) || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      out.push_back(0xFFFD);
      i += j;  // skip the lead byte and the continuation bytes already looked at
      continue;
    }
    out.push_back(cp);
    i += j;
  }
  return out;
}

namespace {

// ASCII lower case; other bytes (the full-width Japanese names) stay as they are.
std::string Lower(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  // Trim spaces at both ends: face names in form definitions are sometimes padded.
  const auto b = r.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  const auto e = r.find_last_not_of(' ');
  return r.substr(b, e - b + 1);
}

constexpr const char* kSans = "DejaVu Sans";
constexpr const char* kJapaneseP = "IPAPGothic";
constexpr const char* kJapaneseP2 = "VL PGothic";
constexpr const char* kJapaneseFixed = "IPAGothic";
constexpr const char* kJapaneseFixed2 = "VL Gothic";

bool IsJapaneseFamily(std::string_view family) {
  const std::string f = Lower(family);
  return f.find("gothic") != std::string::npos || f.find("mincho") != std::string::npos ||
         f.find("ipa") != std::string::npos || f.find("vl ") != std::string::npos;
}

// The guts shared by the library and every font it made (fonts may outlive the library).
struct Core {
  std::mutex mutex;
  FT_Library ft = nullptr;
  FcConfig* fc = nullptr;

  Core() {
    if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
    fc = FcInitLoadConfigAndFonts();
  }
  ~Core() {
    if (fc) FcConfigDestroy(fc);
    if (ft) FT_Done_FreeType(ft);
  }
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  struct Match {
    std::string file;
    int index = 0;
    std::string family;
  };

  // fontconfig's choice for a list of families (first available wins); caller holds the mutex.
  bool MatchFamilies(const std::vector<std::string>& families, bool bold, bool italic, bool japanese, Match& m) {
    if (!fc) return false;
    FcPattern* pat = FcPatternCreate();
    if (!pat) return false;
    for (const auto& f : families) FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(f.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    if (japanese) FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    FcConfigSubstitute(fc, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(fc, pat, &result);
    FcPatternDestroy(pat);
    if (!found) return false;
    FcChar8* file = nullptr;
    FcChar8* family = nullptr;
    int index = 0;
    bool ok = FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch && file;
    if (ok) {
      m.file = reinterpret_cast<const char*>(file);
      if (FcPatternGetInteger(found, FC_INDEX, 0, &index) == FcResultMatch) m.index = index;
      if (FcPatternGetString(found, FC_FAMILY, 0, &family) == FcResultMatch && family)
        m.family = reinterpret_cast<const char*>(family);
    }
    FcPatternDestroy(found);
    return ok;
  }
};

struct Glyph {
  int left = 0;  // from the pen position to the bitmap's left column
  int top = 0;   // from the baseline up to the bitmap's top row
  int width = 0;
  int height = 0;
  int advance = 0;  // whole pixels
  std::vector<uint8_t> coverage;
};

class FontImpl final : public Font {
 public:
  FontImpl(std::shared_ptr<Core> core, FT_Face face, const FontRequest& request, std::string family, std::string file)
      : core_(std::move(core)), face_(face), request_(request) {
    metrics_.family = std::move(family);
    metrics_.file = std::move(file);
    Setup();
  }
  ~FontImpl() override {
    std::lock_guard lock(core_->mutex);
    if (fallback_) FT_Done_Face(fallback_);
    FT_Done_Face(face_);
  }
  FontImpl(const FontImpl&) = delete;
  FontImpl& operator=(const FontImpl&) = delete;

  const FontMetrics& Metrics() const override { return metrics_; }

  int TextWidth(std::string_view utf8) override {
    std::lock_guard lock(core_->mutex);
    int w = 0;
    for (char32_t c : DecodeUtf8(utf8)) w += GlyphOf(c).advance;
    return w;
  }

  std::vector<int> Advances(std::string_view utf8) override {
    std::lock_guard lock(core_->mutex);
    std::vector<int> a;
    for (char32_t c : DecodeUtf8(utf8)) a.push_back(GlyphOf(c).advance);
    return a;
  }

  void Rasterize(std::string_view utf8, TextBitmap& out) override {
    std::lock_guard lock(core_->mutex);
    // Outlined captions draw the same string five times in a row.
    if (hasLast_ && utf8 == lastText_) {
      out = last_;
      return;
    }
    RasterizeLocked(utf8, out);
    lastText_.assign(utf8);
    last_ = out;
    hasLast_ = true;
  }

 private:
  void RasterizeLocked(std::string_view utf8, TextBitmap& out) {
    const std::u32string text = DecodeUtf8(utf8);
    std::vector<const Glyph*> glyphs;
    glyphs.reserve(text.size());
    // Bounding box of the inked pixels relative to the cell's top-left corner.
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool any = false;
    int pen = 0;
    for (char32_t c : text) {
      const Glyph& g = GlyphOf(c);
      glyphs.push_back(&g);
      if (g.width > 0 && g.height > 0) {
        const int gx = pen + g.left, gy = metrics_.ascent - g.top;
        if (!any) {
          x0 = gx, y0 = gy, x1 = gx + g.width, y1 = gy + g.height;
          any = true;
        } else {
          x0 = std::min(x0, gx), y0 = std::min(y0, gy);
          x1 = std::max(x1, gx + g.width), y1 = std::max(y1, gy + g.height);
        }
      }
      pen += g.advance;
    }
    out.advance = pen;
    out.left = x0;
    out.top = y0;
    out.width = any ? x1 - x0 : 0;
    out.height = any ? y1 - y0 : 0;
    out.coverage.assign(static_cast<std::size_t>(out.width) * out.height, 0);
    pen = 0;
    for (const Glyph* g : glyphs) {
      const int gx = pen + g->left - x0, gy = metrics_.ascent - g->top - y0;
      for (int j = 0; j < g->height; ++j) {
        uint8_t* dst = &out.coverage[static_cast<std::size_t>(gy + j) * out.width + gx];
        const uint8_t* src = &g->coverage[static_cast<std::size_t>(j) * g->width];
        // Overlapping glyphs take the stronger coverage so no pixel is inked twice.
        for (int i = 0; i < g->width; ++i) dst[i] = std::max(dst[i], src[i]);
      }
      pen += g->advance;
    }
  }

  // Sizes the face the way GDI sizes a font for lfHeight.
  void Setup() {
    const FT_UShort upem = face_->units_per_EM ? face_->units_per_EM : 2048;
    int asc = face_->ascender, desc = -face_->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
      if (os2->usWinAscent + os2->usWinDescent > 0) asc = os2->usWinAscent, desc = os2->usWinDescent;
    }
    if (asc + desc <= 0) asc = upem * 4 / 5, desc = upem / 5;
    int h = request_.height;
    if (h == 0) h = -12;
    // Absurd heights would make FreeType allocate huge bitmaps: keep them to what a screen can show.
    h = std::clamp(h, -2048, 2048);
    int em;
    if (h < 0) {
      em = -h;
    } else {
      em = std::max(1, static_cast<int>(std::lround(double(h) * upem / (asc + desc))));
    }
    em_ = em;
    FT_Set_Pixel_Sizes(face_, 0, static_cast<FT_UInt>(em));
    const double scale = double(em) / upem;
    metrics_.ascent = static_cast<int>(std::lround(asc * scale));
    metrics_.descent = static_cast<int>(std::lround(desc * scale));
    if (h > 0) metrics_.descent = h - metrics_.ascent;  // a cell height is honoured exactly
    metrics_.height = metrics_.ascent + metrics_.descent;
    metrics_.emHeight = em;
    metrics_.internalLeading = std::max(0, metrics_.height - em);
    metrics_.maxCharWidth = static_cast<int>(std::lround(face_->max_advance_width * scale));
    const Glyph& x = GlyphOf(U'x');
    metrics_.averageCharWidth = x.advance;
    syntheticBold_ = request_.weight >= 600 && !(face_->style_flags & FT_STYLE_FLAG_BOLD);
    syntheticItalic_ = request_.italic && !(face_->style_flags & FT_STYLE_FLAG_ITALIC);
    if (syntheticBold_ || syntheticItalic_) cache_.clear();  // the probe above was made without synthesis
  }

  FT_Face Fallback() {
    if (fallbackTried_) return fallback_;
    fallbackTried_ = true;
    Core::Match m;
    const bool japanese = !IsJapaneseFamily(metrics_.family);
    std::vector<std::string> fams =
        japanese ? std::vector<std::string>{kJapaneseP, kJapaneseP2} : std::vector<std::string>{kSans};
    if (!core_->MatchFamilies(fams, false, false, japanese, m)) return nullptr;
    if (m.file == metrics_.file) return nullptr;
    FT_Face f = nullptr;
    if (FT_New_Face(core_->ft, m.file.c_str(), m.index, &f) != 0) return nullptr;
    FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(em_));
    fallback_ = f;
    return fallback_;
  }

  // Caller holds the mutex.
  const Glyph& GlyphOf(char32_t c) {
    auto it = cache_.find(c);
    if (it != cache_.end()) return it->second;
    Glyph g;
    FT_Face face = face_;
    FT_UInt index = FT_Get_Char_Index(face_, c);
    if (index == 0 && c >= 0x20) {
      if (FT_Face fb = Fallback()) {
        if (FT_UInt fi = FT_Get_Char_Index(fb, c); fi != 0) face = fb, index = fi;
      }
    }
    Render(face, index, g);
    return cache_.emplace(c, std::move(g)).first->second;
  }

  void Render(FT_Face face, FT_UInt index, Glyph& g) {
    const bool mono = !request_.antialiased;
    FT_Int32 flags = FT_LOAD_NO_BITMAP | (mono ? FT_LOAD_TARGET_MONO : FT_LOAD_TARGET_NORMAL);
    if (FT_Load_Glyph(face, index, flags) != 0) return;
    FT_GlyphSlot slot = face->glyph;
    if (syntheticItalic_ && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Oblique(slot);
    if (syntheticBold_ && slot->format == FT_GLYPH_FORMAT_OUTLINE) FT_GlyphSlot_Embolden(slot);
    g.advance = static_cast<int>((slot->advance.x + 32) >> 6);
    if (FT_Render_Glyph(slot, mono ? FT_RENDER_MODE_MONO : FT_RENDER_MODE_NORMAL) != 0) return;
    const FT_Bitmap& bm = slot->bitmap;
    g.left = slot->bitmap_left;
    g.top = slot->bitmap_top;
    g.width = static_cast<int>(bm.width);
    g.height = static_cast<int>(bm.rows);
    g.coverage.assign(static_cast<std::size_t>(g.width) * g.height, 0);
    for (int y = 0; y < g.height; ++y) {
      const unsigned char* row = bm.buffer + static_cast<std::ptrdiff_t>(y) * bm.pitch;
      for (int x = 0; x < g.width; ++x) {
        uint8_t v = 0;
        if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
          v = (row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
          v = bm.num_grays == 256 ? row[x] : static_cast<uint8_t>(row[x] * 255 / std::max(1, bm.num_grays - 1));
        g.coverage[static_cast<std::size_t>(y) * g.width + x] = v;
      }
    }
  }

  std::shared_ptr<Core> core_;
  FT_Face face_;
  FT_Face fallback_ = nullptr;
  bool fallbackTried_ = false;
  FontRequest request_;
  FontMetrics metrics_;
  int em_ = 12;
  bool syntheticBold_ = false;
  bool syntheticItalic_ = false;
  std::unordered_map<char32_t, Glyph> cache_;
  bool hasLast_ = false;
  std::string lastText_;
  TextBitmap last_;
};

}  // namespace

std::string FontLibrary::StandInFamily(std::string_view windowsFace, int charset) {
  const std::string f = Lower(windowsFace);
  static constexpr const char* kSansFaces[] = {
      "tahoma", "arial",     "ms sans serif", "microsoft sans serif", "ms shell dlg", "ms shell dlg 2", "verdana",
      "system", "helvetica", "segoe ui",      "small fonts"};
  static constexpr const char* kMonoFaces[] = {"courier new", "courier", "fixedsys", "terminal", "lucida console"};
  static constexpr const char* kSerifFaces[] = {"times new roman", "ms serif", "times"};
  if (f.empty()) return charset == 128 ? kJapaneseP : kSans;
  for (const char* s : kSansFaces)
    if (f == s) return kSans;
  for (const char* s : kMonoFaces)
    if (f == s) return "DejaVu Sans Mono";
  for (const char* s : kSerifFaces)
    if (f == s) return "DejaVu Serif";
  if (f == "ms ui gothic" || f == "ＭＳ Ｐゴシック" || f == "ms pgothic" || f == "ms p gothic") return kJapaneseP;
  if (f == "ＭＳ ゴシック" || f == "ms gothic") return kJapaneseFixed;
  return std::string(windowsFace);
}

struct FontLibrary::Impl {
  std::shared_ptr<Core> core = std::make_shared<Core>();
  using Key = std::tuple<std::string, int, int, bool, bool>;
  std::map<Key, std::shared_ptr<Font>> fonts;
};

FontLibrary::FontLibrary() : impl_(std::make_unique<Impl>()) {}
FontLibrary::~FontLibrary() = default;

std::shared_ptr<Font> FontLibrary::Open(const FontRequest& r) {
  const bool bold = r.weight >= 600;
  const Impl::Key key{Lower(r.face) + "\x1f" + std::to_string(r.charset), r.height, r.weight, r.italic, r.antialiased};
  auto& core = *impl_->core;
  std::unique_lock lock(core.mutex);
  if (auto it = impl_->fonts.find(key); it != impl_->fonts.end()) return it->second;
  if (!core.ft) return nullptr;

  const std::string family = StandInFamily(r.face, r.charset);
  std::vector<std::string> families{family};
  if (family == kJapaneseP) families.push_back(kJapaneseP2);
  if (family == kJapaneseFixed) families.push_back(kJapaneseFixed2);
  if (r.charset == 128 && !IsJapaneseFamily(family)) families.push_back(kJapaneseP);
  families.push_back(kSans);
  const bool japanese = r.charset == 128 || IsJapaneseFamily(family);

  FT_Face face = nullptr;
  Core::Match m;
  if (core.MatchFamilies(families, bold, r.italic, japanese, m))
    if (FT_New_Face(core.ft, m.file.c_str(), m.index, &face) != 0) face = nullptr;
  if (!face && core.MatchFamilies({kSans, "sans-serif"}, false, false, false, m))
    if (FT_New_Face(core.ft, m.file.c_str(), m.index, &face) != 0) face = nullptr;
  if (!face) return nullptr;
  // The font's set-up renders a probe glyph and may open its fallback: both take the core's
  // lock themselves only in the public calls, so it is fine to build it while holding it.
  auto font = std::make_shared<FontImpl>(impl_->core, face, r, m.family, m.file);
  impl_->fonts.emplace(key, font);
  return font;
}

}  // namespace host::services
