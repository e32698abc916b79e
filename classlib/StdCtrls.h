// Standard controls: labels, edits and check boxes.
#pragma once
#include <string>

#include "classlib/Controls.h"

// A caption without a window. Published: AutoSize (default true: the label
// takes its text's size after loading and on every caption or font change;
// false keeps the resource's size), Transparent (default false: the background
// is painted in Color), plus TControl's (Font, Color, OnClick, ...).
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool value);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool value);
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;
  void Loaded() override;

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
  void BoundsChanged() override;

 private:
  bool FAutoSize = true;
  bool FTransparent = false;
  void AdjustSize();
  void PlaceText();
};

// A single-line edit. Its text is free: anything may be typed or set.
// Published: Text, plus TWinControl's. Default colour clWindow.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
};

// A check box. Published: Caption, Checked, plus TWinControl's.
class TCheckBox : public TWinControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const;
  void SetChecked(bool value);
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;

 protected:
  void TextChanged() override;
  void FontChanged() override;
  void ColorChanged() override;
};

VORNEL_REGISTER_CLASS(TLabel);
VORNEL_REGISTER_CLASS(TEdit);
VORNEL_REGISTER_CLASS(TCheckBox);
