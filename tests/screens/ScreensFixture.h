// The real main form on the headless machine (windowed, so the back buffer holds 32-bit
// colours exactly) with the generated data set, or with no world at all. Pictures are
// read back whole and probed pixel by pixel; texts are compared with the same text drawn
// alone on a scratch bitmap.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "SXView1/TForm1.h"
#include "app/Session.h"
#include "platform/ddraw/DDrawMachine.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"

// A picture as GDI colours (0x00BBGGRR), row by row.
struct TPixels {
  int width = 0, height = 0;
  std::vector<COLORREF> pixels;

  COLORREF At(int x, int y) const {
    if (x < 0 || y < 0 || x >= width || y >= height) return CLR_INVALID;
    return pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
  }
  static TPixels FromXrgb(const std::vector<uint32_t>& xrgb, int width, int height) {
    TPixels p{width, height, {}};
    p.pixels.reserve(xrgb.size());
    for (uint32_t c : xrgb) p.pixels.push_back(((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF));
    return p;
  }
  static TPixels Of(const forms::TBitmap& bitmap) { return FromXrgb(bitmap.ToXrgb(), bitmap.Width(), bitmap.Height()); }
  // Pixels of the given colour inside [left, right) x [top, bottom).
  int Count(COLORREF colour, int left, int top, int right, int bottom) const {
    int n = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = left; x < right; ++x) n += At(x, y) == colour;
    return n;
  }
};

struct TPoint {
  int x, y;
  bool operator==(const TPoint&) const = default;
};

// The pixels a text covers when drawn alone at (x, y) with the given font.
inline std::vector<TPoint> TextPixels(const char* face, BYTE charset, int points, int x, int y,
                                      const std::string& text) {
  forms::TBitmap scratch(640, 480);
  forms::TCanvas& c = scratch.Canvas();
  c.Brush.Style = forms::TBrushStyle::bsSolid;
  c.Brush.Color = 0;
  c.FillRect(RECT{0, 0, 640, 480});
  c.Brush.Style = forms::TBrushStyle::bsClear;
  c.Font.Name = face;
  c.Font.Charset = charset;
  c.Font.Style = 0;
  c.Font.SetSize(points);
  c.Font.Color = 0xFFFFFF;
  c.TextOut(x, y, text);
  TPixels p = TPixels::Of(scratch);
  std::vector<TPoint> out;
  for (int j = 0; j < p.height; ++j)
    for (int i = 0; i < p.width; ++i)
      if (p.At(i, j) != 0) out.push_back({i, j});
  return out;
}

// How many of `points` do not have `colour` in `picture` (0: the text is there, whole).
inline int Mismatches(const TPixels& picture, const std::vector<TPoint>& points, COLORREF colour) {
  int n = 0;
  for (const TPoint& p : points) n += picture.At(p.x, p.y) != colour;
  return n;
}

// A text with a black outline: the face in its colour at (x, y), and every pixel that one
// of the four copies one pixel away covers (and the face does not) black.
inline void ExpectOutlinedText(const TPixels& picture, const char* face, BYTE charset, int points, int x, int y,
                               const std::string& text, COLORREF colour) {
  auto faceAt = TextPixels(face, charset, points, x, y, text);
  ASSERT_GT(faceAt.size(), 20u) << text;
  EXPECT_EQ(Mismatches(picture, faceAt, colour), 0) << text << " face";
  std::vector<TPoint> outline;
  for (auto [dx, dy] : std::initializer_list<std::pair<int, int>>{{-1, 0}, {1, 0}, {0, -1}, {0, 1}}) {
    for (const TPoint& p : TextPixels(face, charset, points, x + dx, y + dy, text)) {
      if (std::find(faceAt.begin(), faceAt.end(), p) == faceAt.end()) outline.push_back(p);
    }
  }
  ASSERT_FALSE(outline.empty());
  EXPECT_EQ(Mismatches(picture, outline, 0x000000), 0) << text << " outline";
}

class ScreensForm : public TForm1 {
 public:
  // buildWorld false: the scene is not there at all, as before it is built.
  ScreensForm(forms::TApplication& application, TForm1Options options, bool buildWorld)
      : TForm1(application, std::move(options)), buildWorld_(buildWorld) {}
  using TForm1::GameOverFrame;
  using TForm1::TitleFrame;

 protected:
  void KNInitScene() override {
    if (buildWorld_) TForm1::KNInitScene();
  }

 private:
  bool buildWorld_;
};

class ScreensTest : public ::testing::Test {
 protected:
  ScreensForm& Start(bool buildWorld = true, bool fullScreen = false) {
    host_ = host::CreateHeadlessHost({});
    host::SetCurrent(host_.get());
    TCommandLine answer;
    answer.Headless = true;
    answer.FullScreen = fullScreen;
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options options;
    options.Seed = 1;
    options.DataDirOverride = TAVVY_DATA_DIR;
    form_ = &app_->CreateForm<ScreensForm>(options, buildWorld);
    form_->Show();
    return *form_;
  }

  // Runs the message loop until `ticks` more game ticks have run.
  void RunTicks(uint64_t ticks) {
    uint64_t until = form_->TicksRun() + ticks;
    for (uint64_t guard = 0; form_->TicksRun() < until; ++guard) {
      ASSERT_LT(guard, ticks * 1000 + 1000) << "the loop stopped ticking";
      app_->HandleMessage();
    }
  }

  void Press(WORD key) { form_->FormKeyDown(form_, key, 0); }

  void FillBackBuffer(COLORREF colour) {
    TKilnCanvas canvas(*form_->KN->BackBuffer);
    canvas.Brush.Style = forms::TBrushStyle::bsSolid;
    canvas.Brush.Color = colour;
    canvas.FillRect(RECT{0, 0, 640, 480});
    ASSERT_TRUE(canvas.Ready);
  }

  TPixels BackBuffer() {
    forms::TBitmap copy(640, 480);
    TKilnCanvas canvas(*form_->KN->BackBuffer);
    BitBlt(copy.DC(), 0, 0, 640, 480, canvas.Handle(), 0, 0, SRCCOPY);
    return TPixels::Of(copy);
  }

  TPixels Presented() {
    int w = 0, h = 0;
    const auto& xrgb = form_->Window().LastPresented(w, h);
    return TPixels::FromXrgb(xrgb, w, h);
  }

  // One play tick's head-up display, as the play frame draws it.
  void HudTick() {
    {
      TKilnCanvas canvas(*form_->KN->BackBuffer);
      ASSERT_TRUE(canvas.Ready);
      form_->DrawHud(canvas);
    }
    form_->HudPortrait();
  }

  // Places a frame relative to the ship (which is not turned).
  void Place(TSXFrame* frame, float x, float y, float z, bool shown = true) {
    TVector3 ship = form_->PlayerFrame->GetPosition(form_->RootFrame.get());
    frame->SetPosition(form_->RootFrame.get(), TVector3{ship.x + x, ship.y + y, ship.z + z});
    frame->Mesh = shown ? form_->MeshBody.get() : nullptr;
  }

  void TearDown() override {
    app_.reset();
    host::SetCurrent(nullptr);
    host_.reset();
    ddraw::ResetMachine();
  }

  testsupport::TempDir dir_;
  testsupport::ScopedModuleDir logs_{dir_.Dir()};
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<forms::TApplication> app_;
  ScreensForm* form_ = nullptr;
};
