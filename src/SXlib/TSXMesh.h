// The scene library's geometry: one vertex buffer with every vertex of a model and
// one array of 16-bit indices forming a triangle list, loaded from ".sx" files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d/D3D7.h"

class TKiln;
namespace rtl {
class TStream;
}

class TSXMesh {
 public:
  explicit TSXMesh(TKiln* device);
  ~TSXMesh();
  TSXMesh(const TSXMesh&) = delete;
  TSXMesh& operator=(const TSXMesh&) = delete;

  TKiln* Device;
  IDirect3DVertexBuffer7* VertexBuffer = nullptr;
  uint16_t IndexCount = 0;
  uint16_t VertexCount = 0;
  int32_t VertexSize = 40;
  uint32_t VertexFormat = 0x1D2;
  std::vector<uint16_t> Indices;

  // A file that cannot be read as a mesh ends the program (after its log line and the
  // player's message naming the file) with the data-problem exit code.
  void LoadFromFile(const std::string& fileName);
  void LoadFromStream(rtl::TStream& stream);
  void SetSize(uint16_t vertexCount, uint16_t indexCount);
  void* Lock();
  void Unlock();
  void Optimize();
  void Draw(DWORD flags);

 private:
  [[noreturn]] void Fatal(const std::string& logLine, const std::string& what);
  void* locked_ = nullptr;
  std::string loadingFile_;  // the file LoadFromFile is reading, for the player's message
};
