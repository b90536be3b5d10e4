// A surface created as a Direct3D texture in the best matching pixel format of a
// preference list. Every texture registers with its display component, which
// releases, rebuilds and reloads them on mode changes and surface loss.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "kiln/TKilnGenSurface.h"

class TKilnTexture;

class TKilnTextureKeeper {
 public:
  TKilnTextureKeeper(TKiln* device, TKilnTexture* texture) : Device(device), Texture(texture) {}
  TKiln* Device;
  TKilnTexture* Texture;
};

// The display component's ordered list of keepers; a texture's position is its number
// in the log lines. The registry owns the keepers, the application owns the textures.
class TKilnTextureRegistry {
 public:
  int Add(TKiln* device, TKilnTexture* texture);
  // Removes the first keeper that refers to the texture; returns the index it had, or -1.
  int Remove(TKilnTexture* texture);
  int Count() const { return static_cast<int>(keepers_.size()); }
  TKilnTexture* Texture(int i) const { return keepers_[static_cast<size_t>(i)]->Texture; }

  // The three passes of the display component.
  void ReleaseAll();
  void RebuildAll();
  void RestoreAll();
  // The component is going away: its textures forget it (they hold no surface by then).
  void DetachAll();

 private:
  std::vector<std::unique_ptr<TKilnTextureKeeper>> keepers_;
};

class TKilnTexture : public TKilnGenSurface {
 public:
  // Builds the surface and registers with the device's texture registry.
  TKilnTexture(TKiln* device, int width, int height, DWORD colorKey, const std::string& formats);
  ~TKilnTexture() override;

  std::string Formats;
  bool FromArchive = false;
  std::string SourceFile;
  std::string SourceArchive;
  std::string SourceID;
  RECT Bounds{};

  void BuildTexture(int width, int height, const std::string& formats, DWORD colorKey);
  void LoadFromFile(const std::string& fileName) override;
  void LoadFromArchive(const std::string& archiveFileName, const std::string& id) override;
  // Loads the image again from where it last came from (nothing if it never loaded one).
  void ReloadImage();
  // Releases the surface (the texture then holds none until it is rebuilt).
  void ReleaseSurface();
};

// Splits a format preference list at ';', trims blanks, drops empty pieces.
std::vector<std::string> SplitTextureFormats(const std::string& formats);

// Whether a pixel format matches one name of a preference list ("PAL8", "ARGBxxxx", "RGBxxx").
// A non-digit where a digit belongs raises the conversion error.
bool TextureFormatMatches(const std::string& name, const DDPIXELFORMAT& format);
