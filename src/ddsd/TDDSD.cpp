#include "ddsd/TDDSD.h"

#include "ddsd/TDDSDChannel.h"
#include "ddsd/TDDSDListener.h"
#include "platform/rtl/SysUtils.h"

TDDSD::TDDSD(HWND ownerWindow) : OwnerWindow_(ownerWindow) { SetDebugOption(DebugOption_); }

TDDSD::~TDDSD() {
  FreeChannels();
  Listener_.reset();
  if (Listener3D_)
    DDSDCheckInDestructor(HRESULT(Listener3D_.Detach()->Release()), "DirectSound3D Listnerの解放に失敗しました");
  if (Primary_) DDSDCheckInDestructor(HRESULT(Primary_.Detach()->Release()), "一次バッファの解放に失敗しました");
  if (DirectSound_) DDSDCheckInDestructor(HRESULT(DirectSound_.Detach()->Release()), "DirectSoundの解放に失敗しました");
}

void TDDSD::SetDebugOption(TDDSDDebugOption option) {
  DebugOption_ = option;
  DDSDDebugUnit().SetSwitches(option);
}

void TDDSD::Loaded() {
  SetDebugOption(DebugOption_);
  Initialize();
}

void TDDSD::FreeChannels() {
  // In number order, as the channels were made.
  for (auto& c : Channels_) c.reset();
  Channels_.clear();
}

int TDDSD::Initialize() {
  FreeChannels();
  Channels_.reserve(ChannelCount_);
  for (DWORD i = 0; i < ChannelCount_; ++i) Channels_.push_back(std::make_unique<TDDSDChannel>(this));

  // A second Initialize starts from a closed device.
  Listener_.reset();
  Listener3D_.Reset();
  Primary_.Reset();
  DirectSound_.Reset();
  Initialized_ = false;

  if (DirectSoundCreate(nullptr, DirectSound_.Put(), nullptr) != DS_OK) {
    DirectSound_.Reset();
    return 0;
  }
  Initialized_ = true;
  DDSDCheck(DirectSound_->SetCooperativeLevel(OwnerWindow_, DSSCL_PRIORITY),
            "DirectSoundの協調レベルの設定に失敗しました");

  DSBUFFERDESC desc{};
  desc.dwSize = DSBUFFERDESC_SIZE;
  desc.dwFlags = DSBCAPS_PRIMARYBUFFER | (Use3D_ ? DSBCAPS_CTRL3D : 0);
  DDSDCheck(DirectSound_->CreateSoundBuffer(&desc, Primary_.Put(), nullptr), "一次バッファの作成に失敗しました");

  if (Use3D_ && Primary_) {
    if (DDSDCheck(Primary_->QueryInterface(IID_IDirectSound3DListener, reinterpret_cast<void**>(Listener3D_.Put())),
                  "DirectSound3D Listenerの作成に失敗しました") == DS_OK)
      Listener_ = std::make_unique<TDDSDListener>(Listener3D_.Get());
  }
  return 1;
}

TDDSDChannel* TDDSD::GetChannel(DWORD number) {
  if (number < Channels_.size()) return Channels_[number].get();
  DDSDLog(rtl::Format("チャンネル番号%uは無効です、%u～%uの範囲で指定してください", number, 0u, ChannelCount_ - 1));
  if (DDSDDebugUnit().HaltOnError()) rtl::Halt(1);
  return nullptr;
}
