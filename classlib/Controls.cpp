#include "classlib/Controls.h"

#include <cxxabi.h>

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "classlib/Forms.h"
#include "classlib/QtBridge.h"
#include "platform/Drop.h"
#include "platform/Windows.h"

// ---- Class names ---------------------------------------------------------------------------

std::string ClassNameOf(const std::type_info& type) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(type.name(), nullptr, nullptr, &status);
  std::string name = (status == 0 && demangled) ? demangled : type.name();
  std::free(demangled);
  std::size_t colons = name.rfind("::");
  if (colons != std::string::npos) name = name.substr(colons + 2);
  return name;
}

// ---- Window-procedure stubs ----------------------------------------------------------------
// A fixed pool of plain procedures, each reading its own slot: no executable
// memory is made at run time.

namespace {

constexpr std::size_t kStubCount = 256;

struct TStubSlot {
  bool InUse = false;
  TWndMethod Method;
};

// Heap-held and never freed: stubs are released from destructors that may run
// during the program's exit.
std::array<TStubSlot, kStubCount>& StubSlots() {
  static auto* table = new std::array<TStubSlot, kStubCount>;
  return *table;
}

template <std::size_t N>
LRESULT StubProc(HWND, UINT Msg, WPARAM wParam, LPARAM lParam) {
  TMessage message;
  message.Msg = Msg;
  message.WParam = wParam;
  message.LParam = lParam;
  message.Result = 0;
  // A copy: the method may free its own stub while it runs.
  TWndMethod method = StubSlots()[N].Method;
  if (method) method(message);
  return message.Result;
}

template <std::size_t... I>
constexpr std::array<WNDPROC, sizeof...(I)> MakeStubTable(std::index_sequence<I...>) {
  return {&StubProc<I>...};
}

constexpr std::array<WNDPROC, kStubCount> kStubs = MakeStubTable(std::make_index_sequence<kStubCount>{});

int StubIndex(WNDPROC stub) {
  for (std::size_t i = 0; i < kStubCount; ++i)
    if (kStubs[i] == stub) return static_cast<int>(i);
  return -1;
}

}  // namespace

WNDPROC MakeObjectInstance(TWndMethod method) {
  auto& table = StubSlots();
  for (std::size_t i = 0; i < kStubCount; ++i) {
    if (!table[i].InUse) {
      table[i].InUse = true;
      table[i].Method = std::move(method);
      return kStubs[i];
    }
  }
  throw EOutOfResources(Format("window procedure stubs exhausted (%d in use)", static_cast<int>(kStubCount)));
}

void FreeObjectInstance(WNDPROC stub) {
  int i = StubIndex(stub);
  if (i < 0) return;
  StubSlots()[static_cast<std::size_t>(i)].InUse = false;
  StubSlots()[static_cast<std::size_t>(i)].Method = nullptr;
}

void RebindObjectInstance(WNDPROC stub, TWndMethod method) {
  int i = StubIndex(stub);
  if (i < 0 || !StubSlots()[static_cast<std::size_t>(i)].InUse) return;
  StubSlots()[static_cast<std::size_t>(i)].Method = std::move(method);
}

int ObjectInstancesInUse() {
  int n = 0;
  for (const TStubSlot& s : StubSlots()) n += s.InUse ? 1 : 0;
  return n;
}

// ---- Colours -----------------------------------------------------------------------------------

namespace {

// The classic scheme's system colours, index by index.
constexpr std::uint32_t kSystemColors[] = {
    0xC8D0D4,  // scroll bar
    0x6E3A00,  // background (desktop)
    0x6A240A,  // active caption
    0x808080,  // inactive caption
    0xC8D0D4,  // menu
    0xFFFFFF,  // window
    0x000000,  // window frame
    0x000000,  // menu text
    0x000000,  // window text
    0xFFFFFF,  // caption text
    0xC8D0D4,  // active border
    0xC8D0D4,  // inactive border
    0x808080,  // application work space
    0x6A240A,  // highlight
    0xFFFFFF,  // highlight text
    0xC8D0D4,  // button face
    0x808080,  // button shadow
    0x808080,  // gray text
    0x000000,  // button text
    0xC8D0D4,  // inactive caption text
    0xFFFFFF,  // button highlight
    0x404040,  // 3D dark shadow
    0xC8D0D4,  // 3D light
    0x000000,  // info text
    0xE1FFFF,  // info background
};

const std::pair<const char*, TColor> kColorNames[] = {
    {"clScrollBar", clScrollBar}, {"clBackground", clBackground}, {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption}, {"clMenu", clMenu}, {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame}, {"clMenuText", clMenuText}, {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText}, {"clActiveBorder", clActiveBorder}, {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace}, {"clHighlight", clHighlight}, {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace}, {"clBtnShadow", clBtnShadow}, {"clGrayText", clGrayText},
    {"clBtnText", clBtnText}, {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight}, {"cl3DDkShadow", cl3DDkShadow}, {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText}, {"clInfoBk", clInfoBk}, {"clBlack", clBlack}, {"clMaroon", clMaroon},
    {"clGreen", clGreen}, {"clOlive", clOlive}, {"clNavy", clNavy}, {"clPurple", clPurple},
    {"clTeal", clTeal}, {"clGray", clGray}, {"clSilver", clSilver}, {"clRed", clRed}, {"clLime", clLime},
    {"clYellow", clYellow}, {"clBlue", clBlue}, {"clFuchsia", clFuchsia}, {"clAqua", clAqua},
    {"clWhite", clWhite},
};

TColor ReadColor(TReader& reader, const TPropValue& value) {
  if (value.Kind == TPropValue::vaIdent) {
    TColor c;
    if (IdentToColor(value.Str, c)) return c;
    throw EResourceError(reader.ErrorText(value, "unknown colour '" + value.Str + "'"));
  }
  return static_cast<TColor>(
      static_cast<std::uint32_t>(reader.IntIn(value, INT32_MIN, UINT32_MAX, "colour out of range")));
}

}  // namespace

QColor ColorToQColor(TColor color) {
  std::uint32_t bgr;
  auto u = static_cast<std::uint32_t>(color);
  if (u & 0x80000000u) {
    std::uint32_t index = u & 0xFF;
    bgr = index < std::size(kSystemColors) ? kSystemColors[index] : 0;
  } else {
    bgr = u & 0xFFFFFF;
  }
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF), static_cast<int>((bgr >> 16) & 0xFF));
}

bool IdentToColor(const std::string& ident, TColor& color) {
  for (const auto& [name, value] : kColorNames)
    if (LowerCase(ident) == LowerCase(name)) {
      color = value;
      return true;
    }
  return false;
}

// ---- TFont ---------------------------------------------------------------------------------------

TFont::TFont() = default;

void TFont::Changed() {
  if (OnChange) OnChange();
}

void TFont::SetName(const std::string& value) {
  if (value == FName) return;
  FName = value;
  Changed();
}

void TFont::SetHeight(Integer value) {
  if (value == FHeight) return;
  FHeight = value;
  Changed();
}

namespace {
// a * b / c rounded half away from zero, in 64 bits.
Integer MulDiv(Integer a, Integer b, Integer c) {
  std::int64_t n = static_cast<std::int64_t>(a) * b;
  std::int64_t q = (n >= 0 ? n + c / 2 : n - c / 2) / c;
  return static_cast<Integer>(std::clamp<std::int64_t>(q, -INT32_MAX, INT32_MAX));
}
}  // namespace

Integer TFont::Size() const { return -MulDiv(FHeight, 72, 96); }

void TFont::SetSize(Integer value) { SetHeight(-MulDiv(value, 96, 72)); }

void TFont::SetColor(TColor value) {
  if (value == FColor) return;
  FColor = value;
  Changed();
}

void TFont::SetStyle(TFontStyles value) {
  if (value == FStyle) return;
  FStyle = value;
  Changed();
}

void TFont::SetCharset(TFontCharset value) {
  if (value == FCharset) return;
  FCharset = value;
  Changed();
}

void TFont::Assign(const TFont& source) {
  if (FName == source.FName && FHeight == source.FHeight && FColor == source.FColor &&
      FStyle == source.FStyle && FCharset == source.FCharset)
    return;
  FName = source.FName;
  FHeight = source.FHeight;
  FColor = source.FColor;
  FStyle = source.FStyle;
  FCharset = source.FCharset;
  Changed();
}

QFont TFont::ToQFont() const {
  QtBridge::EnsureApplication();  // the substitutions of the classic names
  QFont f(QString::fromUtf8(FName.data(), static_cast<int>(FName.size())));
  int pixels = FHeight < 0 ? -FHeight : FHeight;
  if (pixels > 0) f.setPixelSize(std::min(pixels, 4096));
  f.setBold((FStyle & fsBold) != 0);
  f.setItalic((FStyle & fsItalic) != 0);
  f.setUnderline((FStyle & fsUnderline) != 0);
  f.setStrikeOut((FStyle & fsStrikeOut) != 0);
  return f;
}

bool TFont::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Name") {
    SetName(reader.String(value));
  } else if (name == "Height") {
    SetHeight(static_cast<Integer>(reader.IntIn(value, INT32_MIN, INT32_MAX, "font height out of range")));
  } else if (name == "Size") {
    SetSize(static_cast<Integer>(reader.IntIn(value, -10000, 10000, "font size out of range")));
  } else if (name == "Color") {
    SetColor(ReadColor(reader, value));
  } else if (name == "Style") {
    SetStyle(reader.SetIn(value,
                          {{"fsBold", fsBold}, {"fsItalic", fsItalic}, {"fsUnderline", fsUnderline},
                           {"fsStrikeOut", fsStrikeOut}},
                          "font style"));
  } else if (name == "Charset") {
    if (value.Kind == TPropValue::vaIdent) {
      static const TFontCharset charsets[] = {ANSI_CHARSET, DEFAULT_CHARSET, SHIFTJIS_CHARSET};
      SetCharset(charsets[reader.IdentIn(value, {"ANSI_CHARSET", "DEFAULT_CHARSET", "SHIFTJIS_CHARSET"},
                                         "character set")]);
    } else {
      SetCharset(static_cast<TFontCharset>(reader.IntIn(value, 0, 255, "character set out of range")));
    }
  } else {
    return false;
  }
  return true;
}

// ---- TControl --------------------------------------------------------------------------------

struct TControl::TWidgetHolder {
  QPointer<QWidget> Widget;
  std::unique_ptr<TWidgetBridge> Bridge;
};

namespace {

std::uint64_t NextSerial = 1;
std::unordered_map<std::uint64_t, TControl*>& SerialMap() {
  static auto* map = new std::unordered_map<std::uint64_t, TControl*>;  // used by destructors at exit
  return *map;
}

}  // namespace

TControl::TControl(TComponent* AOwner)
    : TComponent(AOwner), FSerial(NextSerial++), FWidget(std::make_unique<TWidgetHolder>()) {
  QtBridge::EnsureApplication();
  SerialMap()[FSerial] = this;
  FFont.OnChange = [this] {
    if (!FInFontChange) FParentFont = false;
    FontChanged();
    if (auto* self = dynamic_cast<TWinControl*>(this))
      for (TControl* c : self->FControls) c->ParentFontChanged();
  };
}

TControl::~TControl() {
  SerialMap().erase(FSerial);
  FFont.OnChange = nullptr;
  if (FParent) FParent->RemoveControl(this);
  FParent = nullptr;
  FWidget->Bridge.reset();
  if (QWidget* w = FWidget->Widget.data()) delete w;
}

TControl* TControl::FindBySerial(std::uint64_t serial) {
  auto it = SerialMap().find(serial);
  return it == SerialMap().end() ? nullptr : it->second;
}

QWidget* TControl::Widget() const { return FWidget->Widget.data(); }

void TControl::SetWidget(QWidget* widget) {
  FWidget->Widget = widget;
  FWidget->Bridge = std::make_unique<TWidgetBridge>(this, widget);
  widget->setAutoFillBackground(true);
  FontChanged();
  ColorChanged();
  TextChanged();
  BoundsChanged();
  widget->setEnabled(FEnabled);
}

void TControl::SetParent(TWinControl* value) {
  if (value == FParent) return;
  if (value == this) throw Exception("a control cannot be its own parent");
  if (FParent) FParent->RemoveControl(this);
  FParent = value;
  QWidget* w = Widget();
  if (FParent) {
    FParent->InsertControl(this);
    if (w) w->setParent(FParent->Widget());
    if (FParentFont) ParentFontChanged();
    if (FParentColor) ParentColorChanged();
    BoundsChanged();
    if (w) w->setVisible(FVisible);
  } else if (w && !dynamic_cast<TCustomForm*>(this)) {
    w->hide();
    w->setParent(nullptr);
  }
}

void TControl::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  FLeft = ALeft;
  FTop = ATop;
  FWidth = std::max<Integer>(AWidth, 0);
  FHeight = std::max<Integer>(AHeight, 0);
  BoundsChanged();
}

void TControl::SetCaption(const std::string& value) {
  if (value == FText) return;
  FText = value;
  TextChanged();
}

void TControl::SetParentFont(bool value) {
  FParentFont = value;
  if (value) ParentFontChanged();
}

void TControl::SetColor(TColor value) {
  FParentColor = false;
  if (value == FColor) return;
  FColor = value;
  ColorChanged();
  if (auto* self = dynamic_cast<TWinControl*>(this))
    for (TControl* c : self->FControls) c->ParentColorChanged();
}

void TControl::SetParentColor(bool value) {
  FParentColor = value;
  if (value) ParentColorChanged();
}

void TControl::ParentFontChanged() {
  if (!FParent || !FParentFont) return;
  FInFontChange = true;
  FFont.Assign(*FParent->Font());
  FInFontChange = false;
}

void TControl::ParentColorChanged() {
  if (!FParent || !FParentColor) return;
  if (FColor == FParent->Color()) return;
  FColor = FParent->Color();
  ColorChanged();
  if (auto* self = dynamic_cast<TWinControl*>(this))
    for (TControl* c : self->FControls) c->ParentColorChanged();
}

void TControl::SetVisible(bool value) {
  FVisible = value;
  QWidget* w = Widget();
  if (w && (FParent || !w->parentWidget())) w->setVisible(value);
}

void TControl::SetEnabled(bool value) {
  FEnabled = value;
  if (QWidget* w = Widget()) w->setEnabled(value);
}

void TControl::SetHint(const std::string& value) {
  FHint = value;
  if (QWidget* w = Widget()) w->setToolTip(QString::fromStdString(value));
}

void TControl::Click() {
  if (OnClick) OnClick(this);
}

void TControl::TextChanged() {}

void TControl::FontChanged() {
  QWidget* w = Widget();
  if (!w) return;
  w->setFont(FFont.ToQFont());
  QPalette p = w->palette();
  QColor c = ColorToQColor(FFont.Color());
  p.setColor(QPalette::WindowText, c);
  p.setColor(QPalette::Text, c);
  p.setColor(QPalette::ButtonText, c);
  w->setPalette(p);
}

void TControl::ColorChanged() {
  QWidget* w = Widget();
  if (!w) return;
  QPalette p = w->palette();
  // Buttons (the check box) fill their background from their own role.
  p.setColor(QPalette::Window, ColorToQColor(FColor));
  p.setColor(w->backgroundRole(), ColorToQColor(FColor));
  w->setPalette(p);
}

void TControl::BoundsChanged() {
  if (QWidget* w = Widget()) w->setGeometry(FLeft, FTop, FWidth, FHeight);
}

bool TControl::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "Left") SetLeft(reader.Int32(value));
  else if (name == "Top") SetTop(reader.Int32(value));
  else if (name == "Width") SetWidth(reader.Int32(value));
  else if (name == "Height") SetHeight(reader.Int32(value));
  else if (name == "Caption") SetCaption(reader.String(value));
  else if (name == "Color") SetColor(ReadColor(reader, value));
  else if (name == "ParentColor") SetParentColor(reader.Bool(value));
  else if (name == "ParentFont") SetParentFont(reader.Bool(value));
  else if (name == "Visible") SetVisible(reader.Bool(value));
  else if (name == "Enabled") SetEnabled(reader.Bool(value));
  else if (name == "Hint") SetHint(reader.String(value));
  else if (name == "OnClick") OnClick = reader.Method<void(TObject*)>(value);
  else if (name.rfind("Font.", 0) == 0) return FFont.ReadProperty(reader, name.substr(5), value);
  else return TComponent::ReadProperty(reader, name, value);
  return true;
}

void TControl::Loaded() { TComponent::Loaded(); }

// ---- TWinControl ---------------------------------------------------------------------------

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() {
  // The window goes first; its last messages still pass through every hook.
  DestroyHandle();
  // Children outlive this part of the object: cut them loose so that their own
  // destruction does not reach back into it.
  for (TControl* c : FControls) c->FParent = nullptr;
  FControls.clear();
}

LRESULT TWinControl::ClassWndProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  auto* control = reinterpret_cast<TWinControl*>(GetWindowLongA(hWnd, GWL_USERDATA));
  if (!control) return DefWindowProcA(hWnd, Msg, wParam, lParam);
  TMessage message;
  message.Msg = Msg;
  message.WParam = wParam;
  message.LParam = lParam;
  try {
    control->WndProc(message);
  } catch (...) {
    Application->HandleException(control);
  }
  return message.Result;
}

HWND TWinControl::Handle() {
  if (!FHandle) {
    if (Parent()) Parent()->Handle();
    FHandle = CreateWindowExA(&ClassWndProc, reinterpret_cast<LONG_PTR>(this));
  }
  return FHandle;
}

void TWinControl::DestroyHandle() {
  if (!FHandle) return;
  for (TControl* c : FControls)
    if (auto* w = dynamic_cast<TWinControl*>(c)) w->DestroyHandle();
  HWND h = FHandle;
  DestroyWindow(h);
  FHandle = nullptr;
}

void TWinControl::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case CM_CLICK: {
      TControl* c = TControl::FindBySerial(static_cast<std::uint64_t>(Message.WParam));
      if (c && c->Parent() == this && c->Enabled()) c->Click();
      return;
    }
    case WM_DROPFILES:
      // Nobody took the drop: release it anyway.
      DragFinish(reinterpret_cast<HDROP>(Message.WParam));
      return;
    default:
      Message.Result = DefWindowProcA(FHandle, Message.Msg, Message.WParam, Message.LParam);
  }
}

void TWinControl::InsertControl(TControl* control) { FControls.push_back(control); }

void TWinControl::RemoveControl(TControl* control) {
  FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
}

void TWinControl::SetTabOrder(Integer value) {
  FTabOrder = value;
  if (Parent() && !Loading()) Parent()->UpdateTabOrder();
}

void TWinControl::SetTabStop(bool value) {
  FTabStop = value;
  if (QWidget* w = Widget()) {
    if (!value) w->setFocusPolicy(Qt::NoFocus);
  }
}

void TWinControl::UpdateTabOrder() {
  std::vector<TWinControl*> order;
  for (TControl* c : FControls)
    if (auto* w = dynamic_cast<TWinControl*>(c))
      if (w->Widget()) order.push_back(w);
  // TabOrder first; unnumbered controls after the numbered ones, in creation order.
  std::stable_sort(order.begin(), order.end(), [](TWinControl* a, TWinControl* b) {
    auto key = [](TWinControl* w) { return w->FTabOrder < 0 ? INT32_MAX : w->FTabOrder; };
    return key(a) < key(b);
  });
  for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1]->Widget(), order[i]->Widget());
}

bool TWinControl::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  if (name == "TabOrder") {
    SetTabOrder(static_cast<Integer>(reader.IntIn(value, -1, 32767, "tab order out of range")));
    return true;
  }
  if (name == "TabStop") {
    SetTabStop(reader.Bool(value));
    return true;
  }
  return TControl::ReadProperty(reader, name, value);
}

void TWinControl::Loaded() {
  TControl::Loaded();
  UpdateTabOrder();
}
