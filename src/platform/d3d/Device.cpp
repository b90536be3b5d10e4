// The immediate-mode device: keeps the states the way the interface describes them, checks
// every argument, and hands each clear and draw to its rasterizer as a plain state record
// over the locked surfaces.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/d3d/D3DInternal.h"
#include "platform/d3d/RenderStates.h"

namespace d3d::detail {

namespace {

bool Finite(float v) { return std::isfinite(v); }
bool Finite(const D3DCOLORVALUE& c) { return Finite(c.r) && Finite(c.g) && Finite(c.b) && Finite(c.a); }
bool Finite(const D3DVECTOR& v) { return Finite(v.x) && Finite(v.y) && Finite(v.z); }

raster::Color ToColor(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }
raster::Vec3 ToVector(const D3DVECTOR& v) { return {v.x, v.y, v.z}; }

raster::Mat4 ToMatrix(const D3DMATRIX& m) {
  raster::Mat4 out;
  std::memcpy(out.m, m.m, sizeof(out.m));
  return out;
}

D3DMATRIX Identity() {
  D3DMATRIX m{};
  for (int i = 0; i < 4; ++i) m.m[i][i] = 1.0f;
  return m;
}

// Transform states the interface accepts: world, view, projection, the three extra world
// matrices of vertex blending and the eight texture matrices.
bool KnownTransform(DWORD state) { return (state >= 1 && state <= 6) || (state >= 16 && state <= 23); }

// The largest light range the platform accepts: sqrt(FLT_MAX).
constexpr float kLightRangeMax = 1.8446743e+19f;

bool ValidLight(const D3DLIGHT7& l) {
  if (l.dltType != D3DLIGHT_POINT && l.dltType != D3DLIGHT_SPOT && l.dltType != D3DLIGHT_DIRECTIONAL) return false;
  if (!Finite(l.dcvDiffuse) || !Finite(l.dcvSpecular) || !Finite(l.dcvAmbient) || !Finite(l.dvPosition) ||
      !Finite(l.dvDirection))
    return false;
  if (!Finite(l.dvFalloff) || !Finite(l.dvAttenuation0) || !Finite(l.dvAttenuation1) || !Finite(l.dvAttenuation2) ||
      !Finite(l.dvTheta) || !Finite(l.dvPhi))
    return false;
  const D3DVECTOR& d = l.dvDirection;
  const bool noDirection = d.x == 0.0f && d.y == 0.0f && d.z == 0.0f;
  if (l.dltType != D3DLIGHT_POINT && noDirection) return false;
  if (l.dltType != D3DLIGHT_DIRECTIONAL && !(l.dvRange >= 0.0f && l.dvRange <= kLightRangeMax)) return false;
  return true;
}

raster::Light ToRaster(const D3DLIGHT7& l) {
  raster::Light r;
  r.type = static_cast<raster::LightType>(l.dltType);
  r.diffuse = ToColor(l.dcvDiffuse);
  r.specular = ToColor(l.dcvSpecular);
  r.ambient = ToColor(l.dcvAmbient);
  r.position = ToVector(l.dvPosition);
  r.direction = ToVector(l.dvDirection);
  r.range = l.dvRange;
  r.falloff = l.dvFalloff;
  r.attenuation0 = l.dvAttenuation0;
  r.attenuation1 = l.dvAttenuation1;
  r.attenuation2 = l.dvAttenuation2;
  r.theta = l.dvTheta;
  r.phi = l.dvPhi;
  return r;
}

// The light a never-set index gets when it is switched on: white, shining along +z.
D3DLIGHT7 DefaultLight() {
  D3DLIGHT7 l{};
  l.dltType = D3DLIGHT_DIRECTIONAL;
  l.dcvDiffuse = {1.0f, 1.0f, 1.0f, 0.0f};
  l.dvDirection = {0.0f, 0.0f, 1.0f};
  return l;
}

// Without a texture on the stage, an operation that reads D3DTA_TEXTURE passes the current
// colour (at stage 0 the diffuse colour) through unchanged, as the platform does: SELECTARG1
// of the texture draws the vertex colour, and so does MODULATE of texture and diffuse.
bool ReadsTexture(raster::TextureOp op, uint32_t arg1, uint32_t arg2) {
  const bool first = (arg1 & raster::ta::SelectMask) == raster::ta::Texture;
  const bool second = (arg2 & raster::ta::SelectMask) == raster::ta::Texture;
  switch (op) {
    case raster::TextureOp::Disable:
      return false;
    case raster::TextureOp::SelectArg1:
      return first;
    case raster::TextureOp::SelectArg2:
      return second;
    default:
      return first || second;
  }
}

void PassCurrentWhereTextureIsRead(raster::TextureStage& st) {
  if (ReadsTexture(st.colorOp, st.colorArg1, st.colorArg2)) {
    st.colorOp = raster::TextureOp::SelectArg1;
    st.colorArg1 = raster::ta::Current;
  }
  if (ReadsTexture(st.alphaOp, st.alphaArg1, st.alphaArg2)) {
    st.alphaOp = raster::TextureOp::SelectArg1;
    st.alphaArg1 = raster::ta::Current;
  }
}

raster::Surface TargetOf(const DDSURFACEDESC2& d, raster::PixelFormat format) {
  raster::Surface s;
  s.format = format;
  s.width = d.dwWidth;
  s.height = d.dwHeight;
  s.pitch = d.lPitch;
  s.pixels = d.lpSurface;
  return s;
}

}  // namespace

Device::Device(Direct3D* owner, DeviceKind kind, IDirectDrawSurface7* target, const DDSURFACEDESC2& targetDesc,
               bool hasZBuffer)
    : owner_(owner),
      target_(target),
      targetWidth_(targetDesc.dwWidth),
      targetHeight_(targetDesc.dwHeight),
      scale_(ddraw::RenderScaleOf(target)),
      raster_(kind == DeviceKind::Reference ? raster::MakeReferenceRasterizer() : raster::MakeFastRasterizer()) {
  owner_->AddRef();
  target_->AddRef();
  for (int s = 0; s < kStates; ++s) {
    DWORD v = 0;
    if (RenderStateDefault(static_cast<DWORD>(s), hasZBuffer, v)) renderStates_[s] = v;
  }
  for (int stage = 0; stage < kStages; ++stage)
    for (int s = 0; s < kStageStates; ++s) {
      DWORD v = 0;
      if (StageStateDefault(static_cast<DWORD>(stage), static_cast<DWORD>(s), v)) stageStates_[stage][s] = v;
    }
  transforms_.fill(Identity());
  viewport_ = {0, 0, targetWidth_, targetHeight_, 0.0f, 1.0f};
}

Device::~Device() {
  Settle();
  for (IDirectDrawSurface7* t : textures_)
    if (t) t->Release();
  target_->Release();
  owner_->Release();
}

raster::Viewport Device::FineViewport() const {
  const auto k = static_cast<uint32_t>(scale_);
  return {viewport_.dwX * k,
          viewport_.dwY * k,
          viewport_.dwWidth * k,
          viewport_.dwHeight * k,
          viewport_.dvMinZ,
          viewport_.dvMaxZ,
          k};
}

void Device::ReportGap(const std::string& what) { gaps_.Report(what); }

HRESULT Device::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (riid != IID_IUnknown && riid != IID_IDirect3DDevice7) return E_NOINTERFACE;
  AddRef();
  *ppv = static_cast<IDirect3DDevice7*>(this);
  return S_OK;
}

HRESULT Device::EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) {
  if (!callback) return DDERR_INVALIDPARAMS;
  for (int i = 0; i < kTextureFormatCount; ++i) {
    DDPIXELFORMAT f = TextureFormat(i);
    if (callback(&f, context) == D3DENUMRET_CANCEL) break;
  }
  return D3D_OK;
}

// ---- Scenes ------------------------------------------------------------------------------

HRESULT Device::BeginScene() {
  if (inScene_) return D3DERR_SCENE_IN_SCENE;
  if (target_->IsLost() != DD_OK) return DDERR_SURFACELOST;
  inScene_ = true;
  raster_->BeginBatch();
  return D3D_OK;
}

HRESULT Device::EndScene() {
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  inScene_ = false;
  Settle();
  raster_->EndBatch();
  return D3D_OK;
}

void Device::Pin(IDirectDrawSurface7* surface) {
  if (!surface) return;
  for (const ComRef<IDirectDrawSurface7>& p : pinned_)
    if (p.Get() == surface) return;
  pinned_.push_back(ComRef<IDirectDrawSurface7>::Share(surface));
  ddraw::AddPendingPixels(surface, this);
}

void Device::Settle() {
  raster_->Flush();
  for (const ComRef<IDirectDrawSurface7>& p : pinned_) ddraw::RemovePendingPixels(p.Get(), this);
  // Last: letting a surface go may end it.
  pinned_.clear();
}

// ---- Transforms, viewport, material, lights ------------------------------------------------

HRESULT Device::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX* matrix) {
  if (!matrix || !KnownTransform(state)) return DDERR_INVALIDPARAMS;
  transforms_[state] = *matrix;
  return D3D_OK;
}

HRESULT Device::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) {
  if (!matrix || !KnownTransform(state)) return DDERR_INVALIDPARAMS;
  *matrix = transforms_[state];
  return D3D_OK;
}

HRESULT Device::SetViewport(const D3DVIEWPORT7* viewport) {
  if (!viewport) return DDERR_INVALIDPARAMS;
  const D3DVIEWPORT7& v = *viewport;
  // The viewport must lie on the render target and its depth range inside [0, 1].
  if (v.dwWidth == 0 || v.dwHeight == 0) return DDERR_INVALIDPARAMS;
  if (uint64_t(v.dwX) + v.dwWidth > targetWidth_ || uint64_t(v.dwY) + v.dwHeight > targetHeight_)
    return DDERR_INVALIDPARAMS;
  if (!(v.dvMinZ >= 0.0f && v.dvMinZ <= 1.0f && v.dvMaxZ >= 0.0f && v.dvMaxZ <= 1.0f)) return DDERR_INVALIDPARAMS;
  viewport_ = v;
  return D3D_OK;
}

HRESULT Device::GetViewport(D3DVIEWPORT7* viewport) {
  if (!viewport) return DDERR_INVALIDPARAMS;
  *viewport = viewport_;
  return D3D_OK;
}

HRESULT Device::SetMaterial(const D3DMATERIAL7* material) {
  if (!material) return DDERR_INVALIDPARAMS;
  const D3DMATERIAL7& m = *material;
  if (!Finite(m.diffuse) || !Finite(m.ambient) || !Finite(m.specular) || !Finite(m.emissive) || !Finite(m.power))
    return DDERR_INVALIDPARAMS;
  material_ = m;
  return D3D_OK;
}

HRESULT Device::GetMaterial(D3DMATERIAL7* material) {
  if (!material) return DDERR_INVALIDPARAMS;
  *material = material_;
  return D3D_OK;
}

HRESULT Device::SetLight(DWORD index, const D3DLIGHT7* light) {
  if (!light || !ValidLight(*light)) return DDERR_INVALIDPARAMS;
  LightSlot& slot = lights_[index];
  slot.light = *light;
  if (slot.enabled) lightsDirty_ = true;
  return D3D_OK;
}

HRESULT Device::GetLight(DWORD index, D3DLIGHT7* light) {
  if (!light) return DDERR_INVALIDPARAMS;
  const auto it = lights_.find(index);
  if (it == lights_.end()) return DDERR_INVALIDPARAMS;
  *light = it->second.light;
  return D3D_OK;
}

HRESULT Device::LightEnable(DWORD index, BOOL enable) {
  auto it = lights_.find(index);
  if (it == lights_.end()) {
    // Switching on (or off) a light that was never set gives it the default light first.
    it = lights_.emplace(index, LightSlot{DefaultLight(), false}).first;
  }
  const bool on = enable != FALSE;
  if (it->second.enabled != on) {
    it->second.enabled = on;
    lightsDirty_ = true;
  }
  return D3D_OK;
}

HRESULT Device::GetLightEnable(DWORD index, BOOL* enable) {
  if (!enable) return DDERR_INVALIDPARAMS;
  const auto it = lights_.find(index);
  if (it == lights_.end()) return DDERR_INVALIDPARAMS;
  *enable = it->second.enabled ? TRUE : FALSE;
  return D3D_OK;
}

void Device::RebuildLights() {
  if (!lightsDirty_) return;
  // In index order, as the rasterizers expect; the vector keeps its memory between frames.
  enabledLights_.clear();
  for (const auto& [index, slot] : lights_)
    if (slot.enabled) enabledLights_.push_back(ToRaster(slot.light));
  lightsDirty_ = false;
  ++lightsVersion_;
}

// ---- States --------------------------------------------------------------------------------

HRESULT Device::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
  switch (CheckRenderState(state, value)) {
    case StateCheck::Ok:
      renderStates_[state] = value;
      return D3D_OK;
    case StateCheck::Unsupported:
      ReportGap(std::string(RenderStateName(state)) + " " + std::to_string(value));
      return DDERR_UNSUPPORTED;
    case StateCheck::Invalid:
      break;
  }
  return DDERR_INVALIDPARAMS;
}

HRESULT Device::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) {
  DWORD unused;
  if (!value || !RenderStateDefault(state, false, unused)) return DDERR_INVALIDPARAMS;
  *value = renderStates_[state];
  return D3D_OK;
}

HRESULT Device::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD value) {
  if (stage >= kStages) return DDERR_INVALIDPARAMS;
  switch (CheckStageState(stage, state, value)) {
    case StateCheck::Ok:
      stageStates_[stage][state] = value;
      // The old combined address state sets both directions.
      if (state == D3DTSS_ADDRESS) stageStates_[stage][D3DTSS_ADDRESSU] = stageStates_[stage][D3DTSS_ADDRESSV] = value;
      return D3D_OK;
    case StateCheck::Unsupported:
      ReportGap(std::string(StageStateName(state)) + " " + std::to_string(value) + " on stage " +
                std::to_string(stage));
      return DDERR_UNSUPPORTED;
    case StateCheck::Invalid:
      break;
  }
  return DDERR_INVALIDPARAMS;
}

HRESULT Device::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE state, DWORD* value) {
  DWORD unused;
  if (!value || stage >= kStages || !StageStateDefault(stage, state, unused)) return DDERR_INVALIDPARAMS;
  *value = stageStates_[stage][state];
  return D3D_OK;
}

HRESULT Device::SetTexture(DWORD stage, IDirectDrawSurface7* texture) {
  if (stage >= kStages) return DDERR_INVALIDPARAMS;
  if (texture) {
    // A surface made without the texture capability is accepted and binds nothing, as on
    // the platform: the stage then reads as having no texture.
    DDSCAPS2 caps{};
    if (FAILED(texture->GetCaps(&caps)) || !(caps.dwCaps & DDSCAPS_TEXTURE))
      texture = nullptr;
    else
      texture->AddRef();
  }
  if (textures_[stage]) textures_[stage]->Release();
  textures_[stage] = texture;
  return D3D_OK;
}

HRESULT Device::GetTexture(DWORD stage, IDirectDrawSurface7** texture) {
  if (!texture || stage >= kStages) return DDERR_INVALIDPARAMS;
  *texture = textures_[stage];
  if (*texture) (*texture)->AddRef();
  return D3D_OK;
}

void Device::FillFixedState(raster::State& s) {
  const auto rs = [this](D3DRENDERSTATETYPE state) { return renderStates_[state]; };
  s.world = ToMatrix(transforms_[D3DTRANSFORMSTATE_WORLD]);
  s.view = ToMatrix(transforms_[D3DTRANSFORMSTATE_VIEW]);
  s.projection = ToMatrix(transforms_[D3DTRANSFORMSTATE_PROJECTION]);
  s.viewport = FineViewport();
  s.material = {ToColor(material_.diffuse), ToColor(material_.ambient), ToColor(material_.specular),
                ToColor(material_.emissive), material_.power};

  raster::RenderStates& r = s.rs;
  r.lighting = rs(D3DRENDERSTATE_LIGHTING) != 0;
  r.ambient = rs(D3DRENDERSTATE_AMBIENT);
  r.shadeMode = static_cast<raster::ShadeMode>(rs(D3DRENDERSTATE_SHADEMODE));
  r.cullMode = static_cast<raster::CullMode>(rs(D3DRENDERSTATE_CULLMODE));
  r.zEnable = rs(D3DRENDERSTATE_ZENABLE) != D3DZB_FALSE;
  r.zWriteEnable = rs(D3DRENDERSTATE_ZWRITEENABLE) != 0;
  r.zFunc = static_cast<raster::CmpFunc>(rs(D3DRENDERSTATE_ZFUNC));
  r.alphaBlendEnable = rs(D3DRENDERSTATE_ALPHABLENDENABLE) != 0;
  r.srcBlend = static_cast<raster::Blend>(rs(D3DRENDERSTATE_SRCBLEND));
  r.destBlend = static_cast<raster::Blend>(rs(D3DRENDERSTATE_DESTBLEND));
  r.specularEnable = rs(D3DRENDERSTATE_SPECULARENABLE) != 0;
  r.localViewer = rs(D3DRENDERSTATE_LOCALVIEWER) != 0;
  r.colorVertex = rs(D3DRENDERSTATE_COLORVERTEX) != 0;
  r.normalizeNormals = rs(D3DRENDERSTATE_NORMALIZENORMALS) != 0;
  r.diffuseMaterialSource = static_cast<raster::MaterialSource>(rs(D3DRENDERSTATE_DIFFUSEMATERIALSOURCE));
  r.specularMaterialSource = static_cast<raster::MaterialSource>(rs(D3DRENDERSTATE_SPECULARMATERIALSOURCE));
  r.ambientMaterialSource = static_cast<raster::MaterialSource>(rs(D3DRENDERSTATE_AMBIENTMATERIALSOURCE));
  r.emissiveMaterialSource = static_cast<raster::MaterialSource>(rs(D3DRENDERSTATE_EMISSIVEMATERIALSOURCE));
  r.colorKeyEnable = rs(D3DRENDERSTATE_COLORKEYENABLE) != 0;
  r.ditherEnable = rs(D3DRENDERSTATE_DITHERENABLE) != 0;
  r.textureFactor = rs(D3DRENDERSTATE_TEXTUREFACTOR);

  const auto& t = stageStates_[0];
  raster::TextureStage& st = s.stage0;
  st.colorOp = static_cast<raster::TextureOp>(t[D3DTSS_COLOROP]);
  st.colorArg1 = t[D3DTSS_COLORARG1];
  st.colorArg2 = t[D3DTSS_COLORARG2];
  st.alphaOp = static_cast<raster::TextureOp>(t[D3DTSS_ALPHAOP]);
  st.alphaArg1 = t[D3DTSS_ALPHAARG1];
  st.alphaArg2 = t[D3DTSS_ALPHAARG2];
  st.magFilter = static_cast<raster::TextureFilter>(t[D3DTSS_MAGFILTER]);
  st.minFilter = static_cast<raster::TextureFilter>(t[D3DTSS_MINFILTER]);
  st.addressU = static_cast<raster::TextureAddress>(t[D3DTSS_ADDRESSU]);
  st.addressV = static_cast<raster::TextureAddress>(t[D3DTSS_ADDRESSV]);
  st.texCoordIndex = t[D3DTSS_TEXCOORDINDEX] & 0xFFFF;
  if (!textures_[0]) PassCurrentWhereTextureIsRead(st);

  RebuildLights();
  s.lights = enabledLights_;
  s.lightsVersion = lightsVersion_;
}

// ---- Clearing and drawing ------------------------------------------------------------------

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
  constexpr DWORD kKnown = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
  if (flags == 0 || (flags & ~kKnown)) return DDERR_INVALIDPARAMS;
  const bool clearDepth = (flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) != 0;
  if ((flags & D3DCLEAR_ZBUFFER) && !(z >= 0.0f && z <= 1.0f)) return DDERR_INVALIDPARAMS;

  raster::State state;
  state.viewport = FineViewport();

  std::optional<SurfaceLock> targetLock;
  if (flags & D3DCLEAR_TARGET) {
    targetLock.emplace(target_);
    if (FAILED(targetLock->Result())) return targetLock->Result();
    const raster::PixelFormat format = ColorFormatOf(targetLock->Desc().ddpfPixelFormat);
    if (!raster::IsRenderTargetFormat(format)) return DDERR_INVALIDPIXELFORMAT;
    state.target = TargetOf(targetLock->Desc(), format);
  }

  ComRef<IDirectDrawSurface7> zbuffer;
  std::optional<SurfaceLock> depthLock;
  if (clearDepth) {
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_ZBUFFER;
    if (FAILED(target_->GetAttachedSurface(&caps, zbuffer.Put())) || !zbuffer) return D3DERR_ZBUFFER_NOTPRESENT;
    depthLock.emplace(zbuffer.Get());
    if (FAILED(depthLock->Result())) return depthLock->Result();
    const DDSURFACEDESC2& d = depthLock->Desc();
    const raster::DepthFormat format = DepthFormatOf(d.ddpfPixelFormat);
    if (format == raster::DepthFormat::None) return DDERR_INVALIDPIXELFORMAT;
    if ((flags & D3DCLEAR_STENCIL) && format != raster::DepthFormat::D24S8) return D3DERR_STENCILBUFFER_NOTPRESENT;
    state.depth = {format, d.dwWidth, d.dwHeight, d.lPitch, d.lpSurface};
  }

  // Rectangles are clipped to the viewport; no list (whatever the count says) clears all of it.
  clearRects_.clear();
  const auto fine = [k = int64_t{scale_}](LONG v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v * k, INT32_MIN, INT32_MAX));
  };
  for (DWORD i = 0; rects && i < count; ++i)
    clearRects_.push_back({fine(rects[i].x1), fine(rects[i].y1), fine(rects[i].x2), fine(rects[i].y2)});
  return ToHResult(raster_->Clear(state, clearRects_, flags, color, z, stencil));
}

HRESULT Device::DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* buffer, DWORD startVertex,
                                       DWORD numVertices, const WORD* indices, DWORD indexCount, DWORD flags) {
  (void)flags;  // clipping is always done; waiting and extents make no difference here
  if (!inScene_) return D3DERR_SCENE_NOT_IN_SCENE;
  if (type < D3DPT_POINTLIST || type > D3DPT_TRIANGLEFAN) return D3DERR_INVALIDPRIMITIVETYPE;
  if (type != D3DPT_TRIANGLELIST) {
    ReportGap("DrawIndexedPrimitiveVB of primitive type " + std::to_string(type));
    return DDERR_UNSUPPORTED;
  }
  VertexBuffer* vb = buffer ? VertexBuffer::From(buffer) : nullptr;
  if (!vb || !indices || indexCount == 0 || numVertices == 0) return DDERR_INVALIDPARAMS;
  if (vb->Locked()) return D3DERR_VERTEXBUFFERLOCKED;
  if (uint64_t(startVertex) + numVertices > vb->Count()) return DDERR_INVALIDPARAMS;

  raster::State state;
  FillFixedState(state);

  SurfaceLock targetLock(target_);
  if (FAILED(targetLock.Result())) return targetLock.Result();
  const raster::PixelFormat format = ColorFormatOf(targetLock.Desc().ddpfPixelFormat);
  if (!raster::IsRenderTargetFormat(format)) return DDERR_INVALIDPIXELFORMAT;
  state.target = TargetOf(targetLock.Desc(), format);

  ComRef<IDirectDrawSurface7> zbuffer;
  std::optional<SurfaceLock> depthLock;
  {
    DDSCAPS2 caps{};
    caps.dwCaps = DDSCAPS_ZBUFFER;
    if (FAILED(target_->GetAttachedSurface(&caps, zbuffer.Put()))) zbuffer.Reset();
  }
  if (zbuffer) {
    depthLock.emplace(zbuffer.Get());
    if (FAILED(depthLock->Result())) return depthLock->Result();
    const DDSURFACEDESC2& d = depthLock->Desc();
    const raster::DepthFormat depthFormat = DepthFormatOf(d.ddpfPixelFormat);
    if (depthFormat == raster::DepthFormat::None) return DDERR_INVALIDPIXELFORMAT;
    state.depth = {depthFormat, d.dwWidth, d.dwHeight, d.lPitch, d.lpSurface};
  } else if (state.rs.zEnable) {
    return D3DERR_ZBUFFER_NOTPRESENT;
  }

  std::optional<SurfaceLock> textureLock;
  raster::Texture texture;
  if (IDirectDrawSurface7* t = textures_[0]) {
    textureLock.emplace(t);
    if (FAILED(textureLock->Result())) return textureLock->Result();
    const DDSURFACEDESC2& d = textureLock->Desc();
    texture.format = ColorFormatOf(d.ddpfPixelFormat);
    if (texture.format == raster::PixelFormat::Unknown) return DDERR_INVALIDPIXELFORMAT;
    texture.width = d.dwWidth;
    texture.height = d.dwHeight;
    texture.pitch = d.lPitch;
    texture.pixels = d.lpSurface;
    texture.hasColorKey = (d.dwFlags & DDSD_CKSRCBLT) != 0;
    texture.colorKeyLow = d.ddckCKSrcBlt.dwColorSpaceLowValue;
    texture.colorKeyHigh = d.ddckCKSrcBlt.dwColorSpaceHighValue;
    state.texture = &texture;
  }

  const raster::VertexData vertices{vb->Data() + std::size_t(startVertex) * vb->Stride(), vb->Stride(), vb->Fvf(),
                                    numVertices};
  const raster::Result drawn =
      raster_->DrawIndexedTriangleList(state, vertices, std::span<const uint16_t>(indices, indexCount));
  if (drawn == raster::Result::Ok) {
    Pin(target_);
    Pin(zbuffer.Get());
    Pin(textures_[0]);
  }
  return ToHResult(drawn);
}

}  // namespace d3d::detail
