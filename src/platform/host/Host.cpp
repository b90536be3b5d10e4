#include "platform/host/Host.h"

#include <atomic>
#include <iostream>
#include <stdexcept>

namespace host {
namespace {
std::atomic<IHost*> g_host{nullptr};
}

IHost& Current() {
  IHost* h = g_host.load();
  if (!h) throw std::logic_error("no host: the program must create its host before using the platform");
  return *h;
}

bool HasCurrent() { return g_host.load() != nullptr; }

void SetCurrent(IHost* h) { g_host.store(h); }

void IHost::PresentMessageBox(const std::string& caption, const std::string& text) {
  std::cerr << caption << ": " << text << std::endl;
}

}  // namespace host
