// A DirectDraw surface with its description, its colour key and the channel shifts
// that pack 8-bit colour values into its pixel format; loads BMP pictures into it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ddraw/DDraw.h"
#include "platform/rtl/Classes.h"

class TKiln;

class TKilnGenSurface {
 public:
  // Reads the description from the surface and analyses its pixel format. The surface
  // is not owned: whoever created it releases it. `device` is only remembered.
  TKilnGenSurface(TKiln* device, int width, int height, IDirectDrawSurface7* surface);
  virtual ~TKilnGenSurface() = default;
  TKilnGenSurface(const TKilnGenSurface&) = delete;
  TKilnGenSurface& operator=(const TKilnGenSurface&) = delete;

  TKiln* Device = nullptr;
  IDirectDrawSurface7* Surface = nullptr;
  int32_t Width = 0;
  int32_t Height = 0;
  DDSURFACEDESC2 Desc{};
  DWORD ColorKey = 0;

  // Per channel: the mask, its lowest set bit (32 for an empty mask) and how many
  // bits an 8-bit value loses to fit it.
  DWORD AMask = 0, RMask = 0, GMask = 0, BMask = 0;
  int AShift = 32, RShift = 32, GShift = 32, BShift = 32;
  int ALoss = 8, RLoss = 8, GLoss = 8, BLoss = 8;

  void AnalyzePixelFormat(const DDPIXELFORMAT& format);
  DWORD PackColor(BYTE a, BYTE r, BYTE g, BYTE b) const;
  HRESULT SetColorKey(DWORD value);
  // The pixel value GDI writes for `color` (0 on a lost surface).
  DWORD ColorMatch(COLORREF color);
  bool IsLost();
  HRESULT Restore();
  void UpdateDesc(DDSURFACEDESC2& desc);
  void BltFromDC(int x, int y, int width, int height, HDC source, int srcX, int srcY);
  // Loads a BMP picture from the stream's position.
  void LoadBMP(rtl::TStream& stream);
  // What kept the last load from reading the whole picture, in words for the player
  // ("is cut short: ..."); empty when it was read. A file load says it once on its own.
  const std::string& LoadProblem() const { return loadProblem_; }
  virtual void LoadFromFile(const std::string& fileName);
  virtual void LoadFromArchive(const std::string& archiveFileName, const std::string& id);

 private:
  void LoadThroughGdi(rtl::TStream& stream, int64_t start);
  void Fail(const std::string& logLine, std::string what);
  std::string loadProblem_;
};
