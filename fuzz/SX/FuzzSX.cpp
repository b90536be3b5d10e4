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
#include "support/NullD3DDevice.h"

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

class Device final : public d3dtest::NullDevice {
 public:
  HRESULT CreateVertexBuffer(const D3DVERTEXBUFFERDESC* d, IDirect3DVertexBuffer7** out, DWORD) override {
    const size_t stride = FormatBytes(d->dwFVF);
    // As the platform does: no buffer for an unknown format or more vertices than it allows.
    if (stride == 0 || d->dwNumVertices > D3DMAXNUMVERTICES) return D3DERR_INVALIDVERTEXTYPE;
    *out = AddBuffer(*d, stride);
    return D3D_OK;
  }
  // Checks what a device would read: the index list and every vertex it names.
  HRESULT DrawIndexedPrimitiveVB(D3DPRIMITIVETYPE type, IDirect3DVertexBuffer7* vb, DWORD start, DWORD count,
                                 const WORD* indices, DWORD indexCount, DWORD) override {
    if (type != D3DPT_TRIANGLELIST) Fault("draw of a primitive type other than a triangle list");
    const d3dtest::VertexBuffer* buffer = Find(vb);
    if (!buffer || buffer->refs == 0) Fault("draw from a vertex buffer that is not alive");
    if (uint64_t(start) + count > buffer->desc.dwNumVertices) Fault("draw range past the vertex buffer");
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
    if (b->refs != 0 || b->overReleases != 0)
      Fault("vertex buffer left with a reference, or released too often, after the mesh is gone");
  return 0;
}
