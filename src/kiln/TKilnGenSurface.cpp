#include "kiln/TKilnGenSurface.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

#include "KNArc/KNArc.h"
#include "common/DataFiles.h"
#include "common/DataReport.h"
#include "kiln/KilnLog.h"
#include "platform/forms/Graphics.h"
#include "platform/gdi/BmpFile.h"
#include "platform/gdi/Gdi.h"
#include "platform/win/ModulePath.h"

namespace {

constexpr char kReadHeaderError[] = "ビットマップの読みこみ中に、エラーが発生しました";
constexpr char kNotBmp[] = "不正なBMPファイルです";
constexpr char kReadError[] = "LoadBMP中に、読み込みエラーが発生しました";
constexpr char kBadBitCount[] = "色数が8ビット～32ビットの範囲のビットマップを、LoadBMPには指定してください";

std::string Hex8(DWORD v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.8x", static_cast<unsigned>(v));
  return buf;
}

// One channel of a bit-field mask: where it sits and how wide its lowest run is.
struct Field {
  int shift = 32;
  int bits = 0;
};

Field FieldOf(DWORD mask) {
  if (!mask) return {};
  const int shift = std::countr_zero(mask);
  return {shift, std::countr_one(mask >> shift)};
}

// A channel of a bit-field pixel as an 8-bit value: shifted up as the 5-bit fields are.
BYTE Expand(uint32_t pixel, Field f) {
  if (f.bits == 0) return 0;
  const uint32_t v = (pixel >> f.shift) & (f.bits >= 32 ? 0xFFFFFFFFu : ((1u << f.bits) - 1u));
  return static_cast<BYTE>(f.bits >= 8 ? v >> (f.bits - 8) : v << (8 - f.bits));
}

// An alpha field narrower than 8 bits is scaled to the full range (its bits repeated), so
// that an opaque pixel is 255 whatever the width of the field: a 1-bit alpha of 1 is 255,
// a 2-bit alpha of 2 is 170.
BYTE ExpandAlpha(uint32_t pixel, Field f) {
  if (f.bits == 0 || f.bits >= 8) return Expand(pixel, f);
  const uint32_t v = (pixel >> f.shift) & ((1u << f.bits) - 1u);
  uint32_t r = 0;
  int filled = 0;
  while (filled < 8) {
    r = (r << f.bits) | v;
    filled += f.bits;
  }
  return static_cast<BYTE>(r >> (filled - 8));
}

using gdi::ReadLE;

}  // namespace

TKilnGenSurface::TKilnGenSurface(TKiln* device, int width, int height, IDirectDrawSurface7* surface)
    : Device(device), Surface(surface), Width(width), Height(height) {
  Desc.dwSize = sizeof(DDSURFACEDESC2);
  if (Surface) Surface->GetSurfaceDesc(&Desc);
  AnalyzePixelFormat(Desc.ddpfPixelFormat);
}

void TKilnGenSurface::AnalyzePixelFormat(const DDPIXELFORMAT& format) {
  AMask = format.dwRGBAlphaBitMask;
  RMask = format.dwRBitMask;
  GMask = format.dwGBitMask;
  BMask = format.dwBBitMask;
  auto analyse = [](DWORD mask, int& shift, int& loss) {
    shift = mask ? std::countr_zero(mask) : 32;
    const int run = mask ? std::countr_one(mask >> shift) : 0;
    loss = std::max(0, 8 - run);
  };
  analyse(AMask, AShift, ALoss);
  analyse(RMask, RShift, RLoss);
  analyse(GMask, GShift, GLoss);
  analyse(BMask, BShift, BLoss);
  KilnDetailLog("PixelFormat: AMask=" + Hex8(AMask) + " RMask=" + Hex8(RMask) + " GMask=" + Hex8(GMask) +
                " BMask=" + Hex8(BMask));
}

DWORD TKilnGenSurface::PackColor(BYTE a, BYTE r, BYTE g, BYTE b) const {
  // A shift of 32 (an empty mask) wraps to 0, as the shift instruction does; the
  // value is then cut to the surface's bits by whoever stores it.
  return (DWORD(a >> ALoss) << (AShift % 32)) | (DWORD(r >> RLoss) << (RShift % 32)) |
         (DWORD(g >> GLoss) << (GShift % 32)) | (DWORD(b >> BLoss) << (BShift % 32));
}

HRESULT TKilnGenSurface::SetColorKey(DWORD value) {
  ColorKey = value;
  if (!Surface) return DDERR_INVALIDOBJECT;
  DDCOLORKEY key{value, value};
  return Surface->SetColorKey(DDCKEY_SRCBLT, &key);
}

DWORD TKilnGenSurface::ColorMatch(COLORREF color) {
  if (IsLost()) return 0;
  if (color & 0x80000000u) {
    KilnCheck(DDERR_INVALIDPARAMS, "ColorMatchに不正な色が指定されました");
    return 0;
  }
  HDC dc = nullptr;
  if (KilnCheck(Surface->GetDC(&dc),
                "ColorMatchに失敗しました、サーフェスのデバイスコンテキストのハンドルが得られません") != 0)
    return 0;
  const COLORREF saved = GetPixel(dc, 0, 0);
  SetPixel(dc, 0, 0, color);
  Surface->ReleaseDC(dc);

  DWORD value = 0;
  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  if (KilnCheck(Surface->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr),
                "ColorMatchに失敗しました、サーフェスがロックできません") != 0)
    return 0;
  const DWORD bitCount = (desc.ddpfPixelFormat.dwFlags & DDPF_ZBUFFER) ? desc.ddpfPixelFormat.dwZBufferBitDepth
                                                                       : desc.ddpfPixelFormat.dwRGBBitCount;
  const std::size_t readable = std::min<std::size_t>(4, static_cast<std::size_t>(std::max<LONG>(0, desc.lPitch)));
  if (desc.lpSurface) std::memcpy(&value, desc.lpSurface, readable);
  if (bitCount < 32) value &= (1u << bitCount) - 1u;
  Surface->Unlock(nullptr);

  if (KilnCheck(Surface->GetDC(&dc),
                "ColorMatchに失敗しました、サーフェスのデバイスコンテキストのハンドルが得られません") == 0) {
    if (saved != CLR_INVALID) SetPixel(dc, 0, 0, saved);
    Surface->ReleaseDC(dc);
  }
  return value;
}

// Without a surface (a texture between a release and its rebuild) there is nothing to use either.
bool TKilnGenSurface::IsLost() { return !Surface || Surface->IsLost() != DD_OK; }

HRESULT TKilnGenSurface::Restore() {
  if (!Surface) return DDERR_INVALIDOBJECT;
  if (IsLost()) return Surface->Restore();
  return DD_OK;
}

void TKilnGenSurface::UpdateDesc(DDSURFACEDESC2& desc) {
  Desc.dwSize = sizeof(DDSURFACEDESC2);
  KilnCheck(Surface ? Surface->GetSurfaceDesc(&Desc) : DDERR_INVALIDOBJECT, "サーフェス情報の取得に失敗しました");
  desc = Desc;
}

void TKilnGenSurface::BltFromDC(int x, int y, int width, int height, HDC source, int srcX, int srcY) {
  HDC dc = nullptr;
  if (!Surface || Surface->GetDC(&dc) != DD_OK) return;
  BitBlt(dc, x, y, width, height, source, srcX, srcY, SRCCOPY);
  Surface->ReleaseDC(dc);
}

void TKilnGenSurface::LoadThroughGdi(rtl::TStream& stream, int64_t start) {
  forms::TBitmap bitmap;
  try {
    stream.SetPosition(start);
    bitmap.LoadFromStream(stream);
  } catch (const std::exception& e) {
    Fail("不正なビットマップです", std::string("is not a picture that can be read (") + e.what() + ")");
    return;
  }
  HDC dc = nullptr;
  if (KilnCheck(Surface->GetDC(&dc), "サーフェスのデバイスコンテキストの取得に失敗しました") != 0) return;
  // GDI reduces the colours to the surface's palette.
  BitBlt(dc, 0, 0, bitmap.Width(), bitmap.Height(), bitmap.DC(), 0, 0, SRCCOPY);
  Surface->ReleaseDC(dc);
}

void TKilnGenSurface::Fail(const std::string& logLine, std::string what) {
  loadProblem_ = std::move(what);
  KilnLog(logLine);
}

void TKilnGenSurface::LoadBMP(rtl::TStream& stream) {
  loadProblem_.clear();
  if (IsLost()) return;
  const int64_t start = stream.Position();
  const int64_t end = stream.Size();

  const gdi::BmpHead head =
      gdi::ReadBmpHead({[&](int64_t at, void* into, int64_t count) -> int64_t {
                          if (stream.Seek(start + at, rtl::TSeekOrigin::soBeginning) != start + at) return 0;
                          return stream.Read(into, count);
                        },
                        end - start},
                       gdi::BmpTableRule::BeforePixels);
  switch (head.fault) {
    case gdi::BmpFault::None:
      break;
    case gdi::BmpFault::CutInFileHeader:
      Fail(kReadHeaderError, "is cut short inside its file header");
      return;
    case gdi::BmpFault::NotBmp:
      Fail(kNotBmp, "is not a BMP picture (it does not start with \"BM\")");
      return;
    case gdi::BmpFault::CutInInfoHeader:
      Fail(kReadError, "is cut short inside its information header");
      return;
    case gdi::BmpFault::BitCount:
      loadProblem_ = "has " + std::to_string(head.bitCount) + " bits a pixel; pictures of 8, 16, 24 or 32 are read";
      KilnCheck(1, kBadBitCount);
      return;
    case gdi::BmpFault::Unsupported:
      Fail(kNotBmp, "is a kind of BMP picture that is not read (an old or compressed one, or one without a size)");
      return;
    case gdi::BmpFault::TooManyColours:  // not a fault under the rule used here
    case gdi::BmpFault::CutInColourTable:
    case gdi::BmpFault::CutInMasks:
      break;  // told below, once the surface is known to be one the picture is written to
  }
  const DWORD offBits = head.offBits;
  const LONG imageWidth = head.width;
  const WORD bitCount = head.bitCount;
  const bool bitFields = head.bitFields;
  const bool topDown = head.TopDown();
  const int64_t imageHeight = head.height;

  DDPIXELFORMAT& pf = Desc.ddpfPixelFormat;
  const int D = (pf.dwFlags & DDPF_PALETTEINDEXED8) ? 1 : static_cast<int>(pf.dwRGBBitCount / 8);
  const int S = bitCount / 8;
  if (D < 1 || D > 4) return;  // not a colour surface

  if (D == 1 && bitCount > 15) {
    LoadThroughGdi(stream, start);
    return;
  }
  if (head.fault == gdi::BmpFault::CutInColourTable) {
    Fail(kReadError, "is cut short inside its colour table");
    return;
  }
  if (head.fault == gdi::BmpFault::CutInMasks) {
    Fail(kReadError, "is cut short inside its colour masks");
    return;
  }
  // The colour table lies after the information header and before the pixels; entries
  // the file does not hold stay black.
  const std::array<RGBQUAD, 256>& colors = head.colours;
  const Field fr = FieldOf(head.masks[0]), fg = FieldOf(head.masks[1]), fb = FieldOf(head.masks[2]),
              fa = FieldOf(head.masks[3]);

  const int64_t pixels = start + int64_t(offBits);
  const int64_t srcRow = (int64_t(imageWidth) * S + 3) & ~int64_t(3);
  // The file has to hold at least one row before any memory is set aside for it.
  if (pixels > end || srcRow > end - pixels || stream.Seek(pixels, rtl::TSeekOrigin::soBeginning) != pixels) {
    Fail(kReadError, "is cut short: it ends before its first row of pixels");
    return;
  }

  const int64_t dstRow = (int64_t(imageWidth) * D + 3) & ~int64_t(3);
  DDSURFACEDESC2 locked{};
  locked.dwSize = sizeof locked;
  if (KilnCheck(Surface->Lock(nullptr, &locked, DDLOCK_WAIT, nullptr),
                "LoadBMP中にサーフェスがロックできませんでした") != 0)
    return;
  const int64_t pitch = locked.lPitch;
  const int64_t copyBytes = std::max<int64_t>(0, std::min(pitch, dstRow));
  const int64_t rows = std::min<int64_t>(locked.dwHeight, imageHeight);
  // Only the pixels that reach the surface are converted.
  const int64_t converted = std::min<int64_t>(imageWidth, (copyBytes + D - 1) / D);

  std::vector<uint8_t> source(static_cast<std::size_t>(srcRow));
  std::vector<uint8_t> row(static_cast<std::size_t>(converted * D + 4), 0);
  auto* surfaceBytes = static_cast<uint8_t*>(locked.lpSurface);
  for (int64_t i = 0; i < rows && surfaceBytes; ++i) {
    if (stream.Read(source.data(), srcRow) != srcRow) {
      Fail(kReadError, "is cut short: it holds " + std::to_string(i) + " of its " + std::to_string(rows) + " rows");
      break;
    }
    uint8_t* dst = surfaceBytes + (topDown ? i : rows - 1 - i) * pitch;
    if (D == 1) {
      std::memcpy(dst, source.data(), static_cast<std::size_t>(std::min(copyBytes, srcRow)));
      continue;
    }
    const uint8_t* s = source.data();
    for (int64_t x = 0; x < converted; ++x) {
      BYTE a = 255, r, g, b;
      switch (bitCount) {
        case 8: {
          const RGBQUAD& c = colors[s[x]];
          r = c.rgbRed;
          g = c.rgbGreen;
          b = c.rgbBlue;
          break;
        }
        case 16: {
          const uint32_t v = ReadLE<WORD>(s + 2 * x);
          if (bitFields) {
            r = Expand(v, fr);
            g = Expand(v, fg);
            b = Expand(v, fb);
            if (fa.bits) a = ExpandAlpha(v, fa);
          } else {
            r = static_cast<BYTE>(((v >> 10) & 31) << 3);
            g = static_cast<BYTE>(((v >> 5) & 31) << 3);
            b = static_cast<BYTE>((v & 31) << 3);
            a = (v & 0x8000) ? 255 : 0;
          }
          break;
        }
        case 24:
          b = s[3 * x];
          g = s[3 * x + 1];
          r = s[3 * x + 2];
          break;
        default: {
          if (bitFields) {
            const uint32_t v = ReadLE<DWORD>(s + 4 * x);
            r = Expand(v, fr);
            g = Expand(v, fg);
            b = Expand(v, fb);
            if (fa.bits) a = ExpandAlpha(v, fa);
          } else {
            b = s[4 * x];
            g = s[4 * x + 1];
            r = s[4 * x + 2];
            a = s[4 * x + 3];
          }
          break;
        }
      }
      const DWORD value = PackColor(a, r, g, b);
      uint8_t* p = row.data() + x * D;
      for (int k = 0; k < D; ++k) p[k] = static_cast<uint8_t>(value >> (8 * k));
    }
    std::memcpy(dst, row.data(), static_cast<std::size_t>(copyBytes));
  }
  // The surface is given back even when the file ended early.
  KilnCheck(Surface->Unlock(nullptr), "LoadBMP中にサーフェスがアンロックできませんでした");
}

void TKilnGenSurface::LoadFromFile(const std::string& fileName) {
  // A folder, a device or a file far beyond any picture is refused by name, unread.
  std::string refused = data::ProbeProblem(fileName, data::TDataKind::Bitmap);
  std::unique_ptr<rtl::TFileStream> file;
  try {
    if (!refused.empty()) throw rtl::EFOpenError(refused);
    file = std::make_unique<rtl::TFileStream>(win::ResolvePathCaseInsensitive(fileName), rtl::fmOpenRead);
  } catch (const std::exception&) {
    loadProblem_ = refused.empty() ? "cannot be opened" : refused;
    KilnLog(fileName + "が、見つかりません");
  }
  if (file) LoadBMP(*file);
  // A picture is never worth stopping the game for: it goes on, and says so once.
  if (!loadProblem_.empty()) {
    data::Report(fileName, loadProblem_, data::TDataEffect::GoesOn, "the game goes on without this picture");
  }
}

void TKilnGenSurface::LoadFromArchive(const std::string& archiveFileName, const std::string& id) {
  std::unique_ptr<rtl::TMemoryStream> item;
  try {
    // A folder, a device or a file past the archive size limit is refused by name, unread.
    if (const std::string refused = data::ProbeProblem(archiveFileName, data::TDataKind::Archive); !refused.empty()) {
      throw rtl::EFOpenError("Cannot open file " + archiveFileName + ": it " + refused);
    }
    item = ArchiveReadFile(archiveFileName, id);
  } catch (const std::exception&) {
    item.reset();
  }
  if (!item) {
    KilnLog("アーカイブからのビットマップの読み取りに失敗しました");
    return;
  }
  LoadBMP(*item);
}
