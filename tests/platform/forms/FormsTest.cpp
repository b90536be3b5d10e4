#include <gtest/gtest.h>

#include "platform/forms/StdCtrls.h"
#include "platform/host/Hosts.h"
#include "support/TestSupport.h"

namespace {

using namespace forms;

host::Event Key(host::IWindow& w, int vk, uint32_t shift = 0) {
  host::Event e;
  e.type = host::EventType::KeyDown;
  e.window = &w;
  e.vk = vk;
  e.shift = shift;
  return e;
}

host::Event Mouse(host::IWindow& w, host::EventType type, int x, int y, int button = host::mbLeft) {
  host::Event e;
  e.type = type;
  e.window = &w;
  e.x = x;
  e.y = y;
  e.button = button;
  return e;
}

// A small dialog of every control kind.
class TTestDialog : public TForm {
 public:
  explicit TTestDialog(TApplication& app) : TForm(app) {
    BorderStyle = TFormBorderStyle::bsDialog;
    SetClientSize(200, 120);
    Font.Name = "ＭＳ Ｐゴシック";
    Font.Charset = SHIFTJIS_CHARSET;
    Group = &Add<TGroupBox>();
    Group->SetBounds(4, 4, 190, 60);
    Check = &Add<TCheckBox>(Group);
    Check->SetBounds(8, 16, 80, 17);
    Check->TabOrder = 0;
    Radio1 = &Add<TRadioButton>(Group);
    Radio1->SetBounds(100, 16, 80, 17);
    Radio1->TabOrder = 1;
    Radio2 = &Add<TRadioButton>(Group);
    Radio2->SetBounds(100, 36, 80, 17);
    Radio2->TabOrder = 2;
    Radio2->SetChecked(true);
    Combo = &Add<TComboBox>();
    Combo->SetBounds(8, 70, 60, 20);
    Combo->Items = {"a", "b", "c"};
    Combo->SetItemIndex(0);
    Combo->TabOrder = 3;
    Ok = &Add<TButton>();
    Ok->SetBounds(80, 90, 50, 24);
    Ok->ModalResult = mrOk;
    Ok->TabOrder = 4;
    DefaultButton = Ok;
    Cancel = &Add<TButton>();
    Cancel->SetBounds(140, 90, 50, 24);
    Cancel->ModalResult = mrCancel;
    Cancel->TabOrder = 5;
    CancelButton = Cancel;
  }
  TGroupBox* Group;
  TCheckBox* Check;
  TRadioButton *Radio1, *Radio2;
  TComboBox* Combo;
  TButton *Ok, *Cancel;
};

class FormsTest : public ::testing::Test {
 protected:
  void MakeHost(const std::string& script = "") {
    if (!script.empty()) testsupport::WriteFileText(dir_.File("s.txt"), script);
    host_ = host::CreateHeadlessHost({.scriptPath = script.empty() ? "" : dir_.File("s.txt")});
    app_ = std::make_unique<TApplication>(*host_);
  }
  testsupport::TempDir dir_;
  std::unique_ptr<host::IHost> host_;
  std::unique_ptr<TApplication> app_;
};

TEST_F(FormsTest, IdleHandlerRunsWhenTheQueueIsEmptyAndWaitsOnlyWhenDone) {
  MakeHost();
  TForm& form = app_->CreateForm<TForm>();
  form.Show();
  int calls = 0;
  app_->OnIdle = [&](TObject*, bool& done) {
    ++calls;
    done = false;
  };
  DWORD t0 = timeGetTime();
  for (int i = 0; i < 10; ++i) app_->HandleMessage();
  // Showing the form queued an activation and a paint; the rest of the calls were idle.
  EXPECT_GE(calls, 6);
  EXPECT_EQ(timeGetTime(), t0);  // Done = false: no waiting
  app_->OnIdle = [&](TObject*, bool&) { ++calls; };
  int before = calls;
  app_->HandleMessage();
  EXPECT_EQ(calls, before + 1);
  EXPECT_EQ(timeGetTime(), t0 + 100);  // Done stayed true: waited for an event
  app_->OnIdle = nullptr;
  app_->HandleMessage();
  EXPECT_EQ(calls, before + 1);
}

TEST_F(FormsTest, HandlersCanBeAssignedAndRemovedAtRunTime) {
  MakeHost("0 down Enter\n0 mouse 5 6 right shift\n0 down Escape\n");
  TForm& form = app_->CreateForm<TForm>();
  form.Show();
  std::vector<std::string> seen;
  form.OnKeyDown = [&](TObject* sender, WORD& key, TShiftState) {
    EXPECT_EQ(sender, &form);
    seen.push_back("key " + std::to_string(key));
    if (key == 13)
      form.OnMouseMove = [&](TObject*, TShiftState s, int x, int y) {
        seen.push_back("move " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(s));
      };
    if (key == 27) form.OnKeyDown = nullptr;
  };
  app_->ProcessMessages();
  EXPECT_EQ(seen, (std::vector<std::string>{"key 13", "move 5,6 " + std::to_string(ssShift | ssRight), "key 27"}));
  EXPECT_FALSE(form.OnKeyDown);
}

TEST_F(FormsTest, ClosingTheMainFormEndsTheApplicationAndRunsOnDestroyOnce) {
  MakeHost("0 down Escape\n");
  int destroyed = 0;
  {
    TApplication app(*host_);
    TForm& form = app.CreateForm<TForm>();
    form.OnDestroy = [&](TObject*) { ++destroyed; };
    form.OnKeyDown = [&](TObject*, WORD& key, TShiftState) {
      if (key == 27) form.Close();
    };
    app.Run();
    EXPECT_TRUE(app.Terminated());
    EXPECT_EQ(destroyed, 0);
  }
  EXPECT_EQ(destroyed, 1);
}

TEST_F(FormsTest, ModalDialogRunsItsOwnLoopWithTheKeyboard) {
  // Tab to the radio group, an arrow to the first radio, Tab to the list, Down, Enter = OK.
  MakeHost("0 down Space\n0 down Tab\n0 down Up\n0 down Tab\n0 down Down\n0 down Enter\n");
  TForm& main = app_->CreateForm<TForm>();
  main.Show();
  auto dlg = MakeForm<TTestDialog>(*app_);
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(dlg->Check->Checked);
  EXPECT_TRUE(dlg->Radio1->Checked());
  EXPECT_FALSE(dlg->Radio2->Checked());
  EXPECT_EQ(dlg->Combo->Text(), "b");
  EXPECT_FALSE(dlg->Visible());
}

TEST_F(FormsTest, EscapeCancelsAndAnAnswererCanReplyWithoutShowing) {
  MakeHost("0 down Escape\n");
  TForm& main = app_->CreateForm<TForm>();
  main.Show();
  auto dlg = MakeForm<TTestDialog>(*app_);
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  app_->ModalAnswer = [](TForm& f) -> std::optional<int> {
    static_cast<TTestDialog&>(f).Check->Checked = true;
    return mrOk;
  };
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_TRUE(dlg->Check->Checked);
}

TEST_F(FormsTest, TabSpaceArrowsAndTheDropDownList) {
  MakeHost();
  auto dlg = MakeForm<TTestDialog>(*app_);
  dlg->Show();
  auto& w = dlg->Window();
  dlg->SelectNext(true);
  EXPECT_EQ(dlg->ActiveControl(), dlg->Check);
  dlg->HandleEvent(Key(w, host::VK_SPACE));
  EXPECT_TRUE(dlg->Check->Checked);
  dlg->HandleEvent(Key(w, host::VK_SPACE));
  EXPECT_FALSE(dlg->Check->Checked);
  // Only the checked radio is a tab stop.
  dlg->HandleEvent(Key(w, host::VK_TAB));
  EXPECT_EQ(dlg->ActiveControl(), dlg->Radio2);
  dlg->HandleEvent(Key(w, host::VK_TAB));
  EXPECT_EQ(dlg->ActiveControl(), dlg->Combo);
  dlg->HandleEvent(Key(w, host::VK_TAB, ssShift));
  EXPECT_EQ(dlg->ActiveControl(), dlg->Radio2);
  dlg->HandleEvent(Key(w, host::VK_DOWN));  // wraps to the first radio
  EXPECT_TRUE(dlg->Radio1->Checked());
  EXPECT_EQ(dlg->ActiveControl(), dlg->Radio1);

  dlg->SetActiveControl(dlg->Combo);
  dlg->HandleEvent(Key(w, host::VK_DOWN, ssAlt));
  EXPECT_TRUE(dlg->Combo->DroppedDown());
  dlg->HandleEvent(Key(w, host::VK_DOWN));
  dlg->HandleEvent(Key(w, host::VK_DOWN));
  dlg->HandleEvent(Key(w, host::VK_DOWN));  // stops at the last item
  EXPECT_EQ(dlg->Combo->ItemIndex(), 0);    // the open list moves only its highlight
  // Enter in the open list chooses; it does not press the default button.
  dlg->HandleEvent(Key(w, host::VK_RETURN));
  EXPECT_FALSE(dlg->Combo->DroppedDown());
  EXPECT_EQ(dlg->Combo->Text(), "c");
  EXPECT_EQ(dlg->ModalResult, mrNone);
  dlg->HandleEvent(Key(w, host::VK_F4));
  dlg->HandleEvent(Key(w, host::VK_UP));
  dlg->HandleEvent(Key(w, host::VK_ESCAPE));  // closes the list only
  EXPECT_EQ(dlg->Combo->Text(), "c");
  EXPECT_EQ(dlg->ModalResult, mrNone);
  dlg->HandleEvent(Key(w, host::VK_RETURN));
  EXPECT_EQ(dlg->ModalResult, mrOk);
}

TEST_F(FormsTest, MouseClicksCheckChooseAndPress) {
  MakeHost();
  auto dlg = MakeForm<TTestDialog>(*app_);
  dlg->Show();
  auto& w = dlg->Window();
  using host::EventType;
  // The check box sits at (4 + 8, 4 + 16) in the form.
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 20, 28));
  EXPECT_FALSE(dlg->Check->Checked);  // toggles on release
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 20, 28));
  EXPECT_TRUE(dlg->Check->Checked);
  // Pressed on it, released elsewhere: no click.
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 20, 28));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 150, 10));
  EXPECT_TRUE(dlg->Check->Checked);
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 110, 26));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 110, 26));
  EXPECT_TRUE(dlg->Radio1->Checked());
  // The list opens on a click and an item is chosen by clicking it.
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 30, 80));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 30, 80));
  ASSERT_TRUE(dlg->Combo->DroppedDown());
  RECT list = dlg->Combo->ListRect();
  int y = list.top + 1 + dlg->Combo->ItemHeight() * 2 + 3;
  dlg->HandleEvent(Mouse(w, EventType::MouseMove, 30, y));
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 30, y));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 30, y));
  EXPECT_FALSE(dlg->Combo->DroppedDown());
  EXPECT_EQ(dlg->Combo->Text(), "c");
  // A click elsewhere closes an open list without choosing.
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 30, 80));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 30, 80));
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 190, 5));
  EXPECT_FALSE(dlg->Combo->DroppedDown());
  EXPECT_EQ(dlg->Combo->Text(), "c");
  dlg->HandleEvent(Mouse(w, EventType::MouseDown, 160, 100));
  dlg->HandleEvent(Mouse(w, EventType::MouseUp, 160, 100));
  EXPECT_EQ(dlg->ModalResult, mrCancel);
}

TEST_F(FormsTest, InputForOtherWindowsIsIgnoredWhileADialogIsModal) {
  MakeHost("1 down Enter\n2 down Enter\n");
  TForm& main = app_->CreateForm<TForm>();
  main.Show();
  int mainKeys = 0;
  main.OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++mainKeys; };
  auto dlg = MakeForm<TTestDialog>(*app_);
  app_->PushModal(dlg.get());
  host_->TickDone(1);
  app_->ProcessMessages();
  EXPECT_EQ(mainKeys, 0);
  app_->PopModal();
  host_->TickDone(2);
  app_->ProcessMessages();
  EXPECT_EQ(mainKeys, 1);
}

TEST_F(FormsTest, PaintShowsVisibleImagesOverTheBackground) {
  MakeHost();
  TForm& form = app_->CreateForm<TForm>();
  form.SetClientSize(8, 6);
  auto& image = form.Add<TImage>();
  image.Align = TAlign::alClient;
  image.Canvas().Brush.Color = 0x0000FF;
  image.Canvas().FillRect(RECT{0, 0, 4, 4});
  form.Show();
  app_->ProcessMessages();
  app_->HandleMessage();  // the paint comes when the queue is empty
  int w = 0, h = 0;
  auto pixels = form.Window().LastPresented(w, h);
  ASSERT_EQ(w, 8);
  ASSERT_EQ(h, 6);
  EXPECT_EQ(pixels[0], 0xFF0000u);
  image.SetVisible(false);
  app_->HandleMessage();
  pixels = form.Window().LastPresented(w, h);
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(pixels[0], (uint32_t(GetRValue(face)) << 16) | (uint32_t(GetGValue(face)) << 8) | GetBValue(face));
}

}  // namespace

TEST(FormMessages, HostEventsBecomeTheMessagesTheyStandForInTheSystemsOrder) {
  auto of = [](host::EventType type, auto&& set) {
    host::Event e;
    e.type = type;
    set(e);
    return WindowMessages(e);
  };
  auto none = [](host::Event&) {};
  // Keys: the virtual key, repeat count 1, the scan code, KF_REPEAT for an auto-repeat.
  EXPECT_EQ(of(host::EventType::KeyDown,
               [](host::Event& e) {
                 e.vk = 'H';
                 e.scanCode = 0x23;
               }),
            (std::vector<TMessage>{{WM_KEYDOWN, 'H', 0x00230001}}));
  EXPECT_EQ(of(host::EventType::KeyDown,
               [](host::Event& e) {
                 e.vk = 'H';
                 e.scanCode = 0x23;
                 e.repeat = true;
               }),
            (std::vector<TMessage>{{WM_KEYDOWN, 'H', 0x40230001}}));
  EXPECT_EQ(of(host::EventType::KeyUp, [](host::Event& e) { e.vk = host::VK_ESCAPE; }),
            (std::vector<TMessage>{{WM_KEYUP, host::VK_ESCAPE, 1}}));
  // The mouse: the button's own message, the position signed, the buttons and keys held.
  EXPECT_EQ(of(host::EventType::MouseDown,
               [](host::Event& e) {
                 e.button = mbRight;
                 e.x = -3;
                 e.y = 470;
                 e.shift = ssRight | ssShift;
               }),
            (std::vector<TMessage>{{WM_RBUTTONDOWN, MK_RBUTTON | MK_SHIFT, MAKELPARAM(-3, 470)}}));
  EXPECT_EQ(of(host::EventType::MouseUp, [](host::Event& e) { e.button = mbMiddle; }),
            (std::vector<TMessage>{{WM_MBUTTONUP, 0, 0}}));
  EXPECT_EQ(of(host::EventType::MouseMove,
               [](host::Event& e) {
                 e.x = 10;
                 e.y = 20;
                 e.shift = ssLeft | ssCtrl;
               }),
            (std::vector<TMessage>{{WM_MOUSEMOVE, MK_LBUTTON | MK_CONTROL, MAKELPARAM(10, 20)}}));
  // Activation: the application first, then the window, then the palette question.
  EXPECT_EQ(
      of(host::EventType::Activate, none),
      (std::vector<TMessage>{{WM_ACTIVATEAPP, TRUE, 0}, {WM_ACTIVATE, WA_ACTIVE, 0}, {WM_QUERYNEWPALETTE, 0, 0}}));
  EXPECT_EQ(of(host::EventType::Deactivate, none),
            (std::vector<TMessage>{{WM_ACTIVATE, WA_INACTIVE, 0}, {WM_ACTIVATEAPP, FALSE, 0}}));
  EXPECT_EQ(of(host::EventType::Size,
               [](host::Event& e) {
                 e.x = 1920;
                 e.y = 1080;
               }),
            (std::vector<TMessage>{{WM_SIZE, SIZE_RESTORED, MAKELPARAM(1920, 1080)}}));
  EXPECT_EQ(of(host::EventType::Close, none), (std::vector<TMessage>{{WM_CLOSE, 0, 0}}));
}

TEST_F(FormsTest, AWindowHookSeesEveryMessageAndCanSwallowTheEvent) {
  MakeHost();
  TForm form(*app_);
  std::vector<UINT> seen;
  int keyDowns = 0;
  form.OnKeyDown = [&](TObject*, WORD&, TShiftState) { ++keyDowns; };
  form.WindowHooks.push_back([&](const TMessage& m) {
    seen.push_back(m.Msg);
    return m.Msg == WM_KEYDOWN && m.WParam == 'Q';  // swallows Q only
  });
  host::Event e;
  e.type = host::EventType::KeyDown;
  e.vk = 'Q';
  form.HandleEvent(e);
  e.vk = 'W';
  form.HandleEvent(e);
  e.type = host::EventType::Activate;
  form.HandleEvent(e);
  EXPECT_EQ(keyDowns, 1);  // W reached the form, Q did not
  EXPECT_EQ(seen, (std::vector<UINT>{WM_KEYDOWN, WM_KEYDOWN, WM_ACTIVATEAPP, WM_ACTIVATE, WM_QUERYNEWPALETTE}));
}
