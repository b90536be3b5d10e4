// The two text files: the message lines (Shift-JIS, CR LF, as the Windows program's
// files were) and the four camera placements relative to the ship.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Common.h"
#include "platform/win/CodePage.h"

namespace assetgen {

namespace {

// One line per message number; the game shows line n in the message box.
const char* const kWords[] = {
    "ステージ開始！　全機、発進せよ！",      // 0  a stage starts
    "敵機撃破！　いい腕だ！",                // 1  the ship destroyed an enemy
    "被弾した！　機体がもたないぞ！",        // 2  the ship was hit
    "敵の同士討ちだ！",                      // 3  an enemy shot down another
    "これが最後の機体だ。慎重にいけ！",      // 4  the last ship
    "惑星に近づきすぎだ！　引き返せ！",      // 5  near the planet
    "コロニーに接近中。流れ弾に注意！",      // 6  near the colony
    "作戦空域から離れすぎている！",          // 7  too far out
    "レーダー圏外に敵がいる！　警戒せよ！",  // 8  radar warning
    "体当たりを食らった！　脱出しろ！",      // 9  rammed
    "巨大な敵が接近中！　撃破せよ！",        // 10 the target arrives
    "ターゲットに命中！",                    // 11 the target is hit
    "ターゲット撃破！　よくやった！",        // 12 the target is destroyed
};

struct P3 {
  double x, y, z;
};
P3 Sub(P3 a, P3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
P3 Cross(P3 a, P3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
P3 Unit(P3 v) {
  const double l = Sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
  return {v.x / l, v.y / l, v.z / l};
}

// A camera at `eye` (ship coordinates) looking at `aim` with the ship's up: rows are the
// camera's x, y and z axes and its position, as the game's row-vector matrices hold them.
std::string Placement(P3 eye, P3 aim) {
  const P3 z = Unit(Sub(aim, eye));
  const P3 x = Unit(Cross({0, 1, 0}, z));
  const P3 y = Cross(z, x);
  const double m[16] = {x.x, x.y, x.z, 0, y.x, y.y, y.z, 0, z.x, z.y, z.z, 0, eye.x, eye.y, eye.z, 1};
  std::string line;
  for (int i = 0; i < 16; ++i) {
    double v = m[i];
    if (std::fabs(v) < 5e-7) v = 0;  // no "-0.000000"
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6f", v);
    if (i) line += ',';
    line += buf;
  }
  return line + "\r\n";
}

}  // namespace

void WriteTexts(const std::filesystem::path& dir) {
  std::string words;
  for (const char* w : kWords) words += win::Utf8ToAnsi(w) + "\r\n";
  WriteFile(dir / "words.dat", words);

  // The ship's nose points along its -Z, so "behind" is +Z. Slot 2 is the first view of
  // every stage; the button cycles through them in slot order. The first view is a chase
  // view on the ship's axis, 51 units back and a little above, looking past the ship at
  // the space ahead: the enemies the ship meets there, and the ones that shoot at it from
  // ahead and to the side, are in the picture. (An earlier view over the right shoulder
  // showed the planet at the start of a stage, but left the shooters of a third of the
  // hits on the ship out of the picture; tools/shotsight measures that.)
  std::string views;
  views += Placement({0, 9, 24}, {0, 0, -4});    // 0: behind and above
  views += Placement({0, 7, 48}, {0, 0, -6});    // 1: far behind
  views += Placement({0, 10, 50}, {0, 2, -40});  // 2: the chase, on the axis
  views += Placement({-26, 4, 2}, {0, 0, 0});    // 3: from the side
  WriteFile(dir / "View.dat", views);
}

}  // namespace assetgen
