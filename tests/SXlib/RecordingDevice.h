// A Direct3D device that records every call as a line of text, for tests of the
// order and the values the scene library sends.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/NullD3DDevice.h"

namespace sxtest {

class RecordingDevice final : public d3dtest::NullDevice {
 public:
  std::vector<std::string> calls;
  D3DMATRIX lastWorld{};
  D3DMATRIX lastProjection{};
  D3DVIEWPORT7 lastViewport{};
  D3DRECT lastClear{};
  std::vector<D3DLIGHT7> lights = std::vector<D3DLIGHT7>(256);

  void Log(const std::string& s) { calls.push_back(s); }
  static std::string N(unsigned long long v) { return std::to_string(v); }

  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* d, IDirect3DVertexBuffer7** out, DWORD) override {
    Log("CreateVertexBuffer caps=" + N(d->dwCaps) + " fvf=" + N(d->dwFVF) + " n=" + N(d->dwNumVertices));
    *out = AddBuffer(*d, 64);
    return D3D_OK;
  }

  // IDirect3DDevice7
  // The formats EnumTextureFormats offers, in order.
  std::vector<DDPIXELFORMAT> textureFormats;
  int formatsEnumerated = 0;
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK callback, void* context) override {
    for (DDPIXELFORMAT f : textureFormats) {
      ++formatsEnumerated;
      if (callback(&f, context) == D3DENUMRET_CANCEL) break;
    }
    return D3D_OK;
  }
  HRESULT Clear(DWORD count, const D3DRECT* r, DWORD flags, D3DCOLOR c, float, DWORD) override {
    if (count) lastClear = r[0];
    Log("Clear " + N(count) + " flags=" + N(flags) + " color=" + N(c));
    return D3D_OK;
  }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE s, const D3DMATRIX* m) override {
    if (s == D3DTRANSFORMSTATE_WORLD) lastWorld = *m;
    if (s == D3DTRANSFORMSTATE_PROJECTION) lastProjection = *m;
    Log("SetTransform " + N(s));
    return D3D_OK;
  }
  HRESULT SetViewport(const D3DVIEWPORT7* v) override {
    lastViewport = *v;
    Log("SetViewport");
    return D3D_OK;
  }
  HRESULT SetMaterial(const D3DMATERIAL7* m) override {
    Log("SetMaterial power=" + std::to_string(m->power));
    return D3D_OK;
  }
  HRESULT SetLight(DWORD i, const D3DLIGHT7* l) override {
    if (i < lights.size()) lights[i] = *l;
    Log("SetLight " + N(i));
    return D3D_OK;
  }
  HRESULT LightEnable(DWORD i, BOOL e) override {
    Log("LightEnable " + N(i) + " " + std::to_string(e));
    return D3D_OK;
  }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    Log("RS " + N(s) + "=" + N(v));
    return D3D_OK;
  }
  HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* t) override {
    Log("SetTexture " + N(stage) + " " + (t ? "surface" + N(reinterpret_cast<uintptr_t>(t) & 0xFFFF) : "none"));
    return D3D_OK;
  }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s, DWORD v) override {
    Log("TSS " + N(stage) + " " + N(s) + "=" + N(v));
    return D3D_OK;
  }
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE t, IDirect3DVertexBuffer7*, DWORD start, DWORD nv, const WORD*,
                                 DWORD ni, DWORD flags) override {
    Log("Draw " + N(t) + " " + N(start) + " " + N(nv) + " " + N(ni) + " " + N(flags));
    return D3D_OK;
  }

  // Calls whose text starts with the prefix, in order.
  std::vector<std::string> Matching(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) out.push_back(c);
    return out;
  }
};

}  // namespace sxtest
