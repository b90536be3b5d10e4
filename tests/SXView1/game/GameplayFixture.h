// A stage of the real game set up for one gameplay question at a time: the caption is
// over, every enemy is put away and the ship sits at the origin, so that only what a
// test places can act.
#pragma once

#include <cmath>
#include <string>

#include "SXView1/game/GameFixture.h"

class GameplayTest : public GameTest {
 protected:
  // `Form` may be a subclass of TForm1 (one whose controls a test sets, for instance).
  template <class Form = TForm1>
  Form& QuietStage(const std::string& script = "", uint32_t seed = 1) {
    Form& f = Start<Form>(script, seed);
    StartGame();
    EXPECT_TRUE(f.PlayerFrame && f.PlayerFrame->Mesh) << "the scene did not build the stage";
    for (TSXFrame* e : f.EnemyFrames) {
      if (e) e->Mesh = nullptr;
    }
    f.ReadyTime = 0;
    f.MessageTime = 0;
    return f;
  }

  TVector3 World(const TSXFrame* frame) const { return frame->GetPosition(form_->RootFrame.get()); }

  static float Dist(const TVector3& a, const TVector3& b) {
    return std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) + (a.z - b.z) * (a.z - b.z));
  }

  // Shows enemy `slot` as `kind` at a world position.
  TSXFrame* PlaceEnemy(int slot, const TVector3& at, int kind = 0) {
    TSXFrame* e = form_->EnemyFrames[static_cast<size_t>(slot)];
    e->SetPosition(form_->RootFrame.get(), at);
    e->Tag = kind;
    e->Mesh = form_->MeshEnemy[static_cast<size_t>(kind)].get();
    return e;
  }

  int ShotsInFlight() const {
    int n = 0;
    for (const TSXFrame* s : form_->ShotSprites) n += s->Mesh ? 1 : 0;
    return n;
  }

  const D3DLIGHT7& Light(int index) const { return form_->Lights->GetLight(static_cast<uint32_t>(index))->LightData; }
  bool LightOn(int index) const { return form_->Lights->GetLight(static_cast<uint32_t>(index))->Enabled != 0; }
};
