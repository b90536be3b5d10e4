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
  const std::vector<uint32_t>& LastPresented(int& width, int& height) const override {
    return inner_->LastPresented(width, height);
  }

 protected:
  std::unique_ptr<IWindow> inner_;
};

}  // namespace host::demo
