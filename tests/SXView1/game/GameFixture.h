// The real main form on the headless machine, reading the generated data set, with a
// fixed seed. Input comes from a script of timed key events (the same format as
// --script), and ticks run through the application's own message loop.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "SXView1/TForm1.h"
#include "app/Session.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"

class GameTest : public ::testing::Test {
 protected:
  // Creates the machine, the application and the form. `script` holds lines such as
  // "12 down Z"; its ticks count from the first tick of the idle loop.
  // `Form` may be a subclass of TForm1 that opens protected members to a test; `fullScreen`
  // starts in the 16-bit full-screen set-up instead of a window.
  template <class Form = TForm1>
  Form& Start(const std::string& script = "", uint32_t seed = 1, TCommandLine answer = {}, bool fullScreen = false) {
    answer.Headless = true;
    answer.FullScreen = fullScreen;
    app_.reset();
    host_.reset();
    host::HeadlessOptions options;
    if (!script.empty()) {
      testsupport::WriteFileText(dir_.File("script.txt"), script);
      options.scriptPath = dir_.File("script.txt");
    }
    host_ = host::CreateHeadlessHost(options);
    host::SetCurrent(host_.get());
    app_ = CreateAnsweringApplication(*host_, answer);
    TForm1Options formOptions;
    formOptions.Seed = seed;
    formOptions.DataDirOverride = TAVVY_DATA_DIR;
    Form& form = app_->CreateForm<Form>(formOptions);
    form_ = &form;
    form_->OnTickDone = [this] { host_->TickDone(form_->TicksRun()); };
    form_->Show();
    return form;
  }

  // Runs the message loop until `ticks` more game ticks have run.
  void RunTicks(uint64_t ticks) {
    uint64_t until = form_->TicksRun() + ticks;
    for (uint64_t guard = 0; form_->TicksRun() < until; ++guard) {
      ASSERT_LT(guard, ticks * 1000 + 1000) << "the loop stopped ticking";
      app_->HandleMessage();
    }
  }

  // Enter on the title, as the keyboard would deliver it to the form.
  void StartGame() {
    WORD key = 13;
    form_->FormKeyDown(form_, key, 0);
  }

  void TearDown() override {
    app_.reset();
    host::SetCurrent(nullptr);
    host_.reset();
  }

  testsupport::TempDir dir_;
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<forms::TApplication> app_;
  TForm1* form_ = nullptr;
};
