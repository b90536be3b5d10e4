// The places where the main form meets the other parts of the program: the display,
// sound and input components, the scene and its frames, and the per-state frames.
#include "SXView1/TForm1.h"
#include "SXView1/TitleJpeg.h"
#include "ddsd/TDDSDChannel.h"

// Display component: KN.D3DOptions.
void TForm1::KNSetD3DOptions(uint32_t options) { KN->D3DOptions = options; }
// Display component: KN.SetFullScreenMode.
void TForm1::KNSetFullScreenMode(int width, int height, int bitsPerPixel, int refreshRate,
                                 const std::string& driverName) {
  KN->SetFullScreenMode(width, height, bitsPerPixel, refreshRate, driverName);
}
// Display component: the device's SetRenderState.
void TForm1::KNSetRenderState(DWORD state, DWORD value) {
  if (KN->D3DDevice) KN->D3DDevice->SetRenderState(static_cast<D3DRENDERSTATETYPE>(state), value);
}

// Sound component: MusicBuffer on DDSD1, channel 5 and its volume.
void TForm1::DDSDCreateMusicBuffer() { CreateGameMusicBuffer(*DDSD1, Sounds); }
// Sound component: the nine effect waves and channels 0..10.
void TForm1::DDSDLoadSoundEffects() { LoadGameSoundEffects(*DDSD1, DataDir, Sounds); }
// Sound component: the nine effect waves freed in load order.
void TForm1::DDSDFreeSoundEffects() { FreeGameSoundEffects(Sounds); }
// Sound component: a channel's Stop.
void TForm1::DDSDStopChannel(int channel) {
  if (TDDSDChannel* c = DDSD1->GetChannel(static_cast<DWORD>(channel))) c->Stop();
}
// Input component: Joy.SetKeyMap.
void TForm1::JoySetKeyMap(int row, int entry, uint8_t code) { Joy->SetKeyMap(row, entry, code); }

// Data set: the title picture.
std::vector<uint8_t> TForm1::TitleJpeg() {
  return std::vector<uint8_t>(titlepicture::kTitleJpeg, titlepicture::kTitleJpeg + titlepicture::kTitleJpegSize);
}
