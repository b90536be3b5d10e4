// Arbitrary bytes as a mesh image, loaded through TSXMesh::LoadFromStream at a small
// offset into the stream (the first byte picks it), then drawn. A broken file ends the
// program in an orderly way (rtl::EHalt) or fails in the header reads (rtl::EReadError);
// both are expected here. Everything else, and any draw that would make the device read
// outside its vertex buffer or leaves a vertex buffer unreleased, is a fault.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "SXlib/TSXMesh.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/d3d/D3D7.h"
#include "platform/rtl/Classes.h"

namespace {

[[noreturn]] void Fault(const char* what) {
  std::fprintf(stderr, "fuzz_sx: %s\n", what);
  std::abort();
}

// Bytes per vertex of a flexible vertex format, worked out here on its own so that the
// loader's stride is checked against an independent count; 0 for no valid format.
size_t FormatBytes(DWORD fvf) {
  static constexpr size_t kPosition[8] = {0, 12, 16, 16, 20, 24, 28, 32};
  const size_t position = kPosition[(fvf & D3DFVF_POSITION_MASK) >> 1];
  if (position == 0) return 0;
  size_t n = position;
  if (fvf & D3DFVF_NORMAL) n += 12;
  if (fvf & D3DFVF_RESERVED1) n += 4;
  if (fvf & D3DFVF_DIFFUSE) n += 4;
  if (fvf & D3DFVF_SPECULAR) n += 4;
  const DWORD sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (sets > 8) return 0;
  for (DWORD i = 0; i < sets; ++i) {
    static constexpr size_t kFloats[4] = {2, 3, 4, 1};
    n += 4 * kFloats[(fvf >> (16 + 2 * i)) & 3];
  }
  return n;
}

class Buffer final : public IDirect3DVertexBuffer7 {
 public:
  Buffer(DWORD vertices, size_t stride) : vertices_(vertices), stride_(stride), data_(vertices * stride) {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    if (refs_ == 0) Fault("vertex buffer released more often than referenced");
    return --refs_;
  }
  HRESULT Lock(DWORD, void** p, DWORD*) override {
    if (optimized_) return D3DERR_VERTEXBUFFEROPTIMIZED;
    // An empty buffer still hands out a distinct address, as a real allocation would.
    *p = data_.empty() ? static_cast<void*>(&refs_) : data_.data();
    return D3D_OK;
  }
  HRESULT Unlock() override { return D3D_OK; }
  HRESULT Optimize(IDirect3DDevice7*, DWORD) override {
    optimized_ = true;
    return D3D_OK;
  }
  HRESULT GetVertexBufferDesc(D3DVERTEXBUFFERDESC*) override { return E_NOTIMPL; }

  DWORD Vertices() const { return vertices_; }
  ULONG Refs() const { return refs_; }

 private:
  DWORD vertices_;
  size_t stride_;
  std::vector<unsigned char> data_;
  ULONG refs_ = 1;
  bool optimized_ = false;
};

class Device final : public IDirect3DDevice7, public IDirect3D7 {
 public:
  std::vector<std::unique_ptr<Buffer>> buffers;

  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return 1; }
  ULONG Release() override { return 1; }
  HRESULT CreateDevice(REFGUID, IDirectDrawSurface7*, IDirect3DDevice7**) override { return E_NOTIMPL; }
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* d, IDirect3DVertexBuffer7** out, DWORD) override {
    const size_t stride = FormatBytes(d->dwFVF);
    // As the platform does: no buffer for an unknown format or more vertices than it allows.
    if (stride == 0 || d->dwNumVertices > D3DMAXNUMVERTICES) return D3DERR_INVALIDVERTEXTYPE;
    buffers.push_back(std::make_unique<Buffer>(d->dwNumVertices, stride));
    *out = buffers.back().get();
    return D3D_OK;
  }
  HRESULT EnumZBufferFormats(REFGUID, LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return D3D_OK; }
  HRESULT EnumTextureFormats(LPD3DENUMPIXELFORMATSCALLBACK, void*) override { return D3D_OK; }
  HRESULT BeginScene() override { return D3D_OK; }
  HRESULT EndScene() override { return D3D_OK; }
  HRESULT Clear(DWORD, const D3DRECT*, DWORD, D3DCOLOR, float, DWORD) override { return D3D_OK; }
  HRESULT SetTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return D3D_OK; }
  HRESULT GetTransform(D3DTRANSFORMSTATETYPE, D3DMATRIX*) override { return D3D_OK; }
  HRESULT SetViewport(const D3DVIEWPORT7*) override { return D3D_OK; }
  HRESULT GetViewport(D3DVIEWPORT7*) override { return D3D_OK; }
  HRESULT SetMaterial(const D3DMATERIAL7*) override { return D3D_OK; }
  HRESULT GetMaterial(D3DMATERIAL7*) override { return D3D_OK; }
  HRESULT SetLight(DWORD, const D3DLIGHT7*) override { return D3D_OK; }
  HRESULT GetLight(DWORD, D3DLIGHT7*) override { return D3D_OK; }
  HRESULT LightEnable(DWORD, BOOL) override { return D3D_OK; }
  HRESULT GetLightEnable(DWORD, BOOL*) override { return D3D_OK; }
  HRESULT SetRenderState(D3DRENDERSTATETYPE, DWORD) override { return D3D_OK; }
  HRESULT GetRenderState(D3DRENDERSTATETYPE, DWORD*) override { return D3D_OK; }
  HRESULT SetTexture(DWORD, IDirectDrawSurface7*) override { return D3D_OK; }
  HRESULT GetTexture(DWORD, IDirectDrawSurface7**) override { return D3D_OK; }
  HRESULT SetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD) override { return D3D_OK; }
  HRESULT GetTextureStageState(DWORD, D3DTEXTURESTAGESTATETYPE, DWORD*) override { return D3D_OK; }
  // Checks what a device would read: the index list and every vertex it names.
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* vb, DWORD start, DWORD count,
                                 const WORD* indices, DWORD indexCount, DWORD) override {
    if (type != D3DPT_TRIANGLELIST) Fault("draw of a primitive type other than a triangle list");
    Buffer* buffer = nullptr;
    for (auto& b : buffers)
      if (b.get() == vb) buffer = b.get();
    if (!buffer || buffer->Refs() == 0) Fault("draw from a vertex buffer that is not alive");
    if (uint64_t(start) + count > buffer->Vertices()) Fault("draw range past the vertex buffer");
    // A count that is not a multiple of three is legal: the device ignores the incomplete
    // triangle at the end (the file format does not promise whole triangles).
    if (indexCount == 0 || !indices) Fault("draw with an empty index list");
    volatile WORD sink = 0;
    for (DWORD i = 0; i < indexCount; ++i) {
      sink = sink ^ indices[i];  // reading every index lets the sanitizer see the list's end
      if (indices[i] >= count) Fault("index past the vertices of the draw");
    }
    return D3D_OK;
  }
};

struct Setup {
  Setup() {
    // Halt on a bad file but write no log: a file per input would only slow the run down.
    KilnDebugUnit().SetSwitches(ddoHaltOnError);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Setup setup;
  if (size == 0) return 0;
  Device device;
  {
    TKiln kiln;
    kiln.Direct3D = &device;
    kiln.D3DDevice = &device;
    const int64_t offset = data[0] % 8;
    rtl::TMemoryStream stream;
    if (size > 1) stream.WriteBuffer(data + 1, static_cast<int64_t>(size - 1));
    stream.SetPosition(std::min<int64_t>(offset, stream.Size()));
    TSXMesh mesh(&kiln);
    bool loaded = false;
    try {
      mesh.LoadFromStream(stream);
      loaded = true;
    } catch (const rtl::EHalt&) {
    } catch (const rtl::EReadError&) {
    }
    if (loaded) {
      if (mesh.Indices.size() != mesh.IndexCount) Fault("index array does not hold IndexCount entries");
      if (stream.Position() !=
          offset + 256 + int64_t(mesh.VertexCount) * mesh.VertexSize + 2 * int64_t(mesh.IndexCount))
        Fault("stream does not stand just after the index list");
      mesh.Optimize();
      mesh.Draw(0);
      // Loading the same image again replaces the buffer; the old one must be released.
      stream.SetPosition(offset);
      try {
        mesh.LoadFromStream(stream);
      } catch (const rtl::EHalt&) {
        Fault("an image that loaded once does not load again");
      }
      mesh.Draw(0);
    }
  }
  for (const auto& b : device.buffers)
    if (b->Refs() != 0) Fault("vertex buffer left with a reference after the mesh is gone");
  return 0;
}
