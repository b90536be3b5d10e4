// A window of a real host seen through a demo host: everything goes to the real window;
// what the program reads of its state (activation, place, full screen) the demo host
// answers itself in a subclass.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/host/Host.h"

namespace host::demo {

class ForwardingWindow : public IWindow {
 public:
  explicit ForwardingWindow(std::unique_ptr<IWindow> inner) : inner_(std::move(inner)) {}
  IWindow& Inner() { return *inner_; }

  void SetCaption(const std::string& utf8) override { inner_->SetCaption(utf8); }
  std::string Caption() const override { return inner_->Caption(); }
  void Show(bool visible) override { inner_->Show(visible); }
  int ClientWidth() const override { return inner_->ClientWidth(); }
  int ClientHeight() const override { return inner_->ClientHeight(); }
  void SetFullscreen(bool fullscreen) override { inner_->SetFullscreen(fullscreen); }
  void Present(const uint32_t* pixels, int width, int height, int pitch) override {
    inner_->Present(pixels, width, height, pitch);
  }
  void PresentOwned(std::vector<uint32_t>& pixels, int width, int height) override {
    inner_->PresentOwned(pixels, width, height);
  }
  const std::vector<uint32_t>& LastPresented(int& width, int& height) const override {
    return inner_->LastPresented(width, height);
  }
  void SetNotice(const std::string& utf8) override { inner_->SetNotice(utf8); }
  std::string Notice() const override { return inner_->Notice(); }

 protected:
  std::unique_ptr<IWindow> inner_;
};

// A host that passes through what a demo neither records nor plays: the wrapped host stays
// the one that shows windows and message boxes.
class ForwardingHost : public IHost {
 public:
  explicit ForwardingHost(std::unique_ptr<IHost> inner) : inner_(std::move(inner)) {}
  std::string Name() const override { return inner_->Name(); }
  void PresentMessageBox(const std::string& caption, const std::string& text) override {
    inner_->ShowMessageBox(caption, text);
  }
  void SetScreenSaverEnabled(bool enabled) override { inner_->SetScreenSaverEnabled(enabled); }
  Comforts* GetComforts() override { return inner_->GetComforts(); }
  uint64_t ScreenLosses() override { return inner_->ScreenLosses(); }
  int RenderScale() const override { return inner_->RenderScale(); }

 protected:
  std::unique_ptr<IHost> inner_;
};

}  // namespace host::demo
