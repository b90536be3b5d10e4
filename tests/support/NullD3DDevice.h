// A Direct3D device that takes every call and draws nothing, with vertex buffers that keep
// their bytes. Tests, benchmarks and fuzz targets of the scene library derive from it and
// override only the calls they watch (RecordingDevice logs them, the mesh fuzzer checks
// each draw against its buffer).
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "platform/d3d/D3D7.h"
#include "platform/ddraw/DDraw.h"

namespace d3dtest {

class VertexBuffer : public IDirect3DVertexBuffer7 {
 public:
  VertexBuffer(const D3DVERTEXBUFFERDESC& d, size_t stride) : desc(d), data(size_t(d.dwNumVertices) * stride) {}
  virtual ~VertexBuffer() = default;
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs; }
  // A release past the last reference is counted, not wrapped round.
  ULONG Release() override {
    if (refs == 0) {
      ++overReleases;
      return 0;
    }
    if (--refs == 0) released = true;
    return refs;
  }
  HRESULT Lock(DWORD, void** p, DWORD*) override {
    if (optimized || failLock) return D3DERR_VERTEXBUFFEROPTIMIZED;
    // An empty buffer still hands out a distinct address, as a real allocation would.
    *p = data.empty() ? static_cast<void*>(&refs) : data.data();
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
  int overReleases = 0;
  bool released = false;
  bool optimized = false;
  bool failLock = false;  // Lock fails as on an optimised buffer
};

// The device and its Direct3D object in one (the scene library asks the same object for both).
// Set calls succeed; Get calls have nothing to give (E_NOTIMPL); nothing is enumerated.
class NullDevice : public IDirect3DDevice7, public IDirect3D7 {
 public:
  virtual ~NullDevice() = default;
  // The buffers live as long as the device; the meshes only hold references.
  std::vector<std::unique_ptr<VertexBuffer>> buffers;

  // A buffer of `stride` bytes a vertex, kept in `buffers`.
  VertexBuffer* AddBuffer(const D3DVERTEXBUFFERDESC& d, size_t stride) {
    buffers.push_back(std::make_unique<VertexBuffer>(d, stride));
    return buffers.back().get();
  }
  // The buffer `vb` is, when this device made it.
  VertexBuffer* Find(IDirect3DVertexBuffer7* vb) const {
    for (const auto& b : buffers)
      if (b.get() == vb) return b.get();
    return nullptr;
  }

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }

  // IDirect3D7
  HRESULT CreateDevice(REFGUID, IDirectDrawSurface7*, IDirect3DDevice7**) override { return E_NOTIMPL; }
  // 64 bytes a vertex: room for any format the scene library uses.
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* d, IDirect3DVertexBuffer7** out, DWORD) override {
    *out = AddBuffer(*d, 64);
    return D3D_OK;
  }
  HRESULT EnumZBufferFormats(REFGUID, LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return D3D_OK; }

  // IDirect3DDevice7
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  HRESULT EndScene() override { return D3D_OK; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return D3D_OK; }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return E_NOTIMPL; }
  HRESULT SetViewport(const D3DVIEWPORT7*) override { return D3D_OK; }
  HRESULT GetViewport(D3DVIEWPORT7*) override { return E_NOTIMPL; }
  HRESULT SetMaterial(const D3DMATERIAL7*) override { return D3D_OK; }
  HRESULT GetMaterial(D3DMATERIAL7*) override { return E_NOTIMPL; }
  HRESULT SetLight(DWORD, const D3DLIGHT7*) override { return D3D_OK; }
  HRESULT GetLight(DWORD, D3DLIGHT7*) override { return E_NOTIMPL; }
  HRESULT LightEnable(DWORD, BOOL) override { return D3D_OK; }
  HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return D3D_OK; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT SetTexture(DWORD, IDirectDrawSurface7*) override { return D3D_OK; }
  HRESULT GetTexture(DWORD, IDirectDrawSurface7**) override { return E_NOTIMPL; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return D3D_OK; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return E_NOTIMPL; }
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE, IDirect3DVertexBuffer7*, DWORD, DWORD, const WORD*, DWORD,
                                 DWORD) override {
    return D3D_OK;
  }
};

}  // namespace d3dtest
