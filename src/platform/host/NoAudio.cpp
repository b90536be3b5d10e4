#include "platform/host/Backends.h"

namespace host {
namespace {

class NoAudio final : public IAudioDevice {
 public:
  bool Available() const override { return false; }
  bool Open(int, Callback) override { return false; }
  void Close() override {}
  void Lock() override {}
  void Unlock() override {}
};

}  // namespace

std::unique_ptr<IAudioDevice> CreateNoAudio() { return std::make_unique<NoAudio>(); }

}  // namespace host
