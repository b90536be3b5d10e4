// The inside of the Direct3D stand-in. Only its own sources include this.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/d3d/D3D7.h"
#include "platform/d3d/D3DRM.h"
#include "platform/d3d/Direct3D.h"
#include "platform/ddraw/DDraw.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/win/ComRef.h"
#include "platform/win/Gaps.h"
#include "raster/Raster.h"

namespace d3d::detail {

// ---- Reference counting and small helpers ----------------------------------------------

using win::RefCounted;

using win::ComRef;

// Locks a whole surface's real pixels for the lifetime of the object (DDLOCK_WAIT).
class SurfaceLock {
 public:
  explicit SurfaceLock(IDirectDrawSurface7* surface, DWORD flags = DDLOCK_WAIT);
  ~SurfaceLock();
  SurfaceLock(const SurfaceLock&) = delete;
  SurfaceLock& operator=(const SurfaceLock&) = delete;
  HRESULT Result() const { return result_; }
  const DDSURFACEDESC2& Desc() const { return desc_; }

 private:
  IDirectDrawSurface7* surface_;
  DDSURFACEDESC2 desc_{};
  HRESULT result_;
};

// ---- Device kinds and formats --------------------------------------------------------------

enum class DeviceKind { TnLHal, Hal, Mmx, Rgb, Ramp, Reference, Unknown };
DeviceKind KindOf(REFGUID guid);

// The rasterizer's name for a colour format; Unknown when it cannot be drawn on or sampled.
raster::PixelFormat ColorFormatOf(const DDPIXELFORMAT& format);
// The rasterizer's name for a depth format; None when it is not one the devices can use.
raster::DepthFormat DepthFormatOf(const DDPIXELFORMAT& format);

HRESULT ToHResult(raster::Result result);

// ---- Vertex buffer -----------------------------------------------------------------------

class VertexBuffer final : public RefCounted<IDirect3DVertexBuffer7> {
 public:
  VertexBuffer(const D3DVERTEXBUFFERDESC& desc, int vertexSize);

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT Lock(DWORD flags, void** data, DWORD* size) override;
  HRESULT Unlock() override;
  HRESULT Optimize(IDirect3DDevice7* device, DWORD flags) override;
  HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* desc) override;

  bool Locked() const { return locks_ > 0; }
  DWORD Fvf() const { return desc_.dwFVF; }
  DWORD Count() const { return desc_.dwNumVertices; }
  uint32_t Stride() const { return stride_; }
  const uint8_t* Data() const { return data_.data(); }

  static VertexBuffer* From(IDirect3DVertexBuffer7* buffer);

 private:
  D3DVERTEXBUFFERDESC desc_;
  uint32_t stride_;
  std::vector<uint8_t> data_;
  int locks_ = 0;
  bool optimized_ = false;
};

// ---- Direct3D object ---------------------------------------------------------------------

class Direct3D final : public RefCounted<IDirect3D7> {
 public:
  explicit Direct3D(IDirectDraw7* directDraw);
  ~Direct3D() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT CreateDevice(REFGUID deviceGuid, IDirectDrawSurface7* renderTarget, IDirect3DDevice7** device) override;
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* desc, IDirect3DVertexBuffer7** buffer, DWORD flags) override;
  HRESULT EnumZBufferFormats(REFGUID deviceGuid, LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override;

 private:
  // D3D_OK when a device of this kind can exist on the driver behind the DirectDraw object.
  HRESULT KindAvailable(DeviceKind kind);

  IDirectDraw7* directDraw_;  // holds a reference
};

// ---- Device ------------------------------------------------------------------------------

// Inside a scene the fast device leaves the pixels of its draws to its render threads: the
// surfaces those draws name are pinned (a reference each) and settle the pixels before anything
// else reaches them (see ddraw::PendingPixels); EndScene writes the rest.
class Device final : public RefCounted<IDirect3DDevice7>, private ddraw::PendingPixels {
 public:
  // `target` is checked by the caller; the device takes references to it and to `owner`.
  Device(Direct3D* owner, DeviceKind kind, IDirectDrawSurface7* target, const DDSURFACEDESC2& targetDesc,
         bool hasZBuffer);
  ~Device() override;

  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override;
  HRESULT BeginScene() override;
  HRESULT EndScene() override;
  HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) override;
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) override;
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) override;
  HRESULT SetViewport(const D3DVIEWPORT7* viewport) override;
  HRESULT GetViewport(D3DVIEWPORT7* viewport) override;
  HRESULT SetMaterial(const D3DMATERIAL7* material) override;
  HRESULT GetMaterial(D3DMATERIAL7* material) override;
  HRESULT SetLight(DWORD index, const D3DLIGHT7* light) override;
  HRESULT GetLight(DWORD index, D3DLIGHT7* light) override;
  HRESULT LightEnable(DWORD index, BOOL enable) override;
  HRESULT GetLightEnable(DWORD index, BOOL* enable) override;
  HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
  HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) override;
  HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* texture) override;
  HRESULT GetTexture(DWORD stage, IDirectDrawSurface7** texture) override;
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) override;
  HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) override;
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, DWORD startVertex,
                                 DWORD numVertices, const WORD* indices, DWORD indexCount, DWORD flags) override;

 private:
  static constexpr int kStates = 256;
  static constexpr int kStages = 8;
  static constexpr int kStageStates = 32;
  static constexpr int kTransforms = 24;

  struct LightSlot {
    D3DLIGHT7 light{};
    bool enabled = false;
  };

  // Writes "d3d: <what> is not supported" to stderr, once per device and gap.
  void ReportGap(const std::string& what);
  // Everything of a draw's state record except the surfaces.
  void FillFixedState(raster::State& state);
  void RebuildLights();
  // Keeps a surface of a draw whose pixels may be pending, until they are written.
  void Pin(IDirectDrawSurface7* surface);
  // Writes every pending pixel and lets the pinned surfaces go.
  void Settle() override;

  Direct3D* owner_;                   // holds a reference
  IDirectDrawSurface7* target_;       // holds a reference
  DWORD targetWidth_, targetHeight_;  // as the program sees the target
  int scale_;                         // the target's render scale
  // The viewport on the target's real pixels.
  raster::Viewport FineViewport() const;
  std::unique_ptr<raster::Rasterizer> raster_;

  std::array<DWORD, kStates> renderStates_{};
  std::array<std::array<DWORD, kStageStates>, kStages> stageStates_{};
  std::array<D3DMATRIX, kTransforms> transforms_{};
  D3DVIEWPORT7 viewport_{};
  D3DMATERIAL7 material_{};
  std::map<DWORD, LightSlot> lights_;
  std::vector<raster::Light> enabledLights_;
  bool lightsDirty_ = true;
  uint64_t lightsVersion_ = 0;                            // counts the rebuilds of enabledLights_
  std::array<IDirectDrawSurface7*, kStages> textures_{};  // each holds a reference
  bool inScene_ = false;
  std::vector<ComRef<IDirectDrawSurface7>> pinned_;
  std::vector<raster::Rect> clearRects_;
  win::GapReporter gaps_{"d3d"};
};

// ---- Retained mode -----------------------------------------------------------------------

class RetainedMode final : public RefCounted<IDirect3DRM, IDirect3DRM3> {
 public:
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  HRESULT CreateDeviceFromClipper(IDirectDrawClipper* clipper, GUID* guid, int width, int height,
                                  IDirect3DRMDevice3** device) override;

 private:
  ~RetainedMode() override = default;
};

class RetainedDevice final : public RefCounted<IDirect3DRMDevice3> {
 public:
  RetainedDevice(IDirectDrawClipper* clipper, DWORD width, DWORD height);
  ~RetainedDevice() override;
  HRESULT QueryInterface(REFIID riid, void** ppv) override;
  DWORD GetWidth() override { return width_; }
  DWORD GetHeight() override { return height_; }

 private:
  IDirectDrawClipper* clipper_;  // holds a reference
  DWORD width_, height_;
};

}  // namespace d3d::detail
