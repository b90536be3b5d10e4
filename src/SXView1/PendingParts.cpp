// Parts of the main form that are being written: empty bodies so the program links while
// they are built side by side. Each section goes away when its part lands; nothing here
// is meant to stay.
#include "SXView1/TForm1.h"

// ---- gameplay: src/game/ ----
TForm1::TShipControls TForm1::ReadControls() { return {}; }
void TForm1::PlayerStep() {}
void TForm1::RespawnEnemy(int) {}
void TForm1::EnemyStep() {}
void TForm1::TargetSpawn() {}
void TForm1::TargetStep() {}
void TForm1::ShotStep() {}
void TForm1::MissileStep() {}
void TForm1::ExplosionStep() {}
void TForm1::SpawnExplosion(const TVector3&, TExplosionSize) {}
void TForm1::ProjectileHits(TProjectile, int, const TVector3&) {}
void TForm1::DestroyShip(const TVector3&) {}
void TForm1::RestartChannel(int) {}
// ---- end of gameplay ----

// ---- scene and play frame: src/SXView1/Scene.cpp, PlayFrame.cpp ----
void TForm1::KNInitScene() {}
void TForm1::StartStageScene() {}
void TForm1::PlayFrame() {}
bool TForm1::SceneMeshesReady() { return false; }
std::optional<TMatrix4> TForm1::CameraMatrixInPlayer() { return std::nullopt; }
void TForm1::SetCameraMatrixInPlayer(const TMatrix4&) {}
void TForm1::MoveCameraInOwnSpace(float) {}
// ---- end of scene and play frame ----

