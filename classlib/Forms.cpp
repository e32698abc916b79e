#include "classlib/Forms.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QWidget>
#include <algorithm>

#include "classlib/QtBridge.h"
#include "platform/Windows.h"

// ---- TCustomForm -----------------------------------------------------------------------------

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
  TControl::SetVisible(false);  // forms show when asked to
  auto* w = new QWidget(nullptr, Qt::Window);
  FClientWidth = 320;
  FClientHeight = 240;
  SetWidget(w);
  ApplyWindowFlags();
  ApplyClientSize();
}

TCustomForm::~TCustomForm() {
  if (QWidget* w = Widget()) w->hide();
}

Integer TCustomForm::Left() const {
  QWidget* w = Widget();
  return w ? w->x() : TControl::Left();
}

Integer TCustomForm::Top() const {
  QWidget* w = Widget();
  return w ? w->y() : TControl::Top();
}

Integer TCustomForm::Width() const {
  QWidget* w = Widget();
  return w ? w->frameGeometry().width() : FClientWidth;
}

Integer TCustomForm::Height() const {
  QWidget* w = Widget();
  return w ? w->frameGeometry().height() : FClientHeight;
}

Integer TCustomForm::ClientWidth() const {
  QWidget* w = Widget();
  return w ? w->width() : FClientWidth;
}

Integer TCustomForm::ClientHeight() const {
  QWidget* w = Widget();
  return w ? w->height() : FClientHeight;
}

void TCustomForm::SetBounds(Integer ALeft, Integer ATop, Integer AWidth, Integer AHeight) {
  QWidget* w = Widget();
  if (!w) return;
  // Width and Height include the frame; the client area is what remains of them.
  Integer frameW = w->frameGeometry().width() - w->width();
  Integer frameH = w->frameGeometry().height() - w->height();
  w->move(ALeft, ATop);
  Integer cw = std::max<Integer>(AWidth - frameW, 0);
  Integer ch = std::max<Integer>(AHeight - frameH, 0);
  if (cw != FClientWidth || ch != FClientHeight) {
    FClientWidth = cw;
    FClientHeight = ch;
    ApplyClientSize();
  }
}

void TCustomForm::BoundsChanged() {}  // the window keeps its own place (SetBounds)

void TCustomForm::SetClientWidth(Integer value) {
  FClientWidth = std::max<Integer>(value, 0);
  ApplyClientSize();
}

void TCustomForm::SetClientHeight(Integer value) {
  FClientHeight = std::max<Integer>(value, 0);
  ApplyClientSize();
}

void TCustomForm::ApplyClientSize() {
  QWidget* w = Widget();
  if (!w) return;
  bool fixed = FBorderStyle == bsSingle || FBorderStyle == bsDialog || FBorderStyle == bsToolWindow ||
               FBorderStyle == bsNone;
  if (fixed) {
    w->setFixedSize(FClientWidth, FClientHeight);
  } else {
    w->setMinimumSize(0, 0);
    w->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    w->resize(FClientWidth, FClientHeight);
  }
}

void TCustomForm::SetBorderStyle(TBorderStyle value) {
  FBorderStyle = value;
  ApplyWindowFlags();
  ApplyClientSize();
}

void TCustomForm::SetBorderIcons(TBorderIcons value) {
  FBorderIcons = value;
  ApplyWindowFlags();
}

void TCustomForm::ApplyWindowFlags() {
  QWidget* w = Widget();
  if (!w) return;
  Qt::WindowFlags flags = Qt::Window;
  if (FBorderStyle == bsNone) {
    flags |= Qt::FramelessWindowHint;
  } else {
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if (FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin) flags |= Qt::Tool;
    if (FBorderIcons & biSystemMenu) {
      flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
      bool dialog = FBorderStyle == bsDialog || FBorderStyle == bsToolWindow || FBorderStyle == bsSizeToolWin;
      if ((FBorderIcons & biMinimize) && !dialog) flags |= Qt::WindowMinimizeButtonHint;
      if ((FBorderIcons & biMaximize) && !dialog) flags |= Qt::WindowMaximizeButtonHint;
      if (FBorderIcons & biHelp) flags |= Qt::WindowContextHelpButtonHint;
    }
  }
  if (w->windowFlags() == flags) return;
  bool shown = w->isVisible();
  w->setWindowFlags(flags);
  if (shown) w->show();
}

void TCustomForm::TextChanged() {
  if (QWidget* w = Widget()) w->setWindowTitle(QString::fromStdString(Caption()));
}

void TCustomForm::SetIconXpm(const char* const* xpm) {
  QWidget* w = Widget();
  if (!w || !xpm) return;
  QPixmap pixmap(xpm);
  if (pixmap.isNull()) throw EInvalidGraphic("the window icon is not a valid XPM image");
  w->setWindowIcon(QIcon(pixmap));
}

void TCustomForm::SetVisible(bool value) {
  TControl::SetVisible(value);
  QWidget* w = Widget();
  if (value && w && !FShownOnce) {
    FShownOnce = true;
    // Without a window manager nothing activates a window by itself; the form
    // reports its first activation, so ask for it.
    w->raise();
    w->activateWindow();
  }
}

bool TCustomForm::CloseQuery() {
  bool canClose = true;
  if (OnCloseQuery) OnCloseQuery(this, canClose);
  return canClose;
}

void TCustomForm::DoClose(TCloseAction& Action) {
  if (OnClose) OnClose(this, Action);
}

void TCustomForm::Close() {
  if (!CloseQuery()) return;
  TCloseAction action = caHide;
  DoClose(action);
  if (action == caNone) return;
  if (Application->MainForm() == this)
    Application->Terminate();
  else if (action == caHide)
    Hide();
  else if (action == caMinimize) {
    if (QWidget* w = Widget()) w->showMinimized();
  } else
    Release();
}

void TCustomForm::Release() { PostMessageA(Handle(), CM_RELEASE, 0, 0); }

void TCustomForm::Activate() {
  if (OnActivate) OnActivate(this);
}

void TCustomForm::DoCreate() {
  try {
    if (OnCreate) OnCreate(this);
  } catch (...) {
    Application->HandleException(this);
  }
}

void TCustomForm::WndProc(TMessage& Message) {
  switch (Message.Msg) {
    case WM_CLOSE:
      Close();
      return;
    case WM_ACTIVATE:
      // Reported once per form: at its first activation after it is shown.
      if ((Message.WParam & 0xFFFF) != WA_INACTIVE && !FActivated && Visible()) {
        FActivated = true;
        Activate();
      }
      return;
    case CM_RELEASE:
      if (std::find(Application->FReleased.begin(), Application->FReleased.end(), this) ==
          Application->FReleased.end())
        Application->FReleased.push_back(this);
      return;
    default:
      TWinControl::WndProc(Message);
  }
}

TComponent* TCustomForm::BindFieldLookup(const std::string& name) {
  TComponent* c = FindComponent(name);
  if (!c)
    throw EResourceError("form " + ClassNameOf(*this) + ": the resource has no component '" + name + "'");
  return c;
}

void TCustomForm::BindFieldMismatch(const std::string& name, const TComponent& found, const std::type_info& want) {
  throw EResourceError("form " + ClassNameOf(*this) + ": component '" + name + "' is a " + ClassNameOf(found) +
                       ", not a " + ClassNameOf(want));
}

bool TCustomForm::ReadProperty(TReader& reader, const std::string& name, const TPropValue& value) {
  auto size = [&](const TPropValue& v) { return static_cast<Integer>(reader.IntIn(v, 0, 32767, "size out of range")); };
  if (name == "ClientWidth") {
    SetClientWidth(size(value));
  } else if (name == "ClientHeight") {
    SetClientHeight(size(value));
  } else if (name == "BorderStyle") {
    SetBorderStyle(static_cast<TBorderStyle>(reader.IdentIn(
        value, {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"}, "border style")));
  } else if (name == "BorderIcons") {
    SetBorderIcons(reader.SetIn(value,
                                {{"biSystemMenu", biSystemMenu}, {"biMinimize", biMinimize},
                                 {"biMaximize", biMaximize}, {"biHelp", biHelp}},
                                "border icon"));
  } else if (name == "Position") {
    SetPosition(static_cast<TPosition>(reader.IdentIn(value,
                                                      {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
                                                       "poScreenCenter", "poDesktopCenter", "poMainFormCenter",
                                                       "poOwnerFormCenter"},
                                                      "position")));
  } else if (name == "PixelsPerInch" || name == "TextHeight") {
    reader.Int(value);  // nothing is scaled: sizes are the resource's pixels
  } else if (name == "OnCreate") {
    OnCreate = reader.Method<void(TObject*)>(value);
  } else if (name == "OnClose") {
    OnClose = reader.Method<void(TObject*, TCloseAction&)>(value);
  } else if (name == "OnCloseQuery") {
    OnCloseQuery = reader.Method<void(TObject*, bool&)>(value);
  } else if (name == "OnActivate") {
    OnActivate = reader.Method<void(TObject*)>(value);
  } else {
    return TWinControl::ReadProperty(reader, name, value);
  }
  return true;
}

// ---- TApplication ----------------------------------------------------------------------------

namespace {
TApplication TheApplication(nullptr);
}  // namespace

TApplication* const Application = &TheApplication;

TApplication::TApplication(TComponent* AOwner) : TComponent(AOwner) {}

TApplication::~TApplication() {
  // The forms were freed when the program's loop ended (or by whoever made the
  // Qt application). Here, among static destructors, Qt's platform plugin may be
  // gone already: what is left goes with the process.
  while (ComponentCount() > 0) RemoveComponent(Components(ComponentCount() - 1));
}

void TApplication::Initialize() { QtBridge::EnsureApplication(); }

void TApplication::SetTitle(const std::string& value) {
  FTitle = value;
  QtBridge::SetProgramName(value);
}

void TApplication::LoadForm(TCustomForm* form, const std::string& resourceName) {
  TReader::ReadRootComponent(resourceName, FindFormResource(resourceName), form);
  form->DoCreate();
  if (!FMainForm) FMainForm = form;
}

void TApplication::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FMainForm) FMainForm = nullptr;
  FReleased.erase(std::remove(FReleased.begin(), FReleased.end(), AComponent), FReleased.end());
}

void TApplication::Run() {
  Initialize();
  if (!FMainForm) return;
  FMainForm->Show();
  while (!FTerminated) {
    try {
      HandleMessage();
    } catch (...) {
      HandleException(this);
    }
  }
  // A program's loop has ended: the forms go now, then the Qt application,
  // while Qt stands whole. Left to the exit handlers they would outlive Qt's
  // per-thread state, which the process end frees first (the animation of a
  // progress bar in its busy state is freed through it).
  if (QtBridge::OwnsApplication()) {
    Reset();
    QtBridge::FreeApplication();
  }
}

bool TApplication::ProcessMessage() {
  MSG msg;
  if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) return false;
  if (msg.message == WM_QUIT) {
    FTerminated = true;
    return true;
  }
  struct TDepth {
    TApplication* App;
    explicit TDepth(TApplication* app) : App(app) { ++App->FDispatchDepth; }
    ~TDepth() {
      if (--App->FDispatchDepth != 0) return;
      App->ReleaseForms();
      // The toolkit's wait can miss a wake-up that came while a handler ran;
      // wake it again now that the outermost handler is done.
      if (App->FTerminated || QuitPending()) QtBridge::WakeUp();
    }
  } depth(this);
  DispatchMessageA(&msg);
  return true;
}

void TApplication::HandleMessage() {
  Initialize();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  if (ProcessMessage()) return;
  if (FTerminated || PendingMessageCount() != 0 || QuitPending()) return;
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void TApplication::ProcessMessages() {
  Initialize();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  while (ProcessMessage()) {
  }
}

void TApplication::Terminate() { PostQuitMessage(0); }

void TApplication::ReleaseForms() {
  while (!FReleased.empty()) {
    TCustomForm* form = FReleased.back();
    FReleased.pop_back();
    delete form;
  }
}

std::string TApplication::ErrorBoxText(const std::string& message) {
  if (!message.empty() && static_cast<unsigned char>(message.back()) > static_cast<unsigned char>('.'))
    return message + ".";
  return message;
}

void TApplication::HandleException(TObject*, std::exception_ptr E) {
  if (!E) return;
  try {
    std::rethrow_exception(E);
  } catch (const EAbort&) {
    // The silent exception: nothing to show.
  } catch (const std::exception& e) {
    ShowException(e);
  } catch (...) {
    ShowException(Exception("unknown exception"));
  }
}

void TApplication::ShowException(const std::exception& E) {
  Initialize();
  const auto* ex = dynamic_cast<const Exception*>(&E);
  std::string text = ErrorBoxText(ex ? ex->Message() : std::string(E.what()));
  QString title = FTitle.empty() ? QCoreApplication::applicationName() : QString::fromStdString(FTitle);
  QMessageBox box(QMessageBox::Critical, title, QString::fromStdString(text), QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

void TApplication::Reset() {
  ClearMessageQueue();
  FReleased.clear();
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
  FMainForm = nullptr;
  FTerminated = false;
  FDispatchDepth = 0;
  ClearMessageQueue();
}
