// The controls of the framework's dialogs and forms, drawn with the GDI in the
// classic look of the platform: images, labels, group boxes, check boxes, radio
// buttons, drop-down lists and push buttons.
#pragma once

#include <string>
#include <vector>

#include "platform/forms/Forms.h"

namespace forms {

// A picture on the form (not focusable).
class TImage final : public TControl {
 public:
  TImage(TForm& form, TControl* parent = nullptr);
  TPicture Picture;
  TAlign Align = TAlign::alNone;
  // Size the control to its picture.
  bool AutoSize = false;
  // The picture's bitmap canvas; an empty picture becomes a bitmap of the control's size.
  TCanvas& Canvas();
  void Paint(TCanvas& canvas) override;

 private:
  void PictureChanged();
};

class TLabel final : public TControl {
 public:
  TLabel(TForm& form, TControl* parent = nullptr) : TControl(form, parent) {}
  void Paint(TCanvas& canvas) override;
};

class TGroupBox final : public TControl {
 public:
  TGroupBox(TForm& form, TControl* parent = nullptr) : TControl(form, parent) {}
  void Paint(TCanvas& canvas) override;
};

// Check boxes and radio buttons share the pressing logic.
class TButtonControl : public TControl {
 public:
  TButtonControl(TForm& form, TControl* parent);
  TNotifyEvent OnClick;
  bool KeyDown(WORD key, TShiftState shift) override;
  bool MouseDown(TMouseButton button, int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;
  bool Pressed() const { return pressed_; }

 protected:
  virtual void Click();

 private:
  bool pressed_ = false;
};

class TCheckBox final : public TButtonControl {
 public:
  TCheckBox(TForm& form, TControl* parent = nullptr) : TButtonControl(form, parent) {}
  bool Checked = false;
  void Paint(TCanvas& canvas) override;

 protected:
  void Click() override;
};

// Radio buttons with the same parent form one group: checking one clears the others,
// and only the checked one is a tab stop; the arrow keys move the choice.
class TRadioButton final : public TButtonControl {
 public:
  TRadioButton(TForm& form, TControl* parent = nullptr) : TButtonControl(form, parent) {}
  bool Checked() const { return checked_; }
  void SetChecked(bool checked);
  void Paint(TCanvas& canvas) override;
  bool KeyDown(WORD key, TShiftState shift) override;

 protected:
  void Click() override { SetChecked(true); }

 private:
  std::vector<TRadioButton*> Group() const;
  bool checked_ = false;
};

class TButton final : public TButtonControl {
 public:
  TButton(TForm& form, TControl* parent = nullptr);
  // Set on the form when the button is clicked (mrNone: nothing).
  int ModalResult = mrNone;
  bool Default = false;
  bool Cancel = false;
  void Paint(TCanvas& canvas) override;

 protected:
  void Click() override;
};

// A drop-down list that cannot be edited (csDropDownList).
class TComboBox final : public TControl {
 public:
  TComboBox(TForm& form, TControl* parent = nullptr);
  std::vector<std::string> Items;
  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);
  // The chosen item's text ("" without a choice).
  std::string Text() const;
  bool DroppedDown() const { return dropped_; }
  void SetDroppedDown(bool dropped);
  TNotifyEvent OnChange;

  void Paint(TCanvas& canvas) override;
  void PaintOverlay(TCanvas& canvas) override;
  bool KeyDown(WORD key, TShiftState shift) override;
  bool MouseDown(TMouseButton button, int x, int y) override;
  void MouseMove(int x, int y) override;
  void MouseUp(TMouseButton button, int x, int y) override;
  bool HitTest(int x, int y) const override;
  void FocusLost() override { SetDroppedDown(false); }
  void ClosePopup() override;
  // The open list's rectangle in form coordinates (below the field, or above it
  // when the form has no room below).
  RECT ListRect() const;
  int ItemHeight() const;

 private:
  int ItemAt(int x, int y) const;
  void Choose(int index);

  int itemIndex_ = -1;
  int hot_ = -1;
  bool dropped_ = false;
  bool openedByThisPress_ = false;
};

}  // namespace forms
