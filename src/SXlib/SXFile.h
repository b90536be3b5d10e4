// The ".sx" mesh file, read for checking: what is wrong with a file before the mesh
// loader would halt the program over it.
#pragma once

#include <cstdint>
#include <string>

namespace rtl {
class TStream;
}

// Bytes of one vertex of a flexible vertex format; 0 for a code that is no format.
int32_t SxVertexSize(uint32_t fvf);

// Words for the problems the mesh loader halts on.
namespace sxproblem {
inline constexpr const char* kHeaderCut = "is cut short inside its header";
inline constexpr const char* kNotSx =
    "is not an SX mesh (it does not start with \"Simplified_X00  \" or \"Simplified_X01  \")";
inline constexpr const char* kNoTriangles = "has no triangles (its index count is 0)";
inline constexpr const char* kBadIndex = "has a triangle corner past its last vertex";
std::string BadStride(uint32_t format, int32_t vertexSize);
std::string DataCut(int64_t holds, int64_t needs);
}  // namespace sxproblem

// Reads one mesh image from the stream's position and says what is wrong with it;
// empty when the mesh loader takes it.
std::string CheckSxImage(rtl::TStream& stream);
// The same for a file, refusing it first as the data limits say.
std::string CheckSxFile(const std::string& path);
