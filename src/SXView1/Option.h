// The start-up options dialog: full screen, the device kinds to avoid, shading,
// specular light and the number of lives. Nothing chosen here is stored.
#pragma once

#include "platform/forms/StdCtrls.h"

class TOptionForm : public forms::TForm {
 public:
  explicit TOptionForm(forms::TApplication& application);

  forms::TGroupBox* GroupBox1;
  forms::TCheckBox* CheckBox1;        // full screen
  forms::TCheckBox* CheckBox2;        // no MMX device
  forms::TCheckBox* CheckBox3;        // no HAL device
  forms::TCheckBox* CheckBox4;        // no T&L HAL device
  forms::TCheckBox* CheckBox5;        // specular light
  forms::TRadioButton* RadioButton1;  // flat shading
  forms::TRadioButton* RadioButton2;  // Gouraud shading
  forms::TLabel* Label1;
  forms::TComboBox* ComboBox1;  // lives
  forms::TButton* Button1;      // OK
  forms::TButton* Button2;      // Cancel

  void FormCreate(forms::TObject* Sender);

  // The port's addition when the choices are kept between runs: a "don't ask again" box
  // below the others (the dialog grows by its height).
  forms::TCheckBox* DontAskCheckBox = nullptr;
  void AddDontAskAgain(const std::string& caption);
  // The captions in English (the Japanese ones are the original's).
  void UseEnglish();
};
