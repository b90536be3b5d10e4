#include "SXlib/TSXMesh.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/Classes.h"

namespace {

constexpr char kMagic0[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '0', ' ', ' '};
constexpr char kMagic1[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '1', ' ', ' '};
constexpr DWORD DDLOCK_WAIT_FLAG = 1;

// Size in bytes of one vertex of a flexible vertex format, or 0 for a code that is no format.
int32_t FvfSize(uint32_t fvf) {
  int32_t size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ: size = 12; break;
    case D3DFVF_XYZRHW: size = 16; break;
    case D3DFVF_XYZB1: size = 16; break;
    case D3DFVF_XYZB2: size = 20; break;
    case D3DFVF_XYZB3: size = 24; break;
    case D3DFVF_XYZB4: size = 28; break;
    case D3DFVF_XYZB5: size = 32; break;
    default: return 0;
  }
  if (fvf & D3DFVF_NORMAL) size += 12;
  if (fvf & D3DFVF_RESERVED1) size += 4;
  if (fvf & D3DFVF_DIFFUSE) size += 4;
  if (fvf & D3DFVF_SPECULAR) size += 4;
  uint32_t texCount = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (texCount > 8) return 0;
  // Texture coordinate sets are two floats each unless the format's size bits say otherwise.
  for (uint32_t i = 0; i < texCount; ++i) {
    uint32_t sizeBits = (fvf >> (16 + 2 * i)) & 3;
    static constexpr int32_t kCoords[4] = {2, 3, 4, 1};
    size += 4 * kCoords[sizeBits];
  }
  return size;
}

[[noreturn]] void Fatal(const std::string& message) {
  KilnLog(message);
  rtl::Halt(1);
}

// Reading vertices and indices failed in some way: one message for every cause.
struct StreamReadFailure {};

}  // namespace

TSXMesh::TSXMesh(TKiln* device) : Device(device) {}

TSXMesh::~TSXMesh() {
  if (VertexBuffer) VertexBuffer->Release();
}

void TSXMesh::LoadFromFile(const std::string& fileName) {
  std::unique_ptr<rtl::TFileStream> file;
  try {
    file = std::make_unique<rtl::TFileStream>(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  } catch (const rtl::EFOpenError&) {
    Fatal("SXLib: " + fileName + " が、開けません");
  }
  LoadFromStream(*file);
}

void TSXMesh::LoadFromStream(rtl::TStream& stream) {
  const int64_t start = stream.Position();
  char magic[16];
  stream.ReadBuffer(magic, 16);
  uint16_t vertexCount = 0, indexCount = 0;
  if (std::memcmp(magic, kMagic0, 16) == 0) {
    VertexSize = 40;
    VertexFormat = 0x1D2;
    stream.ReadBuffer(&vertexCount, 2);
    stream.ReadBuffer(&indexCount, 2);
  } else if (std::memcmp(magic, kMagic1, 16) == 0) {
    stream.ReadBuffer(&vertexCount, 2);
    stream.ReadBuffer(&indexCount, 2);
    stream.ReadBuffer(&VertexFormat, 4);
    stream.ReadBuffer(&VertexSize, 4);
  } else {
    Fatal("SXLib: 不正なSXファイルです");
  }

  try {
    // A stride that is not the format's vertex size, or data the stream does not hold,
    // is a broken file: reject it before any buffer is made or written.
    const int32_t formatSize = FvfSize(VertexFormat);
    if (formatSize == 0 || VertexSize != formatSize) throw StreamReadFailure{};
    const int64_t vertexBytes = int64_t(vertexCount) * VertexSize;
    const int64_t indexBytes = int64_t(indexCount) * 2;
    if (indexCount == 0 || stream.Size() - (start + 256) < vertexBytes + indexBytes) throw StreamReadFailure{};
  } catch (const StreamReadFailure&) {
    Fatal("SXLib: ストリームからの読み込み中にエラーが発生しました");
  }

  SetSize(vertexCount, indexCount);
  stream.SetPosition(start + 256);
  try {
    void* data = Lock();
    if (!data) throw StreamReadFailure{};
    stream.ReadBuffer(data, int64_t(VertexCount) * VertexSize);
    Unlock();
    if (IndexCount == 0) throw StreamReadFailure{};
    stream.ReadBuffer(Indices.data(), int64_t(IndexCount) * 2);
    // Indices past the vertices would make the device read outside the buffer.
    for (uint16_t index : Indices)
      if (index >= VertexCount) throw StreamReadFailure{};
  } catch (const rtl::EHalt&) {
    throw;
  } catch (...) {
    Fatal("SXLib: ストリームからの読み込み中にエラーが発生しました");
  }
}

void TSXMesh::SetSize(uint16_t vertexCount, uint16_t indexCount) {
  VertexCount = vertexCount;
  IndexCount = indexCount;
  if (VertexBuffer) {
    VertexBuffer->Release();
    VertexBuffer = nullptr;
  }
  D3DVERTEXBUFFERDESC desc{};
  desc.dwSize = 16;
  desc.dwCaps = Device->DeviceKind == TKilnDeviceKind::dkTnLHAL ? 0 : D3DVBCAPS_SYSTEMMEMORY;
  desc.dwFVF = VertexFormat;
  desc.dwNumVertices = vertexCount;
  if (Device->Direct3D) Device->Direct3D->CreateVertexBuffer(&desc, &VertexBuffer, 0);
  Indices.assign(indexCount, 0);
}

void* TSXMesh::Lock() {
  locked_ = nullptr;
  if (!VertexBuffer || FAILED(VertexBuffer->Lock(DDLOCK_WAIT_FLAG, &locked_, nullptr))) {
    Fatal("SXLib: VertexBufferがロックできません");
  }
  return locked_;
}

void TSXMesh::Unlock() {
  if (!VertexBuffer || FAILED(VertexBuffer->Unlock())) Fatal("SXLib: VertexBufferがアンロックできません");
  locked_ = nullptr;
}

void TSXMesh::Optimize() {
  if (VertexBuffer && Device->D3DDevice) VertexBuffer->Optimize(Device->D3DDevice, 0);
}

void TSXMesh::Draw(DWORD flags) {
  if (!VertexBuffer || !Device->D3DDevice) return;
  for (uint32_t first = 0; first < IndexCount; first += 65535) {
    uint32_t n = std::min<uint32_t>(65535, IndexCount - first);
    Device->D3DDevice->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, VertexBuffer, 0, VertexCount,
                                              Indices.data() + first, n, flags);
  }
}
