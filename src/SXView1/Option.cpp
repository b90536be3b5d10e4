#include "SXView1/Option.h"

using namespace forms;

TOptionForm::TOptionForm(TApplication& application) : TForm(application) {
  SetCaption("Tavhop起動オプション（記憶はされんので）");
  BorderStyle = TFormBorderStyle::bsDialog;
  CentreOnMainForm = true;
  SetClientSize(333, 161);
  Font.Name = "ＭＳ Ｐゴシック";
  Font.Charset = SHIFTJIS_CHARSET;
  Font.SetHeight(-12);

  int order = 0;
  auto place = [&](TControl& c, const char* name, const char* caption, int l, int t, int w, int h) {
    c.Name = name;
    c.Caption = caption;
    c.SetBounds(l, t, w, h);
    c.TabOrder = order++;
  };

  GroupBox1 = &Add<TGroupBox>();
  place(*GroupBox1, "GroupBox1", "画面オプション", 8, 4, 313, 105);
  CheckBox1 = &Add<TCheckBox>(GroupBox1);
  place(*CheckBox1, "CheckBox1", "フルスクリーン", 12, 20, 117, 17);
  CheckBox1->Checked = true;
  CheckBox2 = &Add<TCheckBox>(GroupBox1);
  place(*CheckBox2, "CheckBox2", "MMX無効", 12, 40, 117, 17);
  CheckBox3 = &Add<TCheckBox>(GroupBox1);
  place(*CheckBox3, "CheckBox3", "HAL無効", 12, 60, 117, 17);
  CheckBox4 = &Add<TCheckBox>(GroupBox1);
  place(*CheckBox4, "CheckBox4", "TnHAL無効", 12, 80, 117, 17);
  CheckBox5 = &Add<TCheckBox>(GroupBox1);
  place(*CheckBox5, "CheckBox5", "スペキュラ・ライト有効", 152, 24, 137, 17);
  CheckBox5->Checked = true;
  RadioButton1 = &Add<TRadioButton>(GroupBox1);
  place(*RadioButton1, "RadioButton1", "フラット・シェーディング", 152, 56, 141, 17);
  RadioButton2 = &Add<TRadioButton>(GroupBox1);
  place(*RadioButton2, "RadioButton2", "グーロ・シェーディング", 152, 76, 141, 17);
  RadioButton2->SetChecked(true);

  Label1 = &Add<TLabel>();
  place(*Label1, "Label1", "残機数", 16, 128, 36, 12);
  ComboBox1 = &Add<TComboBox>();
  place(*ComboBox1, "ComboBox1", "", 64, 124, 69, 20);
  ComboBox1->Items = {"1", "3", "5", "7", "9", "100"};
  Button1 = &Add<TButton>();
  place(*Button1, "Button1", "やる", 164, 128, 75, 25);
  Button1->Default = true;
  Button1->ModalResult = mrOk;
  DefaultButton = Button1;
  Button2 = &Add<TButton>();
  place(*Button2, "Button2", "やめる", 248, 128, 75, 25);
  Button2->Cancel = true;
  Button2->ModalResult = mrCancel;
  CancelButton = Button2;

  OnCreate = [this](TObject* sender) { FormCreate(sender); };
}

void TOptionForm::FormCreate(TObject*) { ComboBox1->SetItemIndex(1); }

void TOptionForm::AddDontAskAgain(const std::string& caption) {
  if (DontAskCheckBox) return;
  SetClientSize(ClientWidth(), 185);
  DontAskCheckBox = &Add<TCheckBox>();
  DontAskCheckBox->Name = "DontAskCheckBox";
  DontAskCheckBox->Caption = caption;
  DontAskCheckBox->SetBounds(16, 160, 300, 17);
  DontAskCheckBox->TabOrder = 99;
}

void TOptionForm::UseEnglish() {
  SetCaption("Tavvyhop start-up options");
  GroupBox1->Caption = "Screen options";
  CheckBox1->Caption = "Full screen";
  CheckBox2->Caption = "No MMX";
  CheckBox3->Caption = "No HAL";
  CheckBox4->Caption = "No TnL HAL";
  CheckBox5->Caption = "Specular light";
  RadioButton1->Caption = "Flat shading";
  RadioButton2->Caption = "Gouraud shading";
  Label1->Caption = "Lives";
  Button1->Caption = "Start";
  Button2->Caption = "Quit";
  Invalidate();
}
