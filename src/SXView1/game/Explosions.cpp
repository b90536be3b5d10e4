// Explosions: a camera-facing sprite that plays the sixteen tiles of the explosion
// sheet, lit by a point light that reddens and fades, with a big or a small bang. Also
// the light and sound-channel chores that every gameplay effect shares.
#include <algorithm>
#include <cstddef>

#include "SXView1/TForm1.h"
#include "SXView1/game/Effects.h"
#include "SXView1/game/Steering.h"

namespace {

constexpr int kExplosionEnd = 80;  // the age at which a slot goes idle
constexpr int kTicksPerTile = 5;

size_t At(int i) { return static_cast<size_t>(i); }

}  // namespace

bool TForm1::WorldReady() const {
  return RootFrame && CameraFrame && PlayerFrame && BladeFrame && TargetFrame && EarthFrame && ColonyFrame && Lights &&
         EnemyFrames.back() && ShotSprites.back() && MissileFrames.back() && ExplosionFrames.back() &&
         PlayerPartFrames.back();
}

TSXLight* TForm1::GameLight(int index) const {
  if (!Lights || index < 0 || index >= kLightCount) return nullptr;
  return Lights->GetLight(static_cast<uint32_t>(index));
}

void TForm1::SwitchLight(int index, bool on) {
  if (TSXLight* l = GameLight(index)) l->SetEnabled(on ? 1 : 0);
}

void TForm1::MoveLight(int index, const TVector3& position) {
  if (TSXLight* l = GameLight(index)) l->SetPoint(position);
}

TDDSDChannel* TForm1::GameChannel(int channel) const {
  if (!DDSD1 || channel < 0 || static_cast<DWORD>(channel) >= DDSD1->ChannelCount()) return nullptr;
  return DDSD1->GetChannel(static_cast<DWORD>(channel));
}

void TForm1::SetChannelVolume(int channel, double volume) {
  if (TDDSDChannel* c = GameChannel(channel)) c->SetVolume(game::RoundToInt(volume));
}

void TForm1::RestartChannel(int channel) {
  if (TDDSDChannel* c = GameChannel(channel)) {
    c->Stop();
    c->Play();
  }
}

void TForm1::SpawnExplosion(const TVector3& position, TExplosionSize size) {
  if (!WorldReady()) return;
  if (Play.NextExplosion < 0 || Play.NextExplosion >= kExplosionSlots) Play.NextExplosion = 0;
  const int e = Play.NextExplosion;
  TSXFrame* frame = ExplosionFrames[At(e)];
  frame->SetPosition(RootFrame.get(), position);
  MoveLight(e + game::light::ExplosionBase, position);
  SwitchLight(e + game::light::ExplosionBase, true);
  Play.ExplosionAge[At(e)] = 1;
  if (size == TExplosionSize::Big) {
    frame->Mesh = MeshBomb.get();
    RestartChannel(game::channel::Explosion);
  } else {
    frame->Mesh = MeshBombSmall.get();
    RestartChannel(game::channel::ExplosionSmall);
  }
  Play.NextExplosion = e >= kExplosionSlots - 1 ? 0 : e + 1;
}

void TForm1::ExplosionStep() {
  if (!WorldReady()) return;
  for (int e = 0; e < kExplosionSlots; ++e) {
    const int a = Play.ExplosionAge[At(e)];
    if (a <= 0) continue;
    TSXFrame* frame = ExplosionFrames[At(e)];
    const int tile = std::min(a / kTicksPerTile, static_cast<int>(TexBlast.size()) - 1);
    frame->Texture = TexBlast[At(tile)].get();
    const int c = a + 1;
    Play.ExplosionAge[At(e)] = c;
    if (c < kExplosionEnd) {
      frame->LookAt(CameraFrame.get(), TVector3{0, 0, 0}, 0, RootFrame.get());
      // Colour and range are handed over as computed, negative ones included.
      if (TSXLight* l = GameLight(e + game::light::ExplosionBase)) {
        const float fade = static_cast<float>(100 - 5 * c);
        l->SetDiffuse(100, fade, fade);
        l->SetRangeAttenuation(static_cast<float>(300 - 6 * c), 0, 1, 0);
      }
    } else {
      Play.ExplosionAge[At(e)] = 0;
      frame->Mesh = nullptr;
      SwitchLight(e + game::light::ExplosionBase, false);
    }
  }
}
