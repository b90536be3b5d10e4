// A Direct3D device that records every call as a line of text, for tests of the
// order and the values the scene library sends.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/d3d/D3D7.h"
#include "platform/ddraw/DDraw.h"

namespace sxtest {

class RecordingVertexBuffer final : public IDirect3DVertexBuffer7 {
 public:
  explicit RecordingVertexBuffer(const D3DVERTEXBUFFERDESC& d, size_t stride)
      : desc(d), data(d.dwNumVertices * stride) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override {
    ULONG r = --refs;
    if (r == 0) released = true;
    return r;
  }
  HRESULT Lock(DWORD, void** p, DWORD*) override {
    if (optimized || failLock) return D3DERR_VERTEXBUFFEROPTIMIZED;
    *p = data.data();
    return D3D_OK;
  }
  HRESULT Unlock() override { return D3D_OK; }
  HRESULT Optimize(IDirect3DDevice7*, DWORD) override {
    optimized = true;
    return D3D_OK;
  }
  HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC* d) override {
    *d = desc;
    return D3D_OK;
  }
  D3DVERTEXBUFFERDESC desc;
  std::vector<unsigned char> data;
  ULONG refs = 1;
  bool released = false;
  bool optimized = false;
  bool failLock = false;
};

class RecordingDevice final : public IDirect3DDevice7, public IDirect3D7 {
 public:
  std::vector<std::string> calls;
  std::vector<std::unique_ptr<RecordingVertexBuffer>> buffers;
  D3DMATRIX lastWorld{};
  D3DMATRIX lastProjection{};
  D3DVIEWPORT7 lastViewport{};
  D3DRECT lastClear{};
  std::vector<D3DLIGHT7> lights = std::vector<D3DLIGHT7>(256);

  void Log(const std::string& s) { calls.push_back(s); }
  static std::string N(unsigned long long v) { return std::to_string(v); }

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

  // IDirect3D7
  HRESULT CreateDevice(REFGUID, IDirectDrawSurface7*, IDirect3DDevice7**) override { return E_NOTIMPL; }
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* d, IDirect3DVertexBuffer7** out, DWORD) override {
    Log("CreateVertexBuffer caps=" + N(d->dwCaps) + " fvf=" + N(d->dwFVF) + " n=" + N(d->dwNumVertices));
    buffers.push_back(std::make_unique<RecordingVertexBuffer>(*d, 64));
    *out = buffers.back().get();
    return D3D_OK;
  }
  HRESULT EnumZBufferFormats(REFGUID, LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return E_NOTIMPL; }

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
  HRESULT BeginScene() override { return D3D_OK; }
  HRESULT EndScene() override { return D3D_OK; }
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
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  HRESULT SetViewport(const D3DVIEWPORT7* v) override {
    lastViewport = *v;
    Log("SetViewport");
    return D3D_OK;
  }
  HRESULT GetViewport(D3DVIEWPORT7*) override { return E_NOTIMPL; }
  HRESULT SetMaterial(const D3DMATERIAL7* m) override {
    Log("SetMaterial power=" + std::to_string(m->power));
    return D3D_OK;
  }
  HRESULT GetMaterial(D3DMATERIAL7*) override { return E_NOTIMPL; }
  HRESULT SetLight(DWORD i, const D3DLIGHT7* l) override {
    if (i < lights.size()) lights[i] = *l;
    Log("SetLight " + N(i));
    return D3D_OK;
  }
  HRESULT GetLight(DWORD, D3DLIGHT7*) override { return E_NOTIMPL; }
  HRESULT LightEnable(DWORD i, BOOL e) override {
    Log("LightEnable " + N(i) + " " + std::to_string(e));
    return D3D_OK;
  }
  HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE s, DWORD v) override {
    Log("RS " + N(s) + "=" + N(v));
    return D3D_OK;
  }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT SetTexture(DWORD stage, IDirectDrawSurface7* t) override {
    Log("SetTexture " + N(stage) + " " + (t ? "surface" + N(reinterpret_cast<uintptr_t>(t) & 0xFFFF) : "none"));
    return D3D_OK;
  }
  HRESULT GetTexture(DWORD, IDirectDrawSurface7**) override { return E_NOTIMPL; }
  HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE s, DWORD v) override {
    Log("TSS " + N(stage) + " " + N(s) + "=" + N(v));
    return D3D_OK;
  }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
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
