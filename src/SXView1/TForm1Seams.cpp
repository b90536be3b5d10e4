// The places where the main form meets parts of the program that are not built yet:
// the display, sound and input components, the scene and its frames, and the
// per-state frames. Each is empty (or reports "nothing there") until its part
// connects here; none of them pretends to do the work.
#include "SXView1/TForm1.h"

// Display component: its windowed set-up before FormCreate.
void TForm1::KNBuildWindowedSetup() {}
// Display component: KN.D3DOptions.
void TForm1::KNSetD3DOptions(uint32_t) {}
// Display component: KN.SetFullScreenMode.
void TForm1::KNSetFullScreenMode(int, int, int, int, const std::string&) {}
// Display component: the device's SetRenderState.
void TForm1::KNSetRenderState(DWORD, DWORD) {}

// Sound component: MusicBuffer on DDSD1, channel 5 and its volume.
void TForm1::DDSDCreateMusicBuffer() {}
// Sound component: the nine effect waves and channels 0..10.
void TForm1::DDSDLoadSoundEffects() {}
// Sound component: the nine effect waves freed in load order.
void TForm1::DDSDFreeSoundEffects() {}
// Sound component: a channel's Stop.
void TForm1::DDSDStopChannel(int) {}
// Music: BeginStageClear's channel 5 reset and the stage-clear tune.
void TForm1::BeginStageClearMusic() {}

// Input component: Joy.SetKeyMap.
void TForm1::JoySetKeyMap(int, int, uint8_t) {}

// Scene set-up: KNInit's render states, scene, lights, materials, frames, meshes, textures.
void TForm1::KNInitScene() {}
// Title screen tick.
void TForm1::TitleFrame() {}
// Play tick.
void TForm1::PlayFrame() {}
// Game-over screen tick.
void TForm1::GameOverFrame() {}
// Title screen: the scene steps of EnterTitle.
void TForm1::EnterTitleScene() {}
// Title screen: the picture composed on Image2.
void TForm1::ComposeTitle() {}
// Scene set-up: the world reset of StartStage.
void TForm1::StartStageScene() {}
// Scene: the ship's meshes do not exist before the scene is built.
bool TForm1::SceneMeshesReady() { return false; }
// Scene frames: no camera frame yet.
std::optional<TMatrix4> TForm1::CameraMatrixInPlayer() { return std::nullopt; }
void TForm1::SetCameraMatrixInPlayer(const TMatrix4&) {}
void TForm1::MoveCameraInOwnSpace(float) {}
// Data set: the title picture.
std::vector<uint8_t> TForm1::TitleJpeg() { return {}; }
