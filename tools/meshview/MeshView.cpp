#include "MeshView.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>

#include "SXlib/TSXFrame.h"
#include "SXlib/TSXLight.h"
#include "SXlib/TSXMaterial.h"
#include "SXlib/TSXMesh.h"
#include "SXlib/TSXScene.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/d3d/D3D7.h"
#include "platform/d3d/Direct3D.h"
#include "platform/ddraw/DDraw.h"
#include "platform/rtl/Classes.h"
#include "platform/win/CodePage.h"
#include "platform/win/ComRef.h"

namespace meshview {

namespace {

constexpr float kPi = 3.14159265f;
constexpr float kFov = 0.7853982f;  // the game's quarter of pi

template <class T>
using Ref = win::ComRef<T>;

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(hr));
  return text;
}

// The last line the display unit wrote, without its "debug#nnnnn ... " head, in UTF-8.
std::string LastKilnLogLine() {
  std::ifstream in(KilnDebugUnit().Path(), std::ios::binary);
  std::string line, last;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) last = line;
  }
  if (const size_t p = last.find(" ... "); p != std::string::npos) last = last.substr(p + 5);
  return win::AnsiToUtf8(last);
}

template <class F>
bool ParseNumber(std::string_view text, F& value) {
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

// "W" "x" "H", each 1..kMaxPictureSide.
bool ParseSize(std::string_view text, int& width, int& height) {
  const size_t x = text.find('x');
  if (x == std::string_view::npos) return false;
  int w = 0, h = 0;
  if (!ParseNumber(text.substr(0, x), w) || !ParseNumber(text.substr(x + 1), h)) return false;
  if (w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide) return false;
  width = w;
  height = h;
  return true;
}

// The size a BMP file declares, so that the texture gets one of the same size.
bool BmpSize(const std::string& path, int& width, int& height) {
  std::ifstream in(path, std::ios::binary);
  unsigned char head[26] = {};
  if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return false;
  if (head[0] != 'B' || head[1] != 'M') return false;
  int32_t w = 0, h = 0;
  std::memcpy(&w, head + 18, 4);
  std::memcpy(&h, head + 22, 4);
  if (h == INT32_MIN) return false;
  h = h < 0 ? -h : h;
  if (w < 1 || h < 1 || w > kMaxPictureSide || h > kMaxPictureSide) return false;
  width = w;
  height = h;
  return true;
}

TVector3 Normalized(TVector3 v) {
  TVector3 out;
  VecNormalize(v, out);
  return out;
}

}  // namespace

std::optional<ViewAngle> ParseAngle(std::string_view text) {
  static const ViewAngle kNamed[] = {
      {"front", 0, 0}, {"back", 180, 0},   {"side", 90, 0},          {"left", -90, 0},
      {"top", 0, 90},  {"bottom", 0, -90}, {"threequarter", 40, 30},
  };
  for (const ViewAngle& a : kNamed)
    if (text == a.name) return a;
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  ViewAngle a;
  if (!ParseNumber(text.substr(0, colon), a.yaw) || !ParseNumber(text.substr(colon + 1), a.pitch)) return std::nullopt;
  if (!std::isfinite(a.yaw) || !std::isfinite(a.pitch) || a.pitch < -90 || a.pitch > 90) return std::nullopt;
  a.name = "y" + std::to_string(std::lround(a.yaw)) + "p" + std::to_string(std::lround(a.pitch));
  return a;
}

std::string Usage() {
  return "usage: meshview MESH.sx [options]\n"
         "  -o, --out PREFIX      write PREFIX_ANGLE.png (default: the mesh file's name)\n"
         "  --size WxH            picture size (default 320x240, at most 4096 a side)\n"
         "  --angles A,B,...      front (seen from +z), back (-z), side (+x), left (-x), top (+y),\n"
         "                        bottom (-y), threequarter (yaw 40, pitch 30) or YAW:PITCH in\n"
         "                        degrees (default front,side,top,threequarter)\n"
         "  --texture FILE.bmp    texture for the mesh\n"
         "  --sheet FILE.png      also write every view side by side in one picture\n"
         "  --background RRGGBB   clear colour (default 202830)\n"
         "  --blend 0..3          the frame's blend mode: opaque, additive, alpha, subtractive\n"
         "  --unlit               draw with lighting off\n";
}

bool ParseCommandLine(int argc, const char* const* argv, Options& o, std::string& error) {
  error.clear();
  o = Options{};
  bool anglesGiven = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string_view& v) {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      v = argv[++i];
      return true;
    };
    std::string_view v;
    if (arg == "--help" || arg == "-h") {
      return false;
    } else if (arg == "-o" || arg == "--out") {
      if (!value(v)) return false;
      o.outPrefix = v;
    } else if (arg == "--size") {
      if (!value(v)) return false;
      if (!ParseSize(v, o.width, o.height)) {
        error = "bad size '" + std::string(v) + "' (WxH, 1.." + std::to_string(kMaxPictureSide) + ")";
        return false;
      }
    } else if (arg == "--angles") {
      if (!value(v)) return false;
      anglesGiven = true;
      o.angles.clear();
      size_t start = 0;
      while (start <= v.size()) {
        size_t end = v.find(',', start);
        if (end == std::string_view::npos) end = v.size();
        const std::string_view piece = v.substr(start, end - start);
        auto a = ParseAngle(piece);
        if (!a) {
          error = "unknown angle '" + std::string(piece) + "'";
          return false;
        }
        o.angles.push_back(*a);
        start = end + 1;
      }
    } else if (arg == "--texture") {
      if (!value(v)) return false;
      o.texturePath = v;
    } else if (arg == "--sheet") {
      if (!value(v)) return false;
      o.sheetPath = v;
    } else if (arg == "--background") {
      if (!value(v)) return false;
      uint32_t rgb = 0;
      const char* end = v.data() + v.size();
      auto [p, ec] = std::from_chars(v.data(), end, rgb, 16);
      if (v.size() != 6 || ec != std::errc() || p != end) {
        error = "bad background '" + std::string(v) + "' (RRGGBB)";
        return false;
      }
      o.background = rgb;
    } else if (arg == "--blend") {
      if (!value(v)) return false;
      int mode = -1;
      if (!ParseNumber(v, mode) || mode < 0 || mode > 3) {
        error = "bad blend mode '" + std::string(v) + "' (0..3)";
        return false;
      }
      o.blendMode = static_cast<uint8_t>(mode);
    } else if (arg == "--unlit") {
      o.lighting = false;
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + std::string(arg);
      return false;
    } else if (o.meshPath.empty()) {
      o.meshPath = arg;
    } else {
      error = "more than one mesh file given";
      return false;
    }
  }
  if (o.meshPath.empty()) {
    error = "no mesh file given";
    return false;
  }
  if (!anglesGiven)
    for (const char* name : {"front", "side", "top", "threequarter"}) o.angles.push_back(*ParseAngle(name));
  if (o.outPrefix.empty()) o.outPrefix = std::filesystem::path(o.meshPath).stem().string();
  return true;
}

struct Viewer::State {
  int width, height;
  std::string error;
  // Platform objects first, so that they are released after everything that uses them.
  Ref<IDirectDraw7> directDraw;
  Ref<IDirect3D7> direct3D;
  Ref<IDirectDrawSurface7> target;
  Ref<IDirectDrawSurface7> zBuffer;
  Ref<IDirect3DDevice7> device;
  TKiln kiln;
  std::unique_ptr<TSXScene> scene;
  std::unique_ptr<TSXLightGroup> lights;
  std::unique_ptr<TSXMaterial> material;
  std::unique_ptr<TSXFrame> root;
  std::unique_ptr<TSXFrame> camera;
  TSXFrame* model = nullptr;
  std::unique_ptr<TSXMesh> mesh;
  std::unique_ptr<TKilnTexture> texture;
  uint32_t background = 0x202830;
  TVector3 center{0, 0, 0};
  float radius = 1;

  State(int w, int h) : width(w), height(h) {}
  ~State() {
    // The frames hold the mesh and texture by reference only: drop them before the objects.
    if (model) {
      model->Mesh = nullptr;
      model->Texture = nullptr;
    }
  }

  bool Fail(const std::string& step, HRESULT hr) {
    error = step + " failed (" + Hex(hr) + ")";
    return false;
  }

  IDirectDrawSurface7* Surface(DWORD caps, const DDPIXELFORMAT& format, HRESULT& hr) {
    DDSURFACEDESC2 d{};
    d.dwSize = sizeof d;
    d.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT;
    d.dwWidth = static_cast<DWORD>(width);
    d.dwHeight = static_cast<DWORD>(height);
    d.ddsCaps.dwCaps = caps;
    d.ddpfPixelFormat = format;
    IDirectDrawSurface7* s = nullptr;
    hr = directDraw->CreateSurface(&d, &s, nullptr);
    return SUCCEEDED(hr) ? s : nullptr;
  }

  bool Build() {
    d3d::InstallDirect3D();
    HRESULT hr = DirectDrawCreateEx(nullptr, reinterpret_cast<void**>(directDraw.Put()), IID_IDirectDraw7, nullptr);
    if (FAILED(hr) || !directDraw.Get()) return Fail("DirectDrawCreateEx", hr);
    if (FAILED(hr = directDraw->SetCooperativeLevel(nullptr, DDSCL_NORMAL))) return Fail("SetCooperativeLevel", hr);

    DDPIXELFORMAT xrgb{};
    xrgb.dwSize = sizeof xrgb;
    xrgb.dwFlags = DDPF_RGB;
    xrgb.dwRGBBitCount = 32;
    xrgb.dwRBitMask = 0xFF0000;
    xrgb.dwGBitMask = 0x00FF00;
    xrgb.dwBBitMask = 0x0000FF;
    *target.Put() = Surface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_3DDEVICE | DDSCAPS_SYSTEMMEMORY, xrgb, hr);
    if (!target.Get()) return Fail("CreateSurface (render target)", hr);
    *zBuffer.Put() = Surface(DDSCAPS_ZBUFFER | DDSCAPS_SYSTEMMEMORY, d3d::ZBufferFormat(0), hr);
    if (!zBuffer.Get()) return Fail("CreateSurface (z-buffer)", hr);
    if (FAILED(hr = target->AddAttachedSurface(zBuffer.Get()))) return Fail("AddAttachedSurface", hr);
    if (FAILED(hr = directDraw->QueryInterface(IID_IDirect3D7, reinterpret_cast<void**>(direct3D.Put()))) ||
        !direct3D.Get())
      return Fail("QueryInterface(IID_IDirect3D7)", hr);
    if (FAILED(hr = direct3D->CreateDevice(IID_IDirect3DRGBDevice, target.Get(), device.Put())) || !device.Get())
      return Fail("CreateDevice(RGB)", hr);

    kiln.DirectDraw = directDraw.Get();
    kiln.Direct3D = direct3D.Get();
    kiln.D3DDevice = device.Get();
    kiln.DeviceKind = TKilnDeviceKind::dkRGB;
    kiln.HardwareAccelerated = false;
    kiln.ScreenWidth = width;
    kiln.ScreenHeight = height;
    kiln.BitDepth = 32;

    InitTrigTables();
    // The game's fixed render states, so that meshes look as they do in play.
    IDirect3DDevice7* d = device.Get();
    d->SetRenderState(D3DRENDERSTATE_LIGHTING, 1);
    d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0xFF808080);
    d->SetRenderState(D3DRENDERSTATE_ZENABLE, 1);
    d->SetRenderState(D3DRENDERSTATE_COLORVERTEX, 1);
    d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, 1);
    d->SetRenderState(D3DRENDERSTATE_SPECULARMATERIALSOURCE, D3DMCS_MATERIAL);
    d->SetRenderState(D3DRENDERSTATE_DITHERENABLE, 1);

    scene = std::make_unique<TSXScene>(&kiln);
    scene->SetViewport(0, 0, static_cast<uint32_t>(width), static_cast<uint32_t>(height));
    lights = std::make_unique<TSXLightGroup>(&kiln, 1);
    TSXLight* key = lights->GetLight(0);
    key->SetDiffuse(1, 1, 1);
    key->SetSpecular(0.6f, 0.6f, 0.6f);
    key->SetAmbient(0.2f, 0.2f, 0.2f);
    key->SetEnabled(1);

    material = std::make_unique<TSXMaterial>(&kiln);
    material->SetPower(20);
    material->SetDiffuse(1, 1, 1);
    material->SetAmbient(0.4f, 0.4f, 0.4f);

    root = TSXFrame::CreateRoot();
    camera = TSXFrame::CreateRoot();
    scene->Camera = camera.get();
    model = TSXFrame::Create(root.get());
    model->Material = material->MaterialData;
    // The material has no specular setter; a grey highlight shows the shape better.
    model->Material.specular = {0.5f, 0.5f, 0.5f, 1};
    return true;
  }

  void MeasureBounds() {
    center = {0, 0, 0};
    radius = 1;
    if (!mesh || mesh->VertexCount == 0 || mesh->VertexSize < 12) return;
    const auto* bytes = static_cast<const unsigned char*>(mesh->Lock());
    float lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
    std::vector<TVector3> points;
    points.reserve(mesh->VertexCount);
    for (int v = 0; v < mesh->VertexCount; ++v) {
      float p[3];
      std::memcpy(p, bytes + static_cast<size_t>(v) * static_cast<size_t>(mesh->VertexSize), sizeof p);
      if (!std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) continue;
      for (int k = 0; k < 3; ++k) {
        lo[k] = std::min(lo[k], p[k]);
        hi[k] = std::max(hi[k], p[k]);
      }
      points.push_back({p[0], p[1], p[2]});
    }
    mesh->Unlock();
    if (points.empty()) return;
    center = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
    float r = 0;
    for (const TVector3& p : points) {
      TVector3 d;
      VecSub(p, center, d);
      float len = 0;
      VecLength(len, d);
      r = std::max(r, len);
    }
    radius = (std::isfinite(r) && r > 1e-6f) ? r : 1;
  }
};

Viewer::Viewer(int width, int height)
    : s_(std::make_unique<State>(std::clamp(width, 1, kMaxPictureSide), std::clamp(height, 1, kMaxPictureSide))) {
  try {
    s_->Build();
  } catch (const rtl::EHalt&) {
    s_->error = "the set-up ended the program: " + LastKilnLogLine();
  } catch (const std::exception& e) {
    s_->error = e.what();
  }
}

Viewer::~Viewer() = default;

bool Viewer::Ok() const { return s_->error.empty() && s_->device.Get(); }
const std::string& Viewer::Error() const { return s_->error; }

bool Viewer::LoadMesh(const std::string& path, std::string& error) {
  if (!Ok()) {
    error = s_->error;
    return false;
  }
  s_->model->Mesh = nullptr;
  auto mesh = std::make_unique<TSXMesh>(&s_->kiln);
  try {
    mesh->LoadFromFile(path);
    s_->mesh = std::move(mesh);
    s_->MeasureBounds();
    s_->mesh->Optimize();
  } catch (const rtl::EHalt&) {
    error = LastKilnLogLine();
    if (error.empty()) error = "not a mesh";
    return false;
  } catch (const rtl::Exception& e) {
    // The header reads raise the stream's own error when the file is too short.
    error = std::string("file too short for a mesh header (") + e.what() + ")";
    return false;
  }
  s_->model->Mesh = s_->mesh.get();
  return true;
}

bool Viewer::LoadTexture(const std::string& path, std::string& error, std::string& warning) {
  warning.clear();
  if (!Ok()) {
    error = s_->error;
    return false;
  }
  int w = 0, h = 0;
  if (!BmpSize(path, w, h)) {
    error = "not a readable BMP file of 1.." + std::to_string(kMaxPictureSide) + " pixels a side";
    return false;
  }
  s_->model->Texture = nullptr;
  s_->texture.reset();
  try {
    const int32_t before = KilnDebugUnit().Counter();
    // The game's texture formats, the opaque one first; black is the transparent colour.
    s_->texture = std::make_unique<TKilnTexture>(&s_->kiln, w, h, 0, "RGB555;ARGB1555;RGB565");
    s_->texture->LoadFromFile(path);
    if (KilnDebugUnit().Counter() != before) warning = LastKilnLogLine();
  } catch (const rtl::EHalt&) {
    error = LastKilnLogLine();
    s_->texture.reset();
    return false;
  } catch (const rtl::Exception& e) {
    error = e.what();
    s_->texture.reset();
    return false;
  }
  s_->model->Texture = s_->texture.get();
  return true;
}

void Viewer::SetBackground(uint32_t rgb) { s_->background = rgb & 0xFFFFFF; }
void Viewer::SetBlendMode(uint8_t mode) {
  if (s_->model) s_->model->BlendMode = mode;
}
void Viewer::SetLighting(bool on) {
  if (s_->model) s_->model->Lighting = on ? 1 : 0;
}
float Viewer::CenterX() const { return s_->center.x; }
float Viewer::CenterY() const { return s_->center.y; }
float Viewer::CenterZ() const { return s_->center.z; }
float Viewer::Radius() const { return s_->radius; }

bool Viewer::Render(const ViewAngle& angle, host::services::Image& picture, std::string& error) {
  if (!Ok()) {
    error = s_->error;
    return false;
  }
  State& s = *s_;
  const float yaw = angle.yaw * kPi / 180, pitch = angle.pitch * kPi / 180;
  // From the centre towards the camera.
  const TVector3 back = Normalized({std::sin(yaw) * std::cos(pitch), std::sin(pitch), std::cos(yaw) * std::cos(pitch)});
  const TVector3 dir{-back.x, -back.y, -back.z};
  // Seen from straight above or below, "up" on the picture is the mesh's +z (its nose).
  TVector3 worldUp = std::fabs(back.y) > 0.999f ? TVector3{0, 0, back.y > 0 ? 1.0f : -1.0f} : TVector3{0, 1, 0};
  TVector3 right, up;
  VecCross(worldUp, dir, right);
  right = Normalized(right);
  VecCross(dir, right, up);
  up = Normalized(up);

  // Far enough for the whole bounding sphere to fit the narrower side of the picture.
  const float aspect = float(s.height) / float(s.width);
  const float halfFov = kFov / 2;
  const float narrow = aspect <= 1 ? halfFov : std::atan(std::tan(halfFov) / aspect);
  const float distance = s.radius / std::sin(narrow) * 1.08f;
  const TVector3 eye{s.center.x + back.x * distance, s.center.y + back.y * distance, s.center.z + back.z * distance};
  s.camera->SetOrientation(nullptr, dir, up);
  s.camera->SetPosition(nullptr, eye);
  s.scene->SetProjection(kFov, aspect, std::max(distance - 1.5f * s.radius, distance * 0.01f),
                         distance + 1.5f * s.radius);

  // The key light comes from above, left and behind the camera, turning with it.
  TVector3 light{0.45f * right.x - 0.6f * up.x + dir.x, 0.45f * right.y - 0.6f * up.y + dir.y,
                 0.45f * right.z - 0.6f * up.z + dir.z};
  s.lights->GetLight(0)->SetDirectional(Normalized(light));
  s.lights->GetLight(0)->SetEnabled(1);

  IDirect3DDevice7* d = s.device.Get();
  s.scene->Clear(D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u | s.background, 1.0f, 0);
  if (FAILED(d->BeginScene())) {
    error = "BeginScene failed";
    return false;
  }
  s.scene->Render(s.root.get());
  d->EndScene();

  DDSURFACEDESC2 desc{};
  desc.dwSize = sizeof desc;
  const HRESULT hr = s.target->Lock(nullptr, &desc, DDLOCK_WAIT, nullptr);
  if (FAILED(hr) || !desc.lpSurface) {
    error = "the render target could not be locked (" + Hex(hr) + ")";
    return false;
  }
  picture.width = s.width;
  picture.height = s.height;
  picture.channels = 3;
  picture.pixels.resize(static_cast<size_t>(s.width) * static_cast<size_t>(s.height) * 3);
  for (int y = 0; y < s.height; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(desc.lpSurface) + static_cast<ptrdiff_t>(y) * desc.lPitch;
    for (int x = 0; x < s.width; ++x) {
      uint32_t px;
      std::memcpy(&px, row + 4 * x, 4);
      uint8_t* out =
          &picture.pixels[(static_cast<size_t>(y) * static_cast<size_t>(s.width) + static_cast<size_t>(x)) * 3];
      out[0] = uint8_t(px >> 16);
      out[1] = uint8_t(px >> 8);
      out[2] = uint8_t(px);
    }
  }
  s.target->Unlock(nullptr);
  return true;
}

host::services::Image ContactSheet(const std::vector<host::services::Image>& pictures, int columns, int gap,
                                   uint32_t gapRgb) {
  host::services::Image sheet;
  sheet.channels = 3;
  if (pictures.empty() || columns < 1) return sheet;
  gap = std::max(gap, 0);
  const int count = static_cast<int>(pictures.size());
  const int cols = std::min(columns, count);
  const int rows = (count + cols - 1) / cols;
  int cellW = 0, cellH = 0;
  for (const auto& p : pictures) {
    cellW = std::max(cellW, p.width);
    cellH = std::max(cellH, p.height);
  }
  sheet.width = cols * cellW + (cols + 1) * gap;
  sheet.height = rows * cellH + (rows + 1) * gap;
  sheet.pixels.resize(static_cast<size_t>(sheet.width) * static_cast<size_t>(sheet.height) * 3);
  for (size_t i = 0; i < sheet.pixels.size(); i += 3) {
    sheet.pixels[i] = uint8_t(gapRgb >> 16);
    sheet.pixels[i + 1] = uint8_t(gapRgb >> 8);
    sheet.pixels[i + 2] = uint8_t(gapRgb);
  }
  for (int n = 0; n < count; ++n) {
    const auto& p = pictures[static_cast<size_t>(n)];
    if (p.channels != 3 || p.pixels.size() < static_cast<size_t>(p.width) * static_cast<size_t>(p.height) * 3) continue;
    const int ox = gap + (n % cols) * (cellW + gap), oy = gap + (n / cols) * (cellH + gap);
    for (int y = 0; y < p.height; ++y)
      std::memcpy(
          &sheet.pixels[(static_cast<size_t>(oy + y) * static_cast<size_t>(sheet.width) + static_cast<size_t>(ox)) * 3],
          &p.pixels[static_cast<size_t>(y) * static_cast<size_t>(p.width) * 3], static_cast<size_t>(p.width) * 3);
  }
  return sheet;
}

int Run(const Options& o, std::ostream& out, std::ostream& err) {
  Viewer viewer(o.width, o.height);
  if (!viewer.Ok()) {
    err << "meshview: no 3-D device: " << viewer.Error() << "\n";
    return 2;
  }
  std::string error, warning;
  if (!viewer.LoadMesh(o.meshPath, error)) {
    err << "meshview: " << o.meshPath << ": " << error << "\n";
    return 1;
  }
  if (!o.texturePath.empty()) {
    if (!viewer.LoadTexture(o.texturePath, error, warning)) {
      err << "meshview: " << o.texturePath << ": " << error << "\n";
      return 1;
    }
    if (!warning.empty()) err << "meshview: " << o.texturePath << ": " << warning << "\n";
  }
  viewer.SetBackground(o.background);
  viewer.SetBlendMode(o.blendMode);
  viewer.SetLighting(o.lighting);
  out << o.meshPath << ": centre (" << viewer.CenterX() << ", " << viewer.CenterY() << ", " << viewer.CenterZ()
      << "), radius " << viewer.Radius() << "\n";

  std::vector<host::services::Image> pictures;
  for (const ViewAngle& angle : o.angles) {
    host::services::Image picture;
    if (!viewer.Render(angle, picture, error)) {
      err << "meshview: " << angle.name << ": " << error << "\n";
      return 1;
    }
    const std::string path = o.outPrefix + "_" + angle.name + ".png";
    if (auto r = host::services::WritePng(path, picture); !r) {
      err << "meshview: " << path << ": " << r.error << "\n";
      return 1;
    }
    out << "wrote " << path << "\n";
    if (!o.sheetPath.empty()) pictures.push_back(std::move(picture));
  }
  if (!o.sheetPath.empty()) {
    if (auto r = host::services::WritePng(o.sheetPath, ContactSheet(pictures, 2, 2, 0x808080)); !r) {
      err << "meshview: " << o.sheetPath << ": " << r.error << "\n";
      return 1;
    }
    out << "wrote " << o.sheetPath << "\n";
  }
  return 0;
}

}  // namespace meshview
