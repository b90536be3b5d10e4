// The software rasterizer behind the Direct3D 7 devices: plain state and vertices in, pixels out.
//
// The d3d front keeps the render states, lights and surfaces the way the device interfaces
// describe them and hands a `raster::State` to one of the two rasterizers for every draw:
//   - the reference rasterizer: floating point, per pixel, every light, no shortcuts; it is the
//     oracle the other one is measured against;
//   - the fast rasterizer: the one the game runs on (spans instantiated per pixel format and state,
//     lights culled per draw by range, no allocation once warmed up).
// Enumerations carry the numeric values of the Direct3D 7 constants they stand for, so the front
// can cast a render-state value straight across.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

namespace raster {

// ---- the rasterizer's own small math types --------------------------------------------------

struct Vec3 {
  float x, y, z;
};

// Row-major, applied to row vectors (v * M), as Direct3D keeps its matrices.
struct Mat4 {
  float m[4][4];
  static constexpr Mat4 Identity() { return {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}}; }
};

// ---- surfaces -------------------------------------------------------------------------------

enum class PixelFormat : uint8_t {
  Unknown,
  P8,  // palettized: may be described, never rendered to or sampled
  RGB565,
  X1R5G5B5,
  A1R5G5B5,
  A4R4G4B4,
  R8G8B8,  // 24 bits, blue in the lowest byte
  X8R8G8B8,
  A8R8G8B8,
};

int BytesPerPixel(PixelFormat f);          // 0 for Unknown
bool IsRenderTargetFormat(PixelFormat f);  // everything but Unknown and P8
bool HasAlpha(PixelFormat f);

// A locked render target. Pitch is in bytes and at least width * BytesPerPixel.
struct Surface {
  PixelFormat format = PixelFormat::Unknown;
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;
  void* pixels = nullptr;
};

enum class DepthFormat : uint8_t {
  None,   // no depth buffer attached
  D16,    // 16-bit depth
  D24X8,  // 32-bit word: depth in the upper 24 bits, lower 8 unused
  D24S8,  // 32-bit word: depth in the upper 24 bits, stencil in the lower 8
  D32,    // 32-bit depth
};

struct DepthSurface {
  DepthFormat format = DepthFormat::None;
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;
  void* pixels = nullptr;
};

// A locked texture surface (16, 24 or 32 bits per texel). The colour key is compared against
// the texel's colour bits (alpha and unused bits are ignored), inclusive between low and high.
struct Texture {
  PixelFormat format = PixelFormat::Unknown;
  uint32_t width = 0, height = 0;
  int32_t pitch = 0;
  const void* pixels = nullptr;
  bool hasColorKey = false;
  uint32_t colorKeyLow = 0, colorKeyHigh = 0;
};

// ---- transform, lights and material ----------------------------------------------------------

struct Color {
  float r = 0, g = 0, b = 0, a = 0;
};

struct Viewport {
  uint32_t x = 0, y = 0, width = 0, height = 0;  // on the target's pixels
  float minZ = 0.0f, maxZ = 1.0f;
  // Target pixels per pixel of the program's screen, in each direction (a render scale k). The
  // rectangle above is then k times the program's viewport, and a point (x, y) of the program's
  // screen (pixel centres on whole numbers) lands at (k x + (k - 1) / 2, k y + (k - 1) / 2): the
  // centre of the k x k block of its pixel. Pretransformed vertices are in the program's screen.
  uint32_t scale = 1;
  // Where the program's screen origin falls on the target: (k - 1) / 2 beyond the rectangle's.
  double CentreShift() const { return (double(scale) - 1.0) * 0.5; }
};

struct Material {
  Color diffuse, ambient, specular, emissive;
  float power = 0.0f;
};

enum class LightType : uint32_t { Point = 1, Spot = 2, Directional = 3 };

// D3DLIGHT7 in plain form. Negative colours are allowed (they darken); a negative range means
// the light reaches nothing.
struct Light {
  LightType type = LightType::Directional;
  Color diffuse, specular, ambient;
  Vec3 position{0, 0, 0};
  Vec3 direction{0, 0, 1};
  float range = 0.0f;
  float falloff = 0.0f;
  float attenuation0 = 0.0f, attenuation1 = 0.0f, attenuation2 = 0.0f;
  float theta = 0.0f, phi = 0.0f;
};

// ---- render states ---------------------------------------------------------------------------

enum class ShadeMode : uint32_t { Flat = 1, Gouraud = 2, Phong = 3 };  // Phong draws as Gouraud
enum class CullMode : uint32_t { None = 1, CW = 2, CCW = 3 };
enum class CmpFunc : uint32_t { Never = 1, Less, Equal, LessEqual, Greater, NotEqual, GreaterEqual, Always };
enum class Blend : uint32_t {
  Zero = 1,
  One,
  SrcColor,
  InvSrcColor,
  SrcAlpha,
  InvSrcAlpha,
  DestAlpha,
  InvDestAlpha,
  DestColor,
  InvDestColor,
  SrcAlphaSat,
  BothSrcAlpha,
  BothInvSrcAlpha
};
enum class MaterialSource : uint32_t { Material = 0, Color1 = 1, Color2 = 2 };
enum class TextureOp : uint32_t { Disable = 1, SelectArg1, SelectArg2, Modulate, Modulate2X, Modulate4X, Add };
// Texture argument: one of the selectors, optionally or'ed with the modifiers.
namespace ta {
inline constexpr uint32_t Diffuse = 0, Current = 1, Texture = 2, TFactor = 3, Specular = 4;
inline constexpr uint32_t SelectMask = 0x0F, Complement = 0x10, AlphaReplicate = 0x20;
}  // namespace ta
enum class TextureFilter : uint32_t { Point = 1, Linear = 2 };                         // anything else draws as Linear
enum class TextureAddress : uint32_t { Wrap = 1, Mirror = 2, Clamp = 3, Border = 4 };  // Border clamps

struct RenderStates {
  bool lighting = true;
  uint32_t ambient = 0;  // ARGB
  ShadeMode shadeMode = ShadeMode::Gouraud;
  CullMode cullMode = CullMode::CCW;
  bool zEnable = true;  // only has an effect with a depth buffer
  bool zWriteEnable = true;
  CmpFunc zFunc = CmpFunc::LessEqual;
  bool alphaBlendEnable = false;
  Blend srcBlend = Blend::One;
  Blend destBlend = Blend::Zero;
  bool specularEnable = false;
  bool localViewer = true;
  bool colorVertex = true;
  bool normalizeNormals = false;
  MaterialSource diffuseMaterialSource = MaterialSource::Color1;
  MaterialSource specularMaterialSource = MaterialSource::Color2;
  MaterialSource ambientMaterialSource = MaterialSource::Material;
  MaterialSource emissiveMaterialSource = MaterialSource::Material;
  bool colorKeyEnable = false;
  bool ditherEnable = false;
  uint32_t textureFactor = 0xFFFFFFFF;  // ARGB
};

struct TextureStage {
  TextureOp colorOp = TextureOp::Modulate;
  uint32_t colorArg1 = ta::Texture, colorArg2 = ta::Current;
  TextureOp alphaOp = TextureOp::SelectArg1;
  uint32_t alphaArg1 = ta::Texture, alphaArg2 = ta::Current;
  TextureFilter magFilter = TextureFilter::Point, minFilter = TextureFilter::Point;
  TextureAddress addressU = TextureAddress::Wrap, addressV = TextureAddress::Wrap;
  uint32_t texCoordIndex = 0;
};

// Everything a draw depends on. Pointers and spans are borrowed for the duration of the call.
struct State {
  Mat4 world = Mat4::Identity();
  Mat4 view = Mat4::Identity();
  Mat4 projection = Mat4::Identity();
  Viewport viewport;
  Material material;
  std::span<const Light> lights;  // the enabled lights, in light-index order
  // A caller that numbers its light sets: the same non-zero number as an earlier draw's promises
  // the same lights (a rasterizer need not compare them). 0: not numbered.
  uint64_t lightsVersion = 0;
  RenderStates rs;
  TextureStage stage0;
  const Texture* texture = nullptr;  // stage 0; none acts as white
  Surface target;
  DepthSurface depth;
};

// ---- vertices --------------------------------------------------------------------------------

namespace fvf {
inline constexpr uint32_t Reserved0 = 0x001, PositionMask = 0x00E, XYZ = 0x002, XYZRHW = 0x004, XYZB1 = 0x006,
                          XYZB5 = 0x00E, Normal = 0x010, Reserved1 = 0x020, Diffuse = 0x040, Specular = 0x080,
                          TexCountMask = 0xF00, TexCountShift = 8, Reserved2 = 0xF000;
}  // namespace fvf

// Where each element of a flexible vertex format sits (byte offsets; -1 when absent).
struct VertexLayout {
  bool valid = false;
  bool pretransformed = false;  // XYZRHW
  int position = -1, normal = -1, diffuse = -1, specular = -1;
  int texCount = 0;
  int texOffset[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int texSize[8] = {0, 0, 0, 0, 0, 0, 0, 0};  // floats per set: 1..4
  int size = 0;                               // bytes per vertex
};

// Decodes an FVF code; `valid` is false for codes the device rejects (no position, reserved
// bits, more than eight texture sets).
VertexLayout DecodeFvf(uint32_t fvfCode);

struct VertexData {
  const void* data = nullptr;  // first vertex (the front applies the start vertex)
  uint32_t stride = 0;         // bytes between vertices, at least the FVF size
  uint32_t fvf = 0;
  uint32_t count = 0;  // vertices an index may reach
};

// ---- the rasterizers -------------------------------------------------------------------------

enum class Result {
  Ok,
  InvalidParams,        // bad index, stride, empty list, bad viewport, unusable surface
  InvalidVertexFormat,  // an FVF code the device does not accept
};

namespace clear {
inline constexpr uint32_t Target = 1, ZBuffer = 2, Stencil = 4;
}

struct Rect {
  int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;  // x2, y2 exclusive
};

class Rasterizer {
 public:
  virtual ~Rasterizer() = default;
  // Clears the rectangles (each clipped to the viewport and the surfaces); no rectangles clears
  // the whole viewport. Colour is ARGB, z in [0, 1].
  virtual Result Clear(const State& state, std::span<const Rect> rects, uint32_t flags, uint32_t argb, float z,
                       uint32_t stencil) = 0;
  // An indexed triangle list: every three indices make one triangle; a trailing one or two
  // indices are ignored. Nothing is drawn when any index reaches past the vertex count.
  virtual Result DrawIndexedTriangleList(const State& state, const VertexData& vertices,
                                         std::span<const uint16_t> indices) = 0;
  // From BeginBatch to EndBatch a rasterizer may leave the pixels of its draws to its render
  // threads and return before they are written: the surfaces and textures a draw names (their
  // memory, not the State or Texture records) must stay as they are until Flush or EndBatch,
  // which return when every pixel of the batch is written. A rasterizer that does not batch
  // draws at once and ignores these.
  virtual void BeginBatch() {}
  virtual void Flush() {}
  virtual void EndBatch() {}
};

std::unique_ptr<Rasterizer> MakeReferenceRasterizer();
// The fast one rasterizes the pixels of large draws on `threads` threads (by default the process
// setting below); the pictures are the same bits for any number of threads.
std::unique_ptr<Rasterizer> MakeFastRasterizer();
// Draws smaller than `minParallelPixels` (by their triangles' bounding boxes) stay on one thread:
// waking the others costs more than they would save.
std::unique_ptr<Rasterizer> MakeFastRasterizerWithThreads(int threads, int64_t minParallelPixels = 8192);

// The process-wide number of threads fast rasterizers made from now on use: by default the
// cores available, at most 4; a setting (--render-threads) may change it at start-up.
inline constexpr int kMaxRenderThreads = 4;
int RenderThreads();
void SetRenderThreads(int threads);  // clamped to [1, kMaxRenderThreads]

}  // namespace raster
