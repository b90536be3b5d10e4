// Drawing helpers shared by the title, the game-over screen and the head-up display:
// fonts set in one go, brushes that turn solid with a colour, and outlined captions.
#pragma once

#include <string>

#include "platform/forms/Graphics.h"

namespace screens {

inline constexpr forms::TColor kBlack = 0x000000;
inline constexpr forms::TColor kWhite = 0xFFFFFF;

// Face, character set and size in points, upright and not bold. Setting the size reports
// the change, so the canvas makes a new GDI font even when only the face changed.
inline void SetFont(forms::TFont& font, const char* name, BYTE charset, int points, forms::TColor color) {
  font.Name = name;
  font.Charset = charset;
  font.Style = 0;
  font.Color = color;
  font.SetSize(points);
}

// Giving a brush a colour makes it solid again, as the form framework's brush does.
inline void SetBrushColor(forms::TBrush& brush, forms::TColor color) {
  brush.Color = color;
  brush.Style = forms::TBrushStyle::bsSolid;
}

// A caption with a one-pixel black outline: black copies one pixel left, right, above
// and below (x, y), then the face at (x, y). The canvas's brush should be clear, so the
// copies only add ink. Templated on the canvas because a surface canvas fetches its
// device context in its own TextOut.
template <typename Canvas>
void OutlinedText(Canvas& canvas, int x, int y, const std::string& text, forms::TColor face) {
  canvas.Font.Color = kBlack;
  canvas.TextOut(x - 1, y, text);
  canvas.TextOut(x + 1, y, text);
  canvas.TextOut(x, y - 1, text);
  canvas.TextOut(x, y + 1, text);
  canvas.Font.Color = face;
  canvas.TextOut(x, y, text);
}

}  // namespace screens
