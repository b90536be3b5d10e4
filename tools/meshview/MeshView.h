// meshview: loads a ".sx" mesh into the scene library and draws it headless through the
// software Direct3D device from a few angles, writing each picture as a PNG file.
//
// The set-up is the smallest one the scene library needs: a DirectDraw object, an
// off-screen 3-D surface with a z-buffer attached, the RGB device on it, and a display
// component (TKiln) on no form whose public objects point at them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/host/services/ImageCodecs.h"

namespace meshview {

// Where the camera stands, seen from the mesh's centre: turned `yaw` degrees about the
// y axis from +z (90 is +x), raised `pitch` degrees towards +y.
struct ViewAngle {
  std::string name;
  float yaw = 0;
  float pitch = 0;
};

// "front", "back", "side" (from +x), "left", "top", "bottom", "threequarter", or
// "YAW:PITCH" in degrees. Anything else is no angle.
std::optional<ViewAngle> ParseAngle(std::string_view text);

struct Options {
  std::string meshPath;
  // Pictures are written as PREFIX_ANGLE.png; empty: the mesh file's name without ".sx".
  std::string outPrefix;
  std::string texturePath;
  // One more picture with every view side by side (empty: none).
  std::string sheetPath;
  int width = 320;
  int height = 240;
  std::vector<ViewAngle> angles;
  uint32_t background = 0x202830;  // 0xRRGGBB
  uint8_t blendMode = 0;
  bool lighting = true;
};

inline constexpr int kMaxPictureSide = 4096;

// Parses the command line (argv[0] is the program). On failure returns false and says why
// in `error`; "--help" returns false with an empty error.
bool ParseCommandLine(int argc, const char* const* argv, Options& options, std::string& error);
std::string Usage();

class Viewer {
 public:
  // Builds the DirectDraw / Direct3D set-up for pictures of width x height.
  Viewer(int width, int height);
  ~Viewer();
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  // False when the device could not be made; Error() says which step failed.
  bool Ok() const;
  const std::string& Error() const;

  // Loads the mesh as the game does (LoadFromFile, then Optimize). Returns false with the
  // reason in `error` when the file is no mesh (the scene library ends the program for
  // such files; the viewer catches that end and reports it instead).
  bool LoadMesh(const std::string& path, std::string& error);
  // A BMP texture for the mesh; problems the loader only logs come back as `warning`.
  bool LoadTexture(const std::string& path, std::string& error, std::string& warning);

  void SetBackground(uint32_t rgb);
  void SetBlendMode(uint8_t mode);
  void SetLighting(bool on);

  // Centre and radius of the loaded mesh's vertices.
  float CenterX() const;
  float CenterY() const;
  float CenterZ() const;
  float Radius() const;

  // Draws the mesh from the angle and returns the picture (RGB).
  bool Render(const ViewAngle& angle, host::services::Image& picture, std::string& error);

 private:
  struct State;
  std::unique_ptr<State> s_;
};

// Lays the pictures out in rows of at most `columns`, `gap` pixels apart, on `gapRgb`.
host::services::Image ContactSheet(const std::vector<host::services::Image>& pictures, int columns, int gap,
                                   uint32_t gapRgb);

// The whole program: load, draw every angle, write the files. Returns the exit code.
int Run(const Options& options, std::ostream& out, std::ostream& err);

}  // namespace meshview
