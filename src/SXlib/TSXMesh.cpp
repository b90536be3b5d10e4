#include "SXlib/TSXMesh.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "SXlib/SXFile.h"
#include "common/DataFiles.h"
#include "common/DataReport.h"
#include "kiln/KilnLog.h"
#include "kiln/TKiln.h"
#include "platform/rtl/Classes.h"

namespace {

constexpr char kMagic0[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '0', ' ', ' '};
constexpr char kMagic1[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '1', ' ', ' '};
constexpr DWORD DDLOCK_WAIT_FLAG = 1;

// Reading vertices and indices failed in some way: one log message for every cause,
// and the words for the player.
struct StreamReadFailure {
  std::string what;
};

}  // namespace

TSXMesh::TSXMesh(TKiln* device) : Device(device) {}

TSXMesh::~TSXMesh() {
  if (VertexBuffer) VertexBuffer->Release();
}

void TSXMesh::Fatal(const std::string& logLine, const std::string& what) {
  KilnLog(logLine);
  if (!loadingFile_.empty()) data::Stop(loadingFile_, what);
  rtl::Halt(data::kDataProblemExitCode);
}

void TSXMesh::LoadFromFile(const std::string& fileName) {
  // Refused by name before a byte is read: a folder, a device, a file far too big for a mesh.
  const std::string refused = data::ProbeProblem(fileName, data::TDataKind::Mesh);
  loadingFile_ = fileName;
  std::unique_ptr<rtl::TFileStream> file;
  try {
    if (!refused.empty()) throw rtl::EFOpenError(refused);
    file = std::make_unique<rtl::TFileStream>(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
  } catch (const rtl::EFOpenError&) {
    Fatal("SXLib: " + fileName + " が、開けません", refused.empty() ? "cannot be opened" : refused);
  }
  try {
    LoadFromStream(*file);
  } catch (const rtl::EReadError& e) {
    // The header ends before its last field: the stream's own error reaches the caller,
    // as it always has, now naming the file.
    loadingFile_.clear();
    throw rtl::EReadError(fileName + ": " + e.what());
  }
  loadingFile_.clear();
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
    Fatal("SXLib: 不正なSXファイルです", sxproblem::kNotSx);
  }

  try {
    // A stride that is not the format's vertex size, or data the stream does not hold,
    // is a broken file: reject it before any buffer is made or written.
    const int32_t formatSize = SxVertexSize(VertexFormat);
    if (formatSize == 0 || VertexSize != formatSize)
      throw StreamReadFailure{sxproblem::BadStride(VertexFormat, VertexSize)};
    const int64_t vertexBytes = int64_t(vertexCount) * VertexSize;
    const int64_t indexBytes = int64_t(indexCount) * 2;
    if (indexCount == 0) throw StreamReadFailure{sxproblem::kNoTriangles};
    const int64_t holds = stream.Size() - (start + 256);
    if (holds < vertexBytes + indexBytes) throw StreamReadFailure{sxproblem::DataCut(holds, vertexBytes + indexBytes)};
  } catch (const StreamReadFailure& failure) {
    Fatal("SXLib: ストリームからの読み込み中にエラーが発生しました", failure.what);
  }

  SetSize(vertexCount, indexCount);
  stream.SetPosition(start + 256);
  try {
    void* data = Lock();
    if (!data) throw StreamReadFailure{"cannot be held: the vertex buffer could not be locked"};
    stream.ReadBuffer(data, int64_t(VertexCount) * VertexSize);
    Unlock();
    if (IndexCount == 0) throw StreamReadFailure{sxproblem::kNoTriangles};
    stream.ReadBuffer(Indices.data(), int64_t(IndexCount) * 2);
    // Indices past the vertices would make the device read outside the buffer.
    for (uint16_t index : Indices)
      if (index >= VertexCount) throw StreamReadFailure{sxproblem::kBadIndex};
  } catch (const rtl::EHalt&) {
    throw;
  } catch (const StreamReadFailure& failure) {
    Fatal("SXLib: ストリームからの読み込み中にエラーが発生しました", failure.what);
  } catch (...) {
    Fatal("SXLib: ストリームからの読み込み中にエラーが発生しました", "is cut short or cannot be read");
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
    Fatal("SXLib: VertexBufferがロックできません", "cannot be held: the vertex buffer could not be locked");
  }
  return locked_;
}

void TSXMesh::Unlock() {
  if (!VertexBuffer || FAILED(VertexBuffer->Unlock())) {
    Fatal("SXLib: VertexBufferがアンロックできません", "cannot be held: the vertex buffer could not be unlocked");
  }
  locked_ = nullptr;
}

void TSXMesh::Optimize() {
  if (VertexBuffer && Device->D3DDevice) VertexBuffer->Optimize(Device->D3DDevice, 0);
}

void TSXMesh::Draw(DWORD flags) {
  if (!VertexBuffer || !Device->D3DDevice) return;
  for (uint32_t first = 0; first < IndexCount; first += 65535) {
    uint32_t n = std::min<uint32_t>(65535, IndexCount - first);
    Device->D3DDevice->DrawIndexedPrimitiveVB(D3DPT_TRIANGLELIST, VertexBuffer, 0, VertexCount, Indices.data() + first,
                                              n, flags);
  }
}
