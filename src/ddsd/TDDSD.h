// The sound component: opens DirectSound at priority level, makes the primary
// buffer (and, with Use3D, the 3-D listener) and a fixed array of channels.
// Without a sound device everything it offers quietly does nothing.
#pragma once

#include <memory>
#include <vector>

#include "ddsd/DDSDCom.h"
#include "ddsd/DDSDLog.h"
#include "platform/dsound/DSound.h"

class TDDSDChannel;
class TDDSDListener;

class TDDSD {
 public:
  // `ownerWindow` is the owner form's window, for the cooperative level.
  explicit TDDSD(HWND ownerWindow = nullptr);
  virtual ~TDDSD();
  TDDSD(const TDDSD&) = delete;
  TDDSD& operator=(const TDDSD&) = delete;

  // The form loader is done setting properties: apply the debug options and open the device.
  virtual void Loaded();
  // 1 when DirectSound is open, 0 when it could not be created.
  int Initialize();
  // Channels 0 .. ChannelCount - 1; any other number is reported (and halts with dsoHaltOnError).
  TDDSDChannel* GetChannel(DWORD number);

  TDDSDDebugOption DebugOption() const { return DebugOption_; }
  void SetDebugOption(TDDSDDebugOption option);
  bool Use3D() const { return Use3D_; }
  void SetUse3D(bool use3D) { Use3D_ = use3D; }
  DWORD ChannelCount() const { return ChannelCount_; }
  // At least 1; takes effect at the next Initialize.
  void SetChannelCount(DWORD count) { ChannelCount_ = count < 1 ? 1 : count; }
  bool StickyFocus() const { return StickyFocus_; }
  void SetStickyFocus(bool sticky) { StickyFocus_ = sticky; }
  HWND OwnerWindow() const { return OwnerWindow_; }
  void SetOwnerWindow(HWND window) { OwnerWindow_ = window; }

  bool Initialized() const { return Initialized_; }
  IDirectSound* DirectSound() const { return DirectSound_.Get(); }
  IDirectSoundBuffer* PrimaryBuffer() const { return Primary_.Get(); }
  IDirectSound3DListener* Listener3D() const { return Listener3D_.Get(); }
  TDDSDListener* Listener() const { return Listener_.get(); }

 private:
  void FreeChannels();

  HWND OwnerWindow_;
  TComRef<IDirectSound> DirectSound_;
  TComRef<IDirectSoundBuffer> Primary_;
  TComRef<IDirectSound3DListener> Listener3D_;
  std::vector<std::unique_ptr<TDDSDChannel>> Channels_;
  DWORD ChannelCount_ = 8;
  bool Initialized_ = false;
  bool Use3D_ = false;
  std::unique_ptr<TDDSDListener> Listener_;
  bool StickyFocus_ = true;
  TDDSDDebugOption DebugOption_ = dsoHaltOnError;
};
