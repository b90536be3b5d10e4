// A canvas that draws with GDI on a DirectDraw surface. The surface's device context
// is taken on the first drawing call and given back when the canvas dies, so a canvas
// that never draws never touches the surface.
#pragma once

#include <string>
#include <vector>

#include "kiln/TKilnGenSurface.h"
#include "platform/forms/Graphics.h"

class TKilnCanvas : public forms::TCanvas {
 public:
  explicit TKilnCanvas(TKilnGenSurface& surface);
  ~TKilnCanvas();
  TKilnCanvas(const TKilnCanvas&) = delete;
  TKilnCanvas& operator=(const TKilnCanvas&) = delete;

  // False when the surface was lost at creation or its device context could not be had.
  bool Ready = false;

  // The device context, taken from the surface if none is held yet.
  HDC Handle();

  // The drawing calls of the canvas; each makes sure the device context is held first.
  void TextOut(int x, int y, const std::string& utf8);
  int TextWidth(const std::string& utf8);
  int TextHeight(const std::string& utf8);
  void Rectangle(int left, int top, int right, int bottom);
  void Ellipse(int left, int top, int right, int bottom);
  void MoveTo(int x, int y);
  void LineTo(int x, int y);
  void FillRect(const RECT& rect);
  void FrameRect(const RECT& rect);
  void Polyline(const std::vector<POINT>& points);
  void Draw(int x, int y, const forms::TGraphic& graphic);
  COLORREF Pixel(int x, int y);
  void SetPixel(int x, int y, forms::TColor color);

 private:
  void CreateHandle();

  IDirectDrawSurface7* surface_;
  HDC dc_ = nullptr;
};
