#include "platform/forms/StdCtrls.h"

#include <algorithm>

namespace forms {
namespace {

void Line(TCanvas& c, int x1, int y1, int x2, int y2, TColor color) {
  c.Pen.Color = color;
  c.Pen.Style = TPenStyle::psSolid;
  c.Pen.Mode = TPenMode::pmCopy;
  c.Pen.Width = 1;
  c.MoveTo(x1, y1);
  c.LineTo(x2, y2);
}

// Two-pixel bevel: the outer pair of colours on the outer ring, the inner pair inside.
void Bevel(TCanvas& c, RECT r, TColor outerTL, TColor outerBR, TColor innerTL, TColor innerBR) {
  for (int ring = 0; ring < 2; ++ring) {
    TColor tl = ring == 0 ? outerTL : innerTL;
    TColor br = ring == 0 ? outerBR : innerBR;
    int l = r.left + ring, t = r.top + ring, rr = r.right - 1 - ring, b = r.bottom - 1 - ring;
    Line(c, l, b - 1, l, t, tl);
    Line(c, l, t, rr, t, tl);
    Line(c, rr, t, rr, b, br);
    Line(c, rr, b, l - 1, b, br);
  }
}

void Fill(TCanvas& c, RECT r, TColor color) {
  c.Brush.Style = TBrushStyle::bsSolid;
  c.Brush.Color = color;
  c.FillRect(r);
}

// The dotted rectangle of the focused control.
void FocusRect(TCanvas& c, RECT r) {
  for (int x = r.left; x < r.right; x += 2) {
    c.SetPixel(x, r.top, clBlack);
    c.SetPixel(x, r.bottom - 1, clBlack);
  }
  for (int y = r.top; y < r.bottom; y += 2) {
    c.SetPixel(r.left, y, clBlack);
    c.SetPixel(r.right - 1, y, clBlack);
  }
}

void PutText(TCanvas& c, int x, int y, const std::string& text, TColor color) {
  c.Font.Color = color;
  c.Brush.Style = TBrushStyle::bsClear;
  c.TextOut(x, y, text);
}

}  // namespace

// ---- TImage --------------------------------------------------------------------

TImage::TImage(TForm& form, TControl* parent) : TControl(form, parent) {
  Picture.OnChange = [this] { PictureChanged(); };
}

void TImage::PictureChanged() {
  if (AutoSize && Picture.Width() > 0) {
    Width = Picture.Width();
    Height = Picture.Height();
  }
  if (auto* bm = dynamic_cast<TBitmap*>(Picture.Graphic())) {
    bm->Canvas().OnChange = [this] { Invalidate(); };
  }
  Invalidate();
}

TCanvas& TImage::Canvas() {
  if (!Picture.Graphic()) {
    auto bm = std::make_unique<TBitmap>(std::max(Width, 1), std::max(Height, 1));
    Picture.SetGraphic(std::move(bm));
  }
  return Picture.Bitmap().Canvas();
}

void TImage::Paint(TCanvas& canvas) {
  if (Align == TAlign::alClient) {
    Left = Top = 0;
    Width = Form().ClientWidth();
    Height = Form().ClientHeight();
  }
  if (Picture.Graphic() && !Picture.Graphic()->Empty()) {
    int x = 0, y = 0;
    ClientOrigin(x, y);
    canvas.Draw(x, y, *Picture.Graphic());
  }
}

// ---- TLabel, TGroupBox -----------------------------------------------------------

void TLabel::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  int x = 0, y = 0;
  ClientOrigin(x, y);
  PutText(canvas, x, y, Caption, Enabled ? clBtnText : clGrayText);
}

void TGroupBox::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  RECT r = BoundsInForm();
  int th = canvas.TextHeight("Ag");
  int frameTop = r.top + th / 2;
  // The etched frame: a shadow line with a highlight line one pixel inside and below.
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.Pen.Color = clBtnShadow;
  canvas.Pen.Mode = TPenMode::pmCopy;
  canvas.Pen.Style = TPenStyle::psSolid;
  canvas.Rectangle(r.left, frameTop, r.right - 1, r.bottom - 1);
  canvas.Pen.Color = clBtnHighlight;
  canvas.Rectangle(r.left + 1, frameTop + 1, r.right, r.bottom);
  if (!Caption.empty()) {
    int tw = canvas.TextWidth(Caption);
    Fill(canvas, RECT{r.left + 6, r.top, r.left + 10 + tw, r.top + th}, clBtnFace);
    PutText(canvas, r.left + 8, r.top, Caption, clBtnText);
  }
}

// ---- TButtonControl --------------------------------------------------------------

TButtonControl::TButtonControl(TForm& form, TControl* parent) : TControl(form, parent) { TabStop = true; }

void TButtonControl::Click() {
  if (OnClick) OnClick(this);
}

bool TButtonControl::KeyDown(WORD key, TShiftState) {
  if (key != host::VK_SPACE) return false;
  Click();
  Invalidate();
  return true;
}

bool TButtonControl::MouseDown(TMouseButton button, int, int) {
  if (button != mbLeft) return false;
  pressed_ = true;
  if (TabStop || dynamic_cast<TRadioButton*>(this)) Form().SetActiveControl(this);
  Invalidate();
  return true;
}

void TButtonControl::MouseUp(TMouseButton button, int x, int y) {
  if (button != mbLeft || !pressed_) return;
  pressed_ = false;
  Invalidate();
  if (TControl::HitTest(x, y)) Click();
}

// ---- TCheckBox -----------------------------------------------------------------

void TCheckBox::Click() {
  Checked = !Checked;
  TButtonControl::Click();
}

void TCheckBox::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  RECT r = BoundsInForm();
  int bx = r.left, by = r.top + (Height - 13) / 2;
  Bevel(canvas, RECT{bx, by, bx + 13, by + 13}, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight);
  Fill(canvas, RECT{bx + 2, by + 2, bx + 11, by + 11}, Pressed() || !Enabled ? clBtnFace : clWindow);
  if (Checked) {
    // The check mark: seven columns, three pixels tall, down then up.
    static constexpr int kRise[7] = {2, 3, 4, 3, 2, 1, 0};
    for (int i = 0; i < 7; ++i) {
      for (int k = 0; k < 3; ++k) canvas.SetPixel(bx + 3 + i, by + 3 + kRise[i] + k, clWindowText);
    }
  }
  int th = canvas.TextHeight("Ag");
  int tx = r.left + 17, ty = r.top + (Height - th) / 2;
  PutText(canvas, tx, ty, Caption, Enabled ? clBtnText : clGrayText);
  if (Focused()) FocusRect(canvas, RECT{tx - 1, ty - 1, tx + canvas.TextWidth(Caption) + 1, ty + th + 1});
}

// ---- TRadioButton --------------------------------------------------------------

std::vector<TRadioButton*> TRadioButton::Group() const {
  std::vector<TRadioButton*> group;
  for (auto& c : Form().Controls()) {
    auto* rb = dynamic_cast<TRadioButton*>(c.get());
    if (rb && rb->Parent() == Parent() && rb->Visible()) group.push_back(rb);
  }
  return group;
}

void TRadioButton::SetChecked(bool checked) {
  checked_ = checked;
  if (checked) {
    for (TRadioButton* rb : Group()) {
      if (rb != this) {
        rb->checked_ = false;
        rb->TabStop = false;
      }
    }
    TabStop = true;
    if (OnClick) OnClick(this);
  }
  Invalidate();
}

bool TRadioButton::KeyDown(WORD key, TShiftState shift) {
  if (key == host::VK_UP || key == host::VK_LEFT || key == host::VK_DOWN || key == host::VK_RIGHT) {
    auto group = Group();
    auto it = std::find(group.begin(), group.end(), this);
    if (group.size() < 2 || it == group.end()) return true;
    size_t i = static_cast<size_t>(it - group.begin());
    bool back = key == host::VK_UP || key == host::VK_LEFT;
    i = back ? (i + group.size() - 1) % group.size() : (i + 1) % group.size();
    group[i]->SetChecked(true);
    Form().SetActiveControl(group[i]);
    return true;
  }
  return TButtonControl::KeyDown(key, shift);
}

void TRadioButton::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  RECT r = BoundsInForm();
  int bx = r.left, by = r.top + (Height - 12) / 2;
  canvas.Pen.Mode = TPenMode::pmCopy;
  canvas.Pen.Style = TPenStyle::psSolid;
  canvas.Pen.Color = clBtnShadow;
  canvas.Brush.Style = TBrushStyle::bsSolid;
  canvas.Brush.Color = Pressed() || !Enabled ? clBtnFace : clWindow;
  canvas.Ellipse(bx, by, bx + 12, by + 12);
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.Pen.Color = cl3DDkShadow;
  canvas.Ellipse(bx + 1, by + 1, bx + 11, by + 11);
  if (checked_) {
    canvas.Pen.Color = clWindowText;
    canvas.Brush.Style = TBrushStyle::bsSolid;
    canvas.Brush.Color = clWindowText;
    canvas.Ellipse(bx + 4, by + 4, bx + 8, by + 8);
  }
  int th = canvas.TextHeight("Ag");
  int tx = r.left + 17, ty = r.top + (Height - th) / 2;
  PutText(canvas, tx, ty, Caption, Enabled ? clBtnText : clGrayText);
  if (Focused()) FocusRect(canvas, RECT{tx - 1, ty - 1, tx + canvas.TextWidth(Caption) + 1, ty + th + 1});
}

// ---- TButton -------------------------------------------------------------------

TButton::TButton(TForm& form, TControl* parent) : TButtonControl(form, parent) {}

void TButton::Click() {
  if (ModalResult != mrNone) Form().ModalResult = ModalResult;
  TButtonControl::Click();
}

void TButton::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  RECT r = BoundsInForm();
  // The default button (or the focused one) wears a black frame outside its bevel.
  bool framed = Focused() || (Default && !dynamic_cast<TButton*>(Form().ActiveControl()));
  Fill(canvas, r, clBtnFace);
  RECT face = r;
  if (framed) {
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Pen.Color = clWindowText;
    canvas.Pen.Mode = TPenMode::pmCopy;
    canvas.Pen.Style = TPenStyle::psSolid;
    canvas.Rectangle(r.left, r.top, r.right, r.bottom);
    face = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  int shift = 0;
  if (Pressed()) {
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Pen.Color = clBtnShadow;
    canvas.Rectangle(face.left, face.top, face.right, face.bottom);
    shift = 1;
  } else {
    Bevel(canvas, face, clBtnHighlight, cl3DDkShadow, cl3DLight, clBtnShadow);
  }
  int tw = canvas.TextWidth(Caption), th = canvas.TextHeight("Ag");
  int tx = r.left + (Width - tw) / 2 + shift, ty = r.top + (Height - th) / 2 + shift;
  PutText(canvas, tx, ty, Caption, Enabled ? clBtnText : clGrayText);
  if (Focused()) FocusRect(canvas, RECT{face.left + 3, face.top + 3, face.right - 3, face.bottom - 3});
}

// ---- TComboBox -----------------------------------------------------------------

TComboBox::TComboBox(TForm& form, TControl* parent) : TControl(form, parent) {
  TabStop = true;
  Height = 20;
}

void TComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(Items.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  Invalidate();
}

std::string TComboBox::Text() const {
  return itemIndex_ >= 0 && itemIndex_ < static_cast<int>(Items.size()) ? Items[static_cast<size_t>(itemIndex_)]
                                                                        : std::string();
}

void TComboBox::ClosePopup() { SetDroppedDown(false); }

void TComboBox::SetDroppedDown(bool dropped) {
  if (dropped == dropped_) return;
  dropped_ = dropped;
  hot_ = itemIndex_;
  Invalidate();
}

void TComboBox::Choose(int index) {
  if (index < 0 || index >= static_cast<int>(Items.size())) return;
  bool changed = index != itemIndex_;
  SetItemIndex(index);
  if (changed && OnChange) OnChange(this);
}

int TComboBox::ItemHeight() const { return 15; }

RECT TComboBox::ListRect() const {
  RECT field = BoundsInForm();
  int h = ItemHeight() * static_cast<int>(Items.size()) + 2;
  if (field.bottom + h <= Form().ClientHeight() || field.top - h < 0) {
    return RECT{field.left, field.bottom, field.right, field.bottom + h};
  }
  return RECT{field.left, field.top - h, field.right, field.top};
}

bool TComboBox::HitTest(int x, int y) const {
  if (TControl::HitTest(x, y)) return true;
  if (!dropped_) return false;
  RECT l = ListRect();
  return x >= l.left && x < l.right && y >= l.top && y < l.bottom;
}

int TComboBox::ItemAt(int x, int y) const {
  RECT l = ListRect();
  if (x < l.left || x >= l.right || y < l.top + 1 || y >= l.bottom - 1) return -1;
  int i = (y - l.top - 1) / ItemHeight();
  return i < static_cast<int>(Items.size()) ? i : -1;
}

bool TComboBox::KeyDown(WORD key, TShiftState shift) {
  int count = static_cast<int>(Items.size());
  if ((key == host::VK_DOWN && (shift & ssAlt)) || key == host::VK_F4) {
    SetDroppedDown(!dropped_);
    return true;
  }
  int* cursor = dropped_ ? &hot_ : nullptr;
  int current = dropped_ ? hot_ : itemIndex_;
  int next = current;
  switch (key) {
    case host::VK_UP:
    case host::VK_LEFT:
      next = std::max(current - 1, 0);
      break;
    case host::VK_DOWN:
    case host::VK_RIGHT:
      next = std::min(current + 1, count - 1);
      break;
    case host::VK_HOME:
      next = 0;
      break;
    case host::VK_END:
      next = count - 1;
      break;
    case host::VK_RETURN:
      if (!dropped_) return false;
      Choose(hot_);
      SetDroppedDown(false);
      return true;
    case host::VK_ESCAPE:
      if (!dropped_) return false;
      SetDroppedDown(false);
      return true;
    default:
      return false;
  }
  if (count == 0) return true;
  if (cursor) {
    *cursor = next;
    Invalidate();
  } else {
    Choose(next);
  }
  return true;
}

bool TComboBox::MouseDown(TMouseButton button, int x, int y) {
  if (button != mbLeft) return false;
  Form().SetActiveControl(this);
  openedByThisPress_ = false;
  if (dropped_) {
    int i = ItemAt(x, y);
    if (i >= 0) Choose(i);
    SetDroppedDown(false);
  } else {
    SetDroppedDown(true);
    openedByThisPress_ = true;
  }
  return true;
}

void TComboBox::MouseMove(int x, int y) {
  if (!dropped_) return;
  int i = ItemAt(x, y);
  if (i >= 0 && i != hot_) {
    hot_ = i;
    Invalidate();
  }
}

void TComboBox::MouseUp(TMouseButton button, int x, int y) {
  // Press on the field, drag to an item and let go: that item is chosen.
  if (button != mbLeft || !dropped_ || openedByThisPress_ == false) return;
  int i = ItemAt(x, y);
  if (i >= 0) {
    Choose(i);
    SetDroppedDown(false);
  }
}

void TComboBox::Paint(TCanvas& canvas) {
  canvas.Font.Assign(Form().Font);
  RECT r = BoundsInForm();
  Bevel(canvas, r, clBtnShadow, clBtnHighlight, cl3DDkShadow, cl3DLight);
  RECT inner{r.left + 2, r.top + 2, r.right - 2, r.bottom - 2};
  Fill(canvas, inner, Enabled ? clWindow : clBtnFace);
  // The drop button with its arrow.
  RECT btn{inner.right - 16, inner.top, inner.right, inner.bottom};
  Fill(canvas, btn, clBtnFace);
  if (dropped_) {
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Pen.Color = clBtnShadow;
    canvas.Rectangle(btn.left, btn.top, btn.right, btn.bottom);
  } else {
    Bevel(canvas, btn, cl3DLight, cl3DDkShadow, clBtnHighlight, clBtnShadow);
  }
  int ax = btn.left + (btn.right - btn.left - 7) / 2 + (dropped_ ? 1 : 0);
  int ay = btn.top + (btn.bottom - btn.top - 4) / 2 + (dropped_ ? 1 : 0);
  for (int row = 0; row < 4; ++row) Line(canvas, ax + row, ay + row, ax + 7 - row, ay + row, clBtnText);
  // The chosen item; highlighted while the control has the focus.
  int th = canvas.TextHeight("Ag");
  RECT textBox{inner.left + 1, inner.top + 1, btn.left - 1, inner.bottom - 1};
  TColor textColor = clWindowText;
  if (Focused() && !dropped_) {
    Fill(canvas, textBox, clHighlight);
    textColor = clHighlightText;
  }
  PutText(canvas, textBox.left + 2, r.top + (Height - th) / 2, Text(), textColor);
  if (Focused() && !dropped_) FocusRect(canvas, textBox);
}

void TComboBox::PaintOverlay(TCanvas& canvas) {
  if (!dropped_) return;
  canvas.Font.Assign(Form().Font);
  RECT l = ListRect();
  Fill(canvas, l, clWindow);
  canvas.Brush.Style = TBrushStyle::bsClear;
  canvas.Pen.Color = clWindowText;
  canvas.Pen.Mode = TPenMode::pmCopy;
  canvas.Pen.Style = TPenStyle::psSolid;
  canvas.Rectangle(l.left, l.top, l.right, l.bottom);
  int th = canvas.TextHeight("Ag");
  for (int i = 0; i < static_cast<int>(Items.size()); ++i) {
    RECT item{l.left + 1, l.top + 1 + i * ItemHeight(), l.right - 1, l.top + 1 + (i + 1) * ItemHeight()};
    TColor color = clWindowText;
    if (i == hot_) {
      Fill(canvas, item, clHighlight);
      color = clHighlightText;
    }
    PutText(canvas, item.left + 2, item.top + (ItemHeight() - th) / 2, Items[static_cast<size_t>(i)], color);
  }
}

}  // namespace forms
