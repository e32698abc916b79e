#include "classlib/StdCtrls.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPalette>
#include <algorithm>

#include "classlib/Forms.h"

// ---- TLabel -----------------------------------------------------------------------------------

namespace {

// A label whose text may sit a few pixels higher than its top (see PlaceText).
class TLabelWidget : public QLabel {
 public:
  int Shift = 0;

 protected:
  void paintEvent(QPaintEvent* event) override {
    if (Shift == 0) {
      QLabel::paintEvent(event);
      return;
    }
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(rect().translated(0, Shift).adjusted(0, 0, 0, -Shift), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     text());
  }
};

}  // namespace

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
  auto* label = new TLabelWidget;
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(false);
  label->setMargin(0);
  label->setIndent(0);
  SetWidget(label);
}

void TLabel::SetAutoSize(bool value) {
  FAutoSize = value;
  AdjustSize();
}

void TLabel::SetTransparent(bool value) {
  FTransparent = value;
  ColorChanged();
}

void TLabel::AdjustSize() {
  if (!FAutoSize || Loading() || !Widget()) return;
  QFontMetrics fm(Font()->ToQFont());
  QString text = QString::fromStdString(Caption());
  int w = fm.horizontalAdvance(text);
  int h = fm.height();
  if (w != Width() || h != Height()) SetBounds(Left(), Top(), w, h);
}

void TLabel::TextChanged() {
  if (auto* label = static_cast<QLabel*>(Widget())) label->setText(QString::fromStdString(Caption()));
  AdjustSize();
}

void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  AdjustSize();
  PlaceText();
}

void TLabel::BoundsChanged() {
  TGraphicControl::BoundsChanged();
  PlaceText();
}

// The installed gothic has a pixel more ascent than the face the forms were laid
// out with, which puts the underline of a 12-pixel caption just below a
// 12-pixel label; the text moves up (at most 2 pixels) to keep it visible.
void TLabel::PlaceText() {
  auto* label = static_cast<TLabelWidget*>(Widget());
  if (!label) return;
  int shift = 0;
  if (Font()->Style() & fsUnderline) {
    QFontMetrics fm(label->font());
    shift = std::clamp(Height() - 1 - (fm.ascent() + fm.underlinePos()), -2, 0);
  }
  if (shift != label->Shift) {
    label->Shift = shift;
    label->update();
  }
}

void TLabel::ColorChanged() {
  TGraphicControl::ColorChanged();
  if (QWidget* w = Widget()) w->setAutoFillBackground(!FTransparent);
}

bool TLabel::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "AutoSize") {
    SetAutoSize(reader.Bool(value));
    return true;
  }
  if (name == "Transparent") {
    SetTransparent(reader.Bool(value));
    return true;
  }
  return TGraphicControl::ReadProperty(reader, name, value);
}

void TLabel::Loaded() {
  TGraphicControl::Loaded();
  AdjustSize();
}

// ---- TEdit -------------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TWinControl(AOwner) {
  FColor = clWindow;
  FParentColor = false;
  auto* edit = new QLineEdit;
  // The text the user types is the control's text at once.
  QObject::connect(edit, &QLineEdit::textChanged, edit, [this](const QString& text) {
    try {
      QByteArray bytes = text.toUtf8();
      std::string s(bytes.constData(), static_cast<std::size_t>(bytes.size()));
      if (s != Text()) SetText(s);
    } catch (...) {
      Application->HandleException(this);  // never through Qt's signal delivery
    }
  });
  SetWidget(edit);
}

void TEdit::TextChanged() {
  auto* edit = static_cast<QLineEdit*>(Widget());
  if (!edit) return;
  QString text = QString::fromStdString(Text());
  if (edit->text() != text) edit->setText(text);
}

void TEdit::FontChanged() { TWinControl::FontChanged(); }

void TEdit::ColorChanged() {
  TWinControl::ColorChanged();
  QWidget* w = Widget();
  if (!w) return;
  QPalette p = w->palette();
  p.setColor(QPalette::Base, ColorToQColor(Color()));
  w->setPalette(p);
}

bool TEdit::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Text") {
    SetText(reader.String(value));
    return true;
  }
  return TWinControl::ReadProperty(reader, name, value);
}

// ---- TCheckBox -------------------------------------------------------------------------------

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) { SetWidget(new QCheckBox); }

bool TCheckBox::Checked() const {
  auto* box = static_cast<QCheckBox*>(Widget());
  return box && box->isChecked();
}

void TCheckBox::SetChecked(bool value) {
  if (auto* box = static_cast<QCheckBox*>(Widget())) box->setChecked(value);
}

void TCheckBox::TextChanged() {
  if (auto* box = static_cast<QCheckBox*>(Widget())) box->setText(QString::fromStdString(Caption()));
}

void TCheckBox::FontChanged() { TWinControl::FontChanged(); }

void TCheckBox::ColorChanged() { TWinControl::ColorChanged(); }

bool TCheckBox::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Checked") {
    SetChecked(reader.Bool(value));
    return true;
  }
  return TWinControl::ReadProperty(reader, name, value);
}
