// shotsight [--data=DIR] [--seeds=A-B] [--ticks=N] [--each]
//
// Plays one autopilot game per seed on the headless machine and watches it after every
// tick, without touching it: each enemy shot is traced from the tick it appears to the
// tick it goes, together with the enemy (or the stage target) that fired it. A shot that
// goes out at the ship's position before its life is over hit the ship. For each hit it
// tells whether its shooter was on screen at any tick of the shot's flight, inside the
// camera's view and in front of it. Prints one line per seed and a total; --each also
// prints every hit with where its shooter was, in the ship's coordinates, when it fired.
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <memory>
#include <string>

#include "SXView1/TForm1.h"
#include "app/CommandLine.h"
#include "app/Session.h"
#include "platform/host/Hosts.h"

namespace {

constexpr int kShotLife = 50;       // the game's shot life, in ticks
constexpr float kShipRadius = 4;    // the game's hit distance for the ship
constexpr float kShipStep = 3;      // more than the ship moves in a tick
constexpr int32_t kEnemyOwner = 1;  // carrier tag of enemy and target shots

struct Counts {
  int fired = 0, hits = 0, unseen = 0, unseenAtFiring = 0;
  void Add(const Counts& o) {
    fired += o.fired;
    hits += o.hits;
    unseen += o.unseen;
    unseenAtFiring += o.unseenAtFiring;
  }
};

float Distance(const TVector3& a, const TVector3& b) {
  const float x = a.x - b.x, y = a.y - b.y, z = a.z - b.z;
  return std::sqrt(x * x + y * y + z * z);
}

// Inside the picture: in front of the camera and within the 45-degree vertical field of
// view at the 640 x 480 aspect the game sets.
bool OnScreen(const TForm1& f, const TSXFrame* frame) {
  const TVector3 p = frame->GetPosition(f.CameraFrame.get());
  if (p.z <= 1) return false;
  const double halfH = std::tan(0.7853982 / 2), halfW = halfH * 640.0 / 480.0;
  return std::fabs(p.x) <= halfW * p.z && std::fabs(p.y) <= halfH * p.z;
}

class Watcher {
 public:
  Watcher(TForm1& f, bool verbose) : f_(f), verbose_(verbose) {}

  void Tick() {
    if (!f_.RootFrame || !f_.PlayerFrame || !f_.CameraFrame) return;
    const TSXFrame* root = f_.RootFrame.get();
    const TVector3 ship = f_.PlayerFrame->GetPosition(root);
    for (size_t s = 0; s < kSlots; ++s) {
      Trace& t = traces_[s];
      const bool active = f_.ShotSprites[s] && f_.ShotSprites[s]->Mesh;
      const int age = f_.Play.ShotAge[s];
      const bool fresh = active && (!t.active || age < t.age);
      // The old shot in this slot ended: re-armed, timed out or taken by a contact.
      if (t.active && (!active || fresh)) {
        // A contact leaves the carrier where it happened; the ship may have moved on since.
        if (t.enemy && !fresh && age <= kShotLife &&
            Distance(f_.ShotFrames[s]->GetPosition(root), ship) < kShipRadius + kShipStep)
          Hit(t);
        t = Trace{};
      }
      if (fresh && f_.ShotFrames[s]->Tag == kEnemyOwner) {
        t.enemy = true;
        t.shooter = Shooter(f_.ShotFrames[s]->GetPosition(root));
        t.seenAtFiring = t.shooter && OnScreen(f_, t.shooter);
        if (t.shooter) t.from = t.shooter->GetPosition(f_.PlayerFrame);
        ++counts_.fired;
      }
      t.active = active;
      t.age = age;
      if (active) {
        if (t.shooter && OnScreen(f_, t.shooter)) t.seen = true;
      }
    }
  }

  const Counts& Result() const { return counts_; }

 private:
  static constexpr size_t kSlots = TForm1::kShotSlots;
  struct Trace {
    bool active = false, enemy = false, seen = false, seenAtFiring = false;
    int age = 0;
    const TSXFrame* shooter = nullptr;
    TVector3 from{};  // the shooter in the ship's coordinates when it fired
  };

  // The shot leaves the muzzle, a unit from its shooter's centre (a few from the target's),
  // and has flown one step when it is first seen: the nearest enemy or target fired it.
  const TSXFrame* Shooter(const TVector3& at) const {
    const TSXFrame* best = nullptr;
    float bestDistance = std::numeric_limits<float>::infinity();
    auto consider = [&](const TSXFrame* frame) {
      if (!frame || !frame->Mesh) return;
      const float d = Distance(frame->GetPosition(f_.RootFrame.get()), at);
      if (d < bestDistance) {
        bestDistance = d;
        best = frame;
      }
    };
    for (const TSXFrame* e : f_.EnemyFrames) consider(e);
    consider(f_.TargetFrame);
    return bestDistance < 20 ? best : nullptr;
  }

  void Hit(const Trace& t) {
    if (verbose_)
      std::printf("  tick %llu: hit, shooter at (%.0f, %.0f, %.0f) from the ship, %s\n",
                  static_cast<unsigned long long>(f_.TicksRun()), static_cast<double>(t.from.x),
                  static_cast<double>(t.from.y), static_cast<double>(t.from.z), t.seen ? "seen" : "never on screen");
    ++counts_.hits;
    if (!t.seen) ++counts_.unseen;
    if (!t.seenAtFiring) ++counts_.unseenAtFiring;
  }

  TForm1& f_;
  bool verbose_;
  std::array<Trace, kSlots> traces_{};
  Counts counts_;
};

Counts Play(const std::string& data, uint32_t seed, uint64_t ticks, bool verbose) {
  auto machine = host::CreateHeadlessHost(host::HeadlessOptions{});
  host::SetCurrent(machine.get());
  TCommandLine answer;
  answer.Headless = true;
  auto application = CreateAnsweringApplication(*machine, answer);
  TForm1Options options;
  options.Seed = seed;
  options.DataDirOverride = data;
  options.Autopilot = true;
  TForm1& form = application->CreateForm<TForm1>(options);
  Watcher watcher(form, verbose);
  form.OnTickDone = [&] {
    watcher.Tick();
    machine->TickDone(form.TicksRun());
    if (form.TicksRun() >= ticks) application->Terminate();
  };
  form.Show();
  application->Run();
  Counts c = watcher.Result();
  application.reset();
  host::SetCurrent(nullptr);
  return c;
}

void Print(const char* what, const Counts& c) {
  std::printf(
      "%s: enemy shots %d, hits on the ship %d, shooter never on screen %d (%.1f %%), not on screen when "
      "firing %d (%.1f %%)\n",
      what, c.fired, c.hits, c.unseen, c.hits ? 100.0 * c.unseen / c.hits : 0.0, c.unseenAtFiring,
      c.hits ? 100.0 * c.unseenAtFiring / c.hits : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  std::string data = "Data";
  uint32_t first = 1, last = 5;
  uint64_t ticks = 4000;
  bool verbose = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a.rfind("--data=", 0) == 0) {
      data = a.substr(7);
    } else if (a.rfind("--seeds=", 0) == 0 && std::sscanf(a.c_str() + 8, "%u", &first) == 1) {
      last = first;
      std::sscanf(a.c_str() + 8, "%*u-%u", &last);
      if (last < first) last = first;
    } else if (a == "--each") {
      verbose = true;
    } else if (a.rfind("--ticks=", 0) == 0) {
      ticks = std::strtoull(a.c_str() + 8, nullptr, 10);
    } else {
      std::fprintf(stderr, "usage: shotsight [--data=DIR] [--seeds=A-B] [--ticks=N] [--each]\n");
      return 2;
    }
  }
  Counts total;
  for (uint32_t seed = first; seed <= last; ++seed) {
    const Counts c = Play(data, seed, ticks, verbose);
    Print(("seed " + std::to_string(seed)).c_str(), c);
    total.Add(c);
  }
  Print("all", total);
  return 0;
}
