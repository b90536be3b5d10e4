#include "SXView1/Help.h"

#include <memory>

#include "SXView1/ScreenText.h"
#include "SXView1/TForm1.h"

std::vector<std::string> HelpLines(const std::string& language, const std::array<std::string, 6>& b,
                                   const std::array<std::string, 4>& d) {
  const std::string arrows = d[0] + " " + d[1] + " " + d[2] + " " + d[3];
  if (language == "ja") {
    return {"操作方法",
            arrows + " / テンキー　旋回",
            b[0] + "　ショット　　" + b[1] + "　アフターバーナー　　" + b[2] + "　推進",
            b[3] + "　ミサイル　　" + b[4] + "　ブレード　　" + b[5] + "　視点切り替え",
            "マウス左ドラッグ　カメラの遠近　　右ドラッグ　カメラの回転",
            "F1　カメラの位置を記憶　　Enter　スタート　　Esc　タイトル／終了",
            "P　ポーズ　　F11 / Alt+Enter　フルスクリーン　　F12　画面保存",
            "H　このヘルプを閉じる"};
  }
  return {"HOW TO PLAY",
          arrows + " or the numeric pad: steer",
          b[0] + ": fire    " + b[1] + ": afterburner    " + b[2] + ": thrust",
          b[3] + ": missiles    " + b[4] + ": blade    " + b[5] + ": change the view",
          "Mouse: left drag moves the camera nearer, right drag around",
          "F1: keep the camera    Enter: start    Escape: title / quit",
          "P: pause    F11 or Alt+Enter: full screen    F12: screenshot",
          "H: close this help"};
}

namespace {

void DrawHelp(TForm1& form, const std::vector<std::string>& lines) {
  forms::TCanvas& canvas = form.Image2->Canvas();
  const int left = 60, top = 150, right = 580;
  const int bottom = top + 24 + 26 * static_cast<int>(lines.size());
  screens::SetBrushColor(canvas.Brush, 0x402010);
  canvas.Pen.Color = screens::kWhite;
  canvas.Pen.Width = 1;
  canvas.Rectangle(left, top, right, bottom);
  canvas.Brush.Style = forms::TBrushStyle::bsClear;
  for (size_t i = 0; i < lines.size(); ++i) {
    screens::SetFont(canvas.Font, "MS UI Gothic", SHIFTJIS_CHARSET, i == 0 ? 14 : 11, screens::kBlack);
    screens::OutlinedText(canvas, left + 20, top + 12 + 26 * static_cast<int>(i), lines[i],
                          i == 0 ? 0x80FFFF : 0xFFFFFF);
  }
  form.Invalidate();
}

}  // namespace

void InstallTitleHelp(TForm1& form, std::vector<std::string> lines) {
  auto shown = std::make_shared<bool>(false);
  form.WindowHooks.push_back([&form, shown, lines = std::move(lines)](const forms::TMessage& m) {
    if (form.GameState != 0) *shown = false;  // a game hid the title, and the help with it
    const bool repeat = (static_cast<uint32_t>(m.LParam) >> 16) & KF_REPEAT;
    if (m.Msg != WM_KEYDOWN || m.WParam != 'H' || repeat || form.GameState != 0) return false;
    *shown = !*shown;
    if (*shown) {
      DrawHelp(form, lines);
    } else {
      form.EnterTitle();  // composes the title picture anew
    }
    return true;
  });
}
