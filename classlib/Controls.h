// Controls unit: colours, fonts, the control base classes, message records and
// window-procedure stubs.
//
// Accessors: a property P reads as P() and writes as SetP(value), e.g.
// Edit1->Text(), Form1->SetLeft(PosLeft), CheckBox1->SetChecked(true).
// Events are public std::function fields (OnClick, OnCreate, ...), empty when
// unassigned.
//
// Every control owns one Qt widget, made by its constructor; windowed controls
// (TWinControl) also have a platform window handle (HWND) whose procedure chain
// ends in the class library's own procedure, which hands each message to the
// control's WndProc. An exception that leaves WndProc is shown through
// Application->HandleException with the control as the sender.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Resources.h"
#include "platform/WinTypes.h"

class QWidget;
class QFont;
class QColor;
class TWinControl;

using SmallInt = std::int16_t;

// ---- Messages and window-procedure stubs ---------------------------------------------
// The message record handed to a bound window method; Result starts at 0 and is
// what the window procedure returns.
struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage& Message)>;

// A plain window procedure bound to method: it packs the message number,
// wParam and lParam with Result 0 into a TMessage, calls method and returns
// Result. Stubs come from a fixed pool; when none is free, EOutOfResources.
WNDPROC MakeObjectInstance(TWndMethod method);
// Releases a stub for reuse. A null or unknown procedure is ignored.
void FreeObjectInstance(WNDPROC stub);
// Binds a live stub to another method (a stub that must outlive its object
// forwards elsewhere instead of being released).
void RebindObjectInstance(WNDPROC stub, TWndMethod method);
// Stubs in use (test support).
int ObjectInstancesInUse();

// Private messages of the class library (a control's click, a deferred release).
constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_CLICK = CM_BASE + 1;    // wParam: the clicked control's serial
constexpr UINT CM_RELEASE = CM_BASE + 2;  // frees the form after the running handler

// ---- Colours ---------------------------------------------------------------------------
// $00BBGGRR, or a system colour: $80000000 plus the system colour's index.
using TColor = std::int32_t;
constexpr TColor clSystemColor = static_cast<TColor>(0x80000000u);
constexpr TColor clScrollBar = clSystemColor | 0;
constexpr TColor clBackground = clSystemColor | 1;
constexpr TColor clActiveCaption = clSystemColor | 2;
constexpr TColor clInactiveCaption = clSystemColor | 3;
constexpr TColor clMenu = clSystemColor | 4;
constexpr TColor clWindow = clSystemColor | 5;
constexpr TColor clWindowFrame = clSystemColor | 6;
constexpr TColor clMenuText = clSystemColor | 7;
constexpr TColor clWindowText = clSystemColor | 8;
constexpr TColor clCaptionText = clSystemColor | 9;
constexpr TColor clActiveBorder = clSystemColor | 10;
constexpr TColor clInactiveBorder = clSystemColor | 11;
constexpr TColor clAppWorkSpace = clSystemColor | 12;
constexpr TColor clHighlight = clSystemColor | 13;
constexpr TColor clHighlightText = clSystemColor | 14;
constexpr TColor clBtnFace = clSystemColor | 15;
constexpr TColor clBtnShadow = clSystemColor | 16;
constexpr TColor clGrayText = clSystemColor | 17;
constexpr TColor clBtnText = clSystemColor | 18;
constexpr TColor clInactiveCaptionText = clSystemColor | 19;
constexpr TColor clBtnHighlight = clSystemColor | 20;
constexpr TColor cl3DDkShadow = clSystemColor | 21;
constexpr TColor cl3DLight = clSystemColor | 22;
constexpr TColor clInfoText = clSystemColor | 23;
constexpr TColor clInfoBk = clSystemColor | 24;
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;

// The colour as the screen shows it (system colours in the classic scheme).
QColor ColorToQColor(TColor color);
// "clBtnFace" and the like; false for an unknown name.
bool IdentToColor(const std::string& ident, TColor& color);

// ---- Fonts -----------------------------------------------------------------------------
using TFontStyles = unsigned;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

using TFontCharset = BYTE;
constexpr TFontCharset ANSI_CHARSET = 0;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;

// A font as the resources describe it. Height < 0 is the character height in
// pixels (-12: 12 pixels); Height > 0 is taken as the pixel size as well.
// "ＭＳ Ｐゴシック" is drawn with the installed proportional Japanese gothic.
class TFont : public TPersistent {
 public:
  TFont();
  const std::string& Name() const { return FName; }
  void SetName(const std::string& value);
  Integer Height() const { return FHeight; }
  void SetHeight(Integer value);
  // Points at 96 pixels per inch; setting it sets Height.
  Integer Size() const;
  void SetSize(Integer value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles value);
  TFontCharset Charset() const { return FCharset; }
  void SetCharset(TFontCharset value);
  void Assign(const TFont& source);
  QFont ToQFont() const;
  // Called after every change.
  std::function<void()> OnChange;
  // Reads "Name", "Height", "Size", "Color", "Style", "Charset" (the part of a
  // dotted "Font.X" name behind the dot).
  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value);

 private:
  std::string FName = "MS Sans Serif";
  Integer FHeight = -11;
  TColor FColor = clWindowText;
  TFontStyles FStyle = 0;
  TFontCharset FCharset = DEFAULT_CHARSET;
  void Changed();
};

// ---- Controls --------------------------------------------------------------------------
// Published properties read from resources: Left, Top, Width, Height, Caption,
// Color, ParentColor, Font.Name/Height/Size/Color/Style/Charset, ParentFont,
// Visible, Enabled, Hint, OnClick (and Tag through TComponent).
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* value);

  // Places and sizes in pixels within the parent's client area (forms: on the screen).
  virtual Integer Left() const { return FLeft; }
  virtual Integer Top() const { return FTop; }
  virtual Integer Width() const { return FWidth; }
  virtual Integer Height() const { return FHeight; }
  void SetLeft(Integer value) { SetBounds(value, Top(), Width(), Height()); }
  void SetTop(Integer value) { SetBounds(Left(), value, Width(), Height()); }
  void SetWidth(Integer value) { SetBounds(Left(), Top(), value, Height()); }
  void SetHeight(Integer value) { SetBounds(Left(), Top(), Width(), value); }
  virtual void SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight);

  // Caption and Text are the same string (a form's caption is its title).
  const std::string& Caption() const { return FText; }
  void SetCaption(const std::string& value);
  const std::string& Text() const { return Caption(); }
  void SetText(const std::string& value) { SetCaption(value); }

  TFont* Font() { return &FFont; }
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool value);
  TColor Color() const { return FColor; }
  void SetColor(TColor value);
  bool ParentColor() const { return FParentColor; }
  void SetParentColor(bool value);
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool value);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool value);
  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& value);

  TNotifyEvent OnClick;
  // Runs OnClick (the controls' own click, e.g. a label clicked with the mouse).
  virtual void Click();

  // The Qt widget that shows this control (test support and the Qt bridge).
  QWidget* Widget() const;
  // A number naming this control in CM_CLICK messages; never reused.
  std::uint64_t Serial() const { return FSerial; }
  static TControl* FindBySerial(std::uint64_t serial);

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;
  void Loaded() override;

 protected:
  // Made by each concrete class's constructor; the control deletes it.
  void SetWidget(QWidget* widget);
  // Hooks called after the matching property changed, to update the widget.
  virtual void TextChanged();
  virtual void FontChanged();
  virtual void ColorChanged();
  virtual void BoundsChanged();
  // The parent's font or colour changed (ParentFont / ParentColor follow it).
  void ParentFontChanged();
  void ParentColorChanged();
  // The default colour of the control class (clBtnFace; edits: clWindow).
  TColor FColor = clBtnFace;
  bool FParentColor = true;
  friend class TWinControl;

 private:
  TWinControl* FParent = nullptr;
  Integer FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
  std::string FText;
  std::string FHint;
  TFont FFont;
  bool FParentFont = true;
  bool FVisible = true;
  bool FEnabled = true;
  std::uint64_t FSerial;
  struct TWidgetHolder;
  std::unique_ptr<TWidgetHolder> FWidget;
  bool FInFontChange = false;
};

// A control without a window of its own (labels).
class TGraphicControl : public TControl {
 public:
  using TControl::TControl;
};

// A control with a platform window. Adds TabOrder, TabStop and the window handle.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The control's window, created (after its parent's) when it has none yet.
  HWND Handle();
  bool HandleAllocated() const { return FHandle != nullptr; }

  TControl* Controls(int index) const { return FControls.at(static_cast<std::size_t>(index)); }

  Integer TabOrder() const { return FTabOrder; }
  void SetTabOrder(Integer value);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool value);

  bool ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) override;
  void Loaded() override;

  // The class library's handling of a message of this control's window. The
  // default: CM_CLICK clicks the child control it names; WM_DROPFILES that no
  // hook took is released; everything else goes to DefWindowProcA.
  virtual void WndProc(TMessage& Message);

 protected:
  void DestroyHandle();
  // Orders the focus chain of the children by TabOrder.
  void UpdateTabOrder();

 private:
  HWND FHandle = nullptr;
  std::vector<TControl*> FControls;
  Integer FTabOrder = -1;
  bool FTabStop = true;
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  static LRESULT ClassWndProc(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
  friend class TControl;
};

// Demangled class name without namespace qualifiers ("TForm1"), for resource
// names and messages.
std::string ClassNameOf(const std::type_info& type);
inline std::string ClassNameOf(const TObject& object) { return ClassNameOf(typeid(object)); }
