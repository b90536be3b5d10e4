#include <algorithm>
#include <bit>
#include <cstdio>
#include <map>
#include <mutex>
#include <set>
#include <vector>

#if defined(__SSE2__) && !defined(TAVVY_NO_SIMD)
#include <emmintrin.h>
#endif

#include "platform/ddraw/DDrawInternal.h"
#include "platform/gdi/PixelTarget.h"
#include "platform/host/Host.h"
#include "platform/win/Gaps.h"

namespace ddraw {
namespace {

struct MachineState {
  std::mutex mutex;
  MachineConfig config;
  bool modeSet = false;  // a full-screen program changed the display mode
  DisplayMode mode{};
  uint32_t lossEpoch = 0;
  // The host's count of times the screen was taken away, as last seen, and whose it was.
  const host::IHost* lossHost = nullptr;
  uint64_t hostLosses = 0;
  uint64_t videoUsed = 0;
  Direct3DFactory factory = nullptr;
  win::GapReporter gaps{"ddraw"};
};

MachineState& State() {
  static MachineState state;
  return state;
}

// The window table has a lock of its own: presenting runs under it and must not
// wait for the machine's lock.
struct WindowTable {
  std::mutex mutex;
  std::map<HWND, IPresentTarget*> targets;
};

WindowTable& Windows() {
  static WindowTable table;
  return table;
}

int RenderScaleLocked(const MachineConfig& c) {
  int k = c.renderScale;
  if (k <= 0) k = host::HasCurrent() ? host::Current().RenderScale() : 1;
  return std::clamp(k, 1, 4);
}

DisplayMode DesktopModeLocked(const MachineConfig& c) {
  DisplayMode m;
  int w = c.desktopWidth, h = c.desktopHeight, bpp = c.desktopBitDepth;
  if ((w <= 0 || h <= 0 || bpp <= 0) && host::HasCurrent()) {
    int hw = 0, hh = 0;
    host::Current().DesktopSize(hw, hh);
    if (w <= 0) w = hw;
    if (h <= 0) h = hh;
    if (bpp <= 0) bpp = host::Current().DesktopBitDepth();
  }
  m.width = static_cast<DWORD>(w > 0 ? w : 1024);
  m.height = static_cast<DWORD>(h > 0 ? h : 768);
  // At render scale k the program sees a desktop of k times fewer pixels each way, as a program
  // that knows nothing of dense screens does; its window still has to fit on it.
  if (const int k = RenderScaleLocked(c); k > 1) {
    m.width = std::max<DWORD>(640, m.width / k);
    m.height = std::max<DWORD>(480, m.height / k);
  }
  m.bitsPerPixel = static_cast<DWORD>(bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32 ? bpp : 32);
  m.refreshRate = static_cast<DWORD>(c.desktopRefreshRate > 0 ? c.desktopRefreshRate : 60);
  return m;
}

}  // namespace

MachineConfig Machine() {
  std::lock_guard lock(State().mutex);
  return State().config;
}

void SetMachine(const MachineConfig& config) {
  std::lock_guard lock(State().mutex);
  State().config = config;
}

void ResetMachine() {
  std::lock_guard lock(State().mutex);
  State().config = MachineConfig{};
  State().modeSet = false;
  ++State().lossEpoch;
}

void LoseSurfaces() {
  std::lock_guard lock(State().mutex);
  ++State().lossEpoch;
}

DisplayMode CurrentDisplayMode() {
  std::lock_guard lock(State().mutex);
  return State().modeSet ? State().mode : DesktopModeLocked(State().config);
}

uint64_t VideoMemoryUsed() {
  std::lock_guard lock(State().mutex);
  return State().videoUsed;
}

int RenderScale() {
  std::lock_guard lock(State().mutex);
  return RenderScaleLocked(State().config);
}

void HostWindowTarget::ClientRect(RECT& rect) {
  int x = 0, y = 0;
  window_.ClientOrigin(x, y);
  const int w = window_.ClientWidth(), h = window_.ClientHeight();
  if (const int k = RenderScale(); k > 1) {
    // The window's place on the real desktop, in the pixels of the desktop the program sees.
    const DisplayMode desktop = detail::DesktopMode();
    x = std::clamp(x / k, 0, std::max(0, static_cast<int>(desktop.width) - w));
    y = std::clamp(y / k, 0, std::max(0, static_cast<int>(desktop.height) - h));
  }
  rect = {x, y, x + w, y + h};
}

void HostWindowTarget::SetFullscreen(bool fullscreen) {
  if (window_.Fullscreen() != fullscreen) window_.SetFullscreen(fullscreen);
}

void HostWindowTarget::Present(const uint32_t* pixels, int width, int height, int pitch) {
  window_.Present(pixels, width, height, pitch);
}

void HostWindowTarget::PresentOwned(std::vector<uint32_t>& pixels, int width, int height) {
  window_.PresentOwned(pixels, width, height);
}

void BindWindow(HWND window, IPresentTarget* target) {
  std::lock_guard lock(Windows().mutex);
  if (target)
    Windows().targets[window] = target;
  else
    Windows().targets.erase(window);
}

void UnbindWindow(HWND window) {
  std::lock_guard lock(Windows().mutex);
  Windows().targets.erase(window);
}

void SetDirect3DFactory(Direct3DFactory factory) {
  std::lock_guard lock(State().mutex);
  State().factory = factory;
}

namespace detail {

uint32_t LossEpoch() {
  std::lock_guard lock(State().mutex);
  MachineState& s = State();
  // The real machine takes video memory away when another program takes the screen.
  if (host::HasCurrent()) {
    host::IHost& machine = host::Current();
    const uint64_t losses = machine.ScreenLosses();
    if (s.lossHost == &machine && losses != s.hostLosses) ++s.lossEpoch;
    s.lossHost = &machine;
    s.hostLosses = losses;
  }
  return s.lossEpoch;
}

bool RestoreBlocked() {
  std::lock_guard lock(State().mutex);
  return State().config.restoreFails;
}

bool ReserveVideoMemory(uint64_t bytes) {
  std::lock_guard lock(State().mutex);
  MachineState& s = State();
  if (s.videoUsed + bytes > s.config.videoMemoryBytes) return false;
  s.videoUsed += bytes;
  return true;
}

void FreeVideoMemory(uint64_t bytes) {
  std::lock_guard lock(State().mutex);
  State().videoUsed -= std::min(bytes, State().videoUsed);
}

DisplayMode DesktopMode() {
  std::lock_guard lock(State().mutex);
  return DesktopModeLocked(State().config);
}

void SetDisplayMode(const DisplayMode& mode) {
  std::lock_guard lock(State().mutex);
  MachineState& s = State();
  const DisplayMode desktop = DesktopModeLocked(s.config);
  const DisplayMode before = s.modeSet ? s.mode : desktop;
  const bool isDesktop =
      mode.width == desktop.width && mode.height == desktop.height && mode.bitsPerPixel == desktop.bitsPerPixel;
  s.modeSet = !isDesktop;
  s.mode = mode;
  // A mode change takes the video memory away from every surface.
  if (before.width != mode.width || before.height != mode.height || before.bitsPerPixel != mode.bitsPerPixel)
    ++s.lossEpoch;
}

Direct3DFactory CurrentDirect3DFactory() {
  std::lock_guard lock(State().mutex);
  return State().factory;
}

bool WithTargetImpl(HWND window, void (*call)(IPresentTarget&, void*), void* context) {
  std::lock_guard lock(Windows().mutex);
  auto it = Windows().targets.find(window);
  if (it == Windows().targets.end() || !it->second) return false;
  call(*it->second, context);
  return true;
}

void ReportGap(const std::string& what) { State().gaps.Report(what); }

// ---- Pixel formats -------------------------------------------------------------

namespace {

bool DisjointMasks(std::initializer_list<DWORD> masks, DWORD valueMask) {
  DWORD seen = 0;
  for (DWORD m : masks) {
    if (m & seen) return false;
    if (m & ~valueMask) return false;
    seen |= m;
  }
  return true;
}

DWORD ValueMaskOf(int bytes) { return bytes >= 4 ? 0xFFFFFFFFu : ((1u << (8 * bytes)) - 1u); }

}  // namespace

int BytesPerPixel(const DDPIXELFORMAT& f) {
  if (f.dwSize != sizeof(DDPIXELFORMAT)) return 0;
  if (f.dwFlags & (DDPF_FOURCC | DDPF_LUMINANCE | DDPF_BUMPDUDV | DDPF_BUMPLUMINANCE | DDPF_PALETTEINDEXED4)) return 0;
  if (f.dwFlags & DDPF_PALETTEINDEXED8) return f.dwRGBBitCount == 8 ? 1 : 0;
  if (f.dwFlags & DDPF_ZBUFFER) {
    const DWORD depth = f.dwZBufferBitDepth;
    if (depth != 16 && depth != 24 && depth != 32) return 0;
    const int bytes = static_cast<int>(depth / 8);
    const DWORD stencil = (f.dwFlags & DDPF_STENCILBUFFER) ? f.dwStencilBitMask : 0;
    if (!f.dwZBitMask || !DisjointMasks({f.dwZBitMask, stencil}, ValueMaskOf(bytes))) return 0;
    return bytes;
  }
  if (f.dwFlags & DDPF_RGB) {
    const DWORD count = f.dwRGBBitCount;
    if (count != 16 && count != 24 && count != 32) return 0;
    const int bytes = static_cast<int>(count / 8);
    const DWORD alpha = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
    if (!f.dwRBitMask || !f.dwGBitMask || !f.dwBBitMask) return 0;
    if (!DisjointMasks({f.dwRBitMask, f.dwGBitMask, f.dwBBitMask, alpha}, ValueMaskOf(bytes))) return 0;
    return bytes;
  }
  return 0;
}

bool DriverDepthFormat(const DDPIXELFORMAT& f) {
  if (f.dwSize != sizeof(DDPIXELFORMAT) || !(f.dwFlags & DDPF_ZBUFFER)) return false;
  const bool stencil = (f.dwFlags & DDPF_STENCILBUFFER) != 0;
  const DWORD bits = f.dwZBufferBitDepth, z = f.dwZBitMask;
  if (bits == 16) return !stencil && z == 0xFFFF;
  if (bits != 32) return false;
  if (stencil) return z == 0xFFFFFF00 && f.dwStencilBitMask == 0xFF;
  return z == 0xFFFFFF00 || z == 0xFFFFFFFF;
}

DDPIXELFORMAT DisplayFormat(int bitsPerPixel) {
  DDPIXELFORMAT f{};
  f.dwSize = sizeof(DDPIXELFORMAT);
  switch (bitsPerPixel) {
    case 8:
      f.dwFlags = DDPF_RGB | DDPF_PALETTEINDEXED8;
      f.dwRGBBitCount = 8;
      break;
    case 16:
      f.dwFlags = DDPF_RGB;
      f.dwRGBBitCount = 16;
      f.dwRBitMask = 0xF800;
      f.dwGBitMask = 0x07E0;
      f.dwBBitMask = 0x001F;
      break;
    case 24:
      f.dwFlags = DDPF_RGB;
      f.dwRGBBitCount = 24;
      f.dwRBitMask = 0xFF0000;
      f.dwGBitMask = 0x00FF00;
      f.dwBBitMask = 0x0000FF;
      break;
    default:
      f.dwFlags = DDPF_RGB;
      f.dwRGBBitCount = 32;
      f.dwRBitMask = 0xFF0000;
      f.dwGBitMask = 0x00FF00;
      f.dwBBitMask = 0x0000FF;
      break;
  }
  return f;
}

bool SameFormat(const DDPIXELFORMAT& a, const DDPIXELFORMAT& b) {
  constexpr DWORD kKind = DDPF_RGB | DDPF_PALETTEINDEXED8 | DDPF_ZBUFFER | DDPF_STENCILBUFFER;
  if ((a.dwFlags & kKind) != (b.dwFlags & kKind) || a.dwRGBBitCount != b.dwRGBBitCount) return false;
  if (a.dwFlags & DDPF_PALETTEINDEXED8) return true;
  return a.dwRBitMask == b.dwRBitMask && a.dwGBitMask == b.dwGBitMask && a.dwBBitMask == b.dwBBitMask;
}

bool GdiFormat(const DDPIXELFORMAT& f, gdi::PixelFormat& out) {
  if (BytesPerPixel(f) == 0 || (f.dwFlags & DDPF_ZBUFFER)) return false;
  if (f.dwFlags & DDPF_PALETTEINDEXED8) {
    out = gdi::PixelFormat::Indexed8();
    return true;
  }
  out.bitsPerPixel = static_cast<int>(f.dwRGBBitCount);
  out.rMask = f.dwRBitMask;
  out.gMask = f.dwGBitMask;
  out.bMask = f.dwBBitMask;
  out.aMask = (f.dwFlags & DDPF_ALPHAPIXELS) ? f.dwRGBAlphaBitMask : 0;
  return out.Valid();
}

void RowToXrgb(const uint8_t* row, int count, const DDPIXELFORMAT& f, const PALETTEENTRY* palette, uint32_t* out) {
  if (f.dwFlags & DDPF_PALETTEINDEXED8) {
    if (!palette) palette = gdi::DefaultPalette();
    for (int x = 0; x < count; ++x) {
      const PALETTEENTRY& e = palette[row[x]];
      out[x] = (uint32_t(e.peRed) << 16) | (uint32_t(e.peGreen) << 8) | e.peBlue;
    }
    return;
  }
  const int bytes = static_cast<int>(f.dwRGBBitCount / 8);
  if (bytes == 4 && f.dwRBitMask == 0xFF0000 && f.dwGBitMask == 0xFF00 && f.dwBBitMask == 0xFF) {
    for (int x = 0; x < count; ++x) {
      uint32_t v;
      std::memcpy(&v, row + 4 * x, 4);
      out[x] = v & 0xFFFFFF;
    }
    return;
  }
  if (bytes == 2 && f.dwRBitMask == 0xF800 && f.dwGBitMask == 0x07E0 && f.dwBBitMask == 0x001F) {
    // The full-screen format of the game: presented every frame (at a render scale, k x k times
    // the pixels), so eight pixels go at a time where the CPU allows.
    int x = 0;
#if defined(__SSE2__) && !defined(TAVVY_NO_SIMD)
    const __m128i m6 = _mm_set1_epi16(63), m5 = _mm_set1_epi16(31);
    for (; x + 8 <= count; x += 8) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 2 * x));
      const __m128i r = _mm_srli_epi16(v, 11), g = _mm_and_si128(_mm_srli_epi16(v, 5), m6), b = _mm_and_si128(v, m5);
      const __m128i r8 = _mm_or_si128(_mm_slli_epi16(r, 3), _mm_srli_epi16(r, 2));
      const __m128i g8 = _mm_or_si128(_mm_slli_epi16(g, 2), _mm_srli_epi16(g, 4));
      const __m128i b8 = _mm_or_si128(_mm_slli_epi16(b, 3), _mm_srli_epi16(b, 2));
      const __m128i gb = _mm_or_si128(_mm_slli_epi16(g8, 8), b8);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_unpacklo_epi16(gb, r8));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x + 4), _mm_unpackhi_epi16(gb, r8));
    }
#endif
    for (; x < count; ++x) {
      const uint32_t v = uint32_t(row[2 * x]) | (uint32_t(row[2 * x + 1]) << 8);
      const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
      out[x] = (((r << 3) | (r >> 2)) << 16) | (((g << 2) | (g >> 4)) << 8) | ((b << 3) | (b >> 2));
    }
    return;
  }
  const gdi::Channel r = gdi::ChannelOf(f.dwRBitMask), g = gdi::ChannelOf(f.dwGBitMask),
                     b = gdi::ChannelOf(f.dwBBitMask);
  for (int x = 0; x < count; ++x) {
    const uint8_t* p = row + x * bytes;
    uint32_t v = p[0];
    if (bytes > 1) v |= uint32_t(p[1]) << 8;
    if (bytes > 2) v |= uint32_t(p[2]) << 16;
    if (bytes > 3) v |= uint32_t(p[3]) << 24;
    out[x] = (gdi::UnpackChannel(v, r) << 16) | (gdi::UnpackChannel(v, g) << 8) | gdi::UnpackChannel(v, b);
  }
}

}  // namespace detail
}  // namespace ddraw
