#include "classlib/ComCtrls.h"

#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QProgressBar>
#include <QToolButton>
#include <QWidget>
#include <algorithm>
#include <cctype>
#include <limits>

#include "classlib/Forms.h"

// ---- TUpDown -----------------------------------------------------------------------------------

namespace {

// Steps the up-down with the arrow keys of its associated edit.
class TArrowKeyFilter : public QObject {
 public:
  explicit TArrowKeyFilter(TUpDown* upDown) : FUpDown(upDown) {}

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() != QEvent::KeyPress) return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (key->key() != Qt::Key_Up && key->key() != Qt::Key_Down) return false;
    try {
      if (key->key() == Qt::Key_Up)
        FUpDown->StepUp();
      else
        FUpDown->StepDown();
    } catch (...) {
      Application->HandleException(FUpDown);  // never through Qt's event delivery
    }
    return true;
  }

 private:
  TUpDown* FUpDown;
};

// The number an edit holds, as the up-down reads it before a step: blanks, an
// optional minus and decimal digits.
bool ParseEditNumber(const std::string& text, int& value) {
  std::size_t i = 0, n = text.size();
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = i < n && text[i] == '-';
  if (negative) ++i;
  std::size_t digits = 0;
  long long v = 0;
  while (i < n && std::isdigit(static_cast<unsigned char>(text[i]))) {
    v = v * 10 + (text[i] - '0');
    if (v > 1000000) return false;
    ++i;
    ++digits;
  }
  while (i < n && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (digits == 0 || i != n) return false;
  value = static_cast<int>(negative ? -v : v);
  return true;
}

}  // namespace

struct TUpDown::TImpl {
  QPointer<QToolButton> Up;
  QPointer<QToolButton> Down;
  QPointer<QWidget> Edit;  // the associated edit's widget, filtered for arrow keys
  std::unique_ptr<TArrowKeyFilter> Keys;
};

TUpDown::TUpDown(TComponent* AOwner) : TWinControl(AOwner), FImpl(std::make_unique<TImpl>()) {
  auto* box = new QWidget;
  box->setFocusPolicy(Qt::NoFocus);
  auto make = [&](Qt::ArrowType arrow, int direction) {
    auto* b = new QToolButton(box);
    b->setArrowType(arrow);
    b->setAutoRepeat(true);
    b->setFocusPolicy(Qt::NoFocus);
    QObject::connect(b, &QToolButton::clicked, box, [this, direction] {
      try {
        Step(direction);
      } catch (...) {
        Application->HandleException(this);  // never through Qt's signal delivery
      }
    });
    return b;
  };
  FImpl->Up = make(Qt::UpArrow, +1);
  FImpl->Down = make(Qt::DownArrow, -1);
  FImpl->Keys = std::make_unique<TArrowKeyFilter>(this);
  SetWidget(box);
  SetTabStop(false);
}

TUpDown::~TUpDown() {
  if (FImpl->Edit) FImpl->Edit->removeEventFilter(FImpl->Keys.get());
}

void TUpDown::BoundsChanged() {
  TWinControl::BoundsChanged();
  int w = Width(), h = Height();
  if (FImpl && FImpl->Up) FImpl->Up->setGeometry(0, 0, w, h / 2);
  if (FImpl && FImpl->Down) FImpl->Down->setGeometry(0, h / 2, w, h - h / 2);
}

SmallInt TUpDown::Clamp(int value) const {
  int lo = std::min<int>(FMin, FMax), hi = std::max<int>(FMin, FMax);
  return static_cast<SmallInt>(std::clamp(value, lo, hi));
}

void TUpDown::SetAssociate(TWinControl* value) {
  if (FImpl->Edit) FImpl->Edit->removeEventFilter(FImpl->Keys.get());
  FImpl->Edit = nullptr;
  FAssociate = value;
  if (!FAssociate) return;
  FAssociate->FreeNotification(this);
  if (QWidget* w = FAssociate->Widget()) {
    FImpl->Edit = w;
    w->installEventFilter(FImpl->Keys.get());
  }
  WriteAssociate();
}

void TUpDown::SetMin(SmallInt value) {
  FMin = value;
  FPosition = Clamp(FPosition);
}

void TUpDown::SetMax(SmallInt value) {
  FMax = value;
  FPosition = Clamp(FPosition);
}

void TUpDown::SetPosition(SmallInt value) {
  FPosition = Clamp(value);
  WriteAssociate();
}

void TUpDown::Step(int direction) {
  int current = FPosition;
  if (FAssociate) {
    // The edit's text is free; when it holds a number the step starts there.
    int typed;
    if (ParseEditNumber(FAssociate->Text(), typed)) current = typed;
  }
  if (FMin > FMax) direction = -direction;
  FPosition = Clamp(std::clamp(current, -100000, 100000) + direction);
  WriteAssociate();
}

void TUpDown::WriteAssociate() {
  if (FAssociate) FAssociate->SetText(std::to_string(FPosition));
}

void TUpDown::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FAssociate) {
    // The base drops only this side of the free-notification link; an edit that
    // lives on would keep a dangling link to this control. Keep both sides.
    if (!AComponent->Destroying()) AComponent->FreeNotification(this);
    if (FImpl->Edit) FImpl->Edit->removeEventFilter(FImpl->Keys.get());
    FImpl->Edit = nullptr;
    FAssociate = nullptr;
  }
}

bool TUpDown::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  auto small = [&](const TPropValue& v) {
    return static_cast<SmallInt>(reader.IntIn(v, std::numeric_limits<SmallInt>::min(),
                                              std::numeric_limits<SmallInt>::max(),
                                              "value out of the range -32768..32767"));
  };
  if (name == "Min") {
    SetMin(small(value));
  } else if (name == "Max") {
    SetMax(small(value));
  } else if (name == "Position") {
    // Set the field now: Min and Max may follow in the resource. Loaded clamps.
    FPosition = small(value);
  } else if (name == "Associate") {
    TPropValue v = value;
    reader.Reference(value, [this, &reader, v](TComponent* c) {
      auto* control = dynamic_cast<TWinControl*>(c);
      if (!control) throw EResourceError(reader.ErrorText(v, "'" + v.Str + "' cannot be associated"));
      SetAssociate(control);
    });
  } else {
    return TWinControl::ReadProperty(reader, name, value);
  }
  return true;
}

void TUpDown::Loaded() {
  TWinControl::Loaded();
  FPosition = Clamp(FPosition);
  WriteAssociate();
}

// ---- TProgressBar ----------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner) {
  auto* bar = new QProgressBar;
  bar->setTextVisible(false);
  SetWidget(bar);
  SetTabStop(false);
  Apply();
}

void TProgressBar::Apply() {
  auto* bar = static_cast<QProgressBar*>(Widget());
  if (!bar) return;
  bar->setRange(FMin, std::max(FMin, FMax));
  bar->setValue(FPosition);
}

void TProgressBar::SetMin(Integer value) {
  FMin = value;
  SetPosition(FPosition);
}

void TProgressBar::SetMax(Integer value) {
  FMax = value;
  SetPosition(FPosition);
}

void TProgressBar::SetPosition(Integer value) {
  FPosition = std::clamp(value, std::min(FMin, FMax), std::max(FMin, FMax));
  Apply();
}

bool TProgressBar::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Min") SetMin(reader.Int32(value));
  else if (name == "Max") SetMax(reader.Int32(value));
  else if (name == "Position") SetPosition(reader.Int32(value));
  else return TWinControl::ReadProperty(reader, name, value);
  return true;
}
