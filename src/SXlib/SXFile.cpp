#include "SXlib/SXFile.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/DataFiles.h"
#include "platform/d3d/D3D7.h"
#include "platform/rtl/Classes.h"

namespace {

constexpr char kMagic0[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '0', ' ', ' '};
constexpr char kMagic1[16] = {'S', 'i', 'm', 'p', 'l', 'i', 'f', 'i', 'e', 'd', '_', 'X', '0', '1', ' ', ' '};

}  // namespace

int32_t SxVertexSize(uint32_t fvf) {
  int32_t size = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZ:
      size = 12;
      break;
    case D3DFVF_XYZRHW:
      size = 16;
      break;
    case D3DFVF_XYZB1:
      size = 16;
      break;
    case D3DFVF_XYZB2:
      size = 20;
      break;
    case D3DFVF_XYZB3:
      size = 24;
      break;
    case D3DFVF_XYZB4:
      size = 28;
      break;
    case D3DFVF_XYZB5:
      size = 32;
      break;
    default:
      return 0;
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

namespace sxproblem {

std::string BadStride(uint32_t format, int32_t vertexSize) {
  char text[160];
  std::snprintf(text, sizeof text, "gives %d bytes a vertex, which is not the size of its vertex format 0x%X",
                static_cast<int>(vertexSize), static_cast<unsigned>(format));
  return text;
}

std::string DataCut(int64_t holds, int64_t needs) {
  return "is cut short: its vertices and triangles need " + std::to_string(needs) +
         " bytes after the header, it holds " + std::to_string(holds < 0 ? 0 : holds);
}

}  // namespace sxproblem

std::string CheckSxImage(rtl::TStream& stream) {
  const int64_t start = stream.Position();
  char magic[16];
  uint16_t vertexCount = 0, indexCount = 0;
  uint32_t format = 0x1D2;
  int32_t vertexSize = 40;
  if (stream.Read(magic, 16) != 16) {
    return sxproblem::kHeaderCut;
  }
  const bool v0 = std::memcmp(magic, kMagic0, 16) == 0;
  const bool v1 = std::memcmp(magic, kMagic1, 16) == 0;
  if (!v0 && !v1) return sxproblem::kNotSx;
  if (stream.Read(&vertexCount, 2) != 2 || stream.Read(&indexCount, 2) != 2) return sxproblem::kHeaderCut;
  if (v1 && (stream.Read(&format, 4) != 4 || stream.Read(&vertexSize, 4) != 4)) return sxproblem::kHeaderCut;
  const int32_t formatSize = SxVertexSize(format);
  if (formatSize == 0 || vertexSize != formatSize) return sxproblem::BadStride(format, vertexSize);
  if (indexCount == 0) return sxproblem::kNoTriangles;
  const int64_t vertexBytes = int64_t(vertexCount) * vertexSize;
  const int64_t needs = vertexBytes + int64_t(indexCount) * 2;
  const int64_t holds = stream.Size() - (start + 256);
  if (holds < needs) return sxproblem::DataCut(holds, needs);
  std::vector<uint16_t> indices(indexCount);
  stream.SetPosition(start + 256 + vertexBytes);
  if (stream.Read(indices.data(), int64_t(indexCount) * 2) != int64_t(indexCount) * 2) {
    return sxproblem::DataCut(holds, needs);
  }
  for (uint16_t index : indices) {
    if (index >= vertexCount) return sxproblem::kBadIndex;
  }
  return {};
}

std::string CheckSxFile(const std::string& path) {
  if (std::string problem = data::ProbeProblem(path, data::TDataKind::Mesh); !problem.empty()) return problem;
  try {
    rtl::TFileStream file(path, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    return CheckSxImage(file);
  } catch (const rtl::EStreamError&) {
    return "cannot be opened";
  }
}
