#include "kiln/TKilnCanvas.h"

TKilnCanvas::TKilnCanvas(TKilnGenSurface& surface) : surface_(surface.Surface) { Ready = !surface.IsLost(); }

TKilnCanvas::~TKilnCanvas() {
  if (dc_) {
    // The canvas lets go of the handle (and its pens and fonts) before the surface gets it back.
    SetHandle(nullptr);
    surface_->ReleaseDC(dc_);
    dc_ = nullptr;
  }
}

void TKilnCanvas::CreateHandle() {
  if (dc_) return;
  HDC dc = nullptr;
  Ready = surface_ && surface_->GetDC(&dc) == DD_OK;
  dc_ = Ready ? dc : nullptr;
  SetHandle(dc_);
}

HDC TKilnCanvas::Handle() {
  CreateHandle();
  return forms::TCanvas::Handle();
}

void TKilnCanvas::TextOut(int x, int y, const std::string& utf8) {
  CreateHandle();
  forms::TCanvas::TextOut(x, y, utf8);
}

int TKilnCanvas::TextWidth(const std::string& utf8) {
  CreateHandle();
  return forms::TCanvas::TextWidth(utf8);
}

int TKilnCanvas::TextHeight(const std::string& utf8) {
  CreateHandle();
  return forms::TCanvas::TextHeight(utf8);
}

void TKilnCanvas::Rectangle(int left, int top, int right, int bottom) {
  CreateHandle();
  forms::TCanvas::Rectangle(left, top, right, bottom);
}

void TKilnCanvas::Ellipse(int left, int top, int right, int bottom) {
  CreateHandle();
  forms::TCanvas::Ellipse(left, top, right, bottom);
}

void TKilnCanvas::MoveTo(int x, int y) {
  CreateHandle();
  forms::TCanvas::MoveTo(x, y);
}

void TKilnCanvas::LineTo(int x, int y) {
  CreateHandle();
  forms::TCanvas::LineTo(x, y);
}

void TKilnCanvas::FillRect(const RECT& rect) {
  CreateHandle();
  forms::TCanvas::FillRect(rect);
}

void TKilnCanvas::FrameRect(const RECT& rect) {
  CreateHandle();
  forms::TCanvas::FrameRect(rect);
}

void TKilnCanvas::Polyline(const std::vector<POINT>& points) {
  CreateHandle();
  forms::TCanvas::Polyline(points);
}

void TKilnCanvas::Draw(int x, int y, const forms::TGraphic& graphic) {
  CreateHandle();
  forms::TCanvas::Draw(x, y, graphic);
}

COLORREF TKilnCanvas::Pixel(int x, int y) {
  CreateHandle();
  return forms::TCanvas::Pixel(x, y);
}

void TKilnCanvas::SetPixel(int x, int y, forms::TColor color) {
  CreateHandle();
  forms::TCanvas::SetPixel(x, y, color);
}
