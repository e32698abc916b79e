#include "classlib/QtBridge.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFont>
#include <QMimeData>
#include <QMouseEvent>
#include <QUrl>
#include <QWidget>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "platform/Drop.h"
#include "platform/Windows.h"

namespace {

QApplication* OwnedApplication = nullptr;
bool Hooked = false;

// The arguments of the application the class library makes. Qt takes the
// instance part of the window class from argv[0] when it makes the first
// window, so the program's name is put there once it is known.
int Argc = 1;
char DefaultName[] = "vornel";
char* Argv[] = {DefaultName, nullptr};
std::string ProgramName;

void WaitForEvents() { QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); }

}  // namespace

namespace QtBridge {

void WakeUp() {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  if (QAbstractEventDispatcher* d = QAbstractEventDispatcher::instance(app->thread())) d->wakeUp();
}

void WithoutScaling(const std::function<void()>& make) {
  // Automatic scaling off, and none of the desktop's scale factors (KDE Plasma
  // on X11 sets QT_SCREEN_SCALE_FACTORS for the scale the user picked).
  struct TSetting {
    const char* Name;
    const char* During;  // nullptr: unset
  };
  static const TSetting kSettings[] = {
      {"QT_ENABLE_HIGHDPI_SCALING", "0"},
      {"QT_SCALE_FACTOR", nullptr},
      {"QT_SCREEN_SCALE_FACTORS", nullptr},
  };
  std::vector<std::optional<std::string>> saved;
  for (const TSetting& s : kSettings) {
    const char* was = std::getenv(s.Name);
    saved.push_back(was ? std::optional<std::string>(was) : std::nullopt);
  }
  struct TPutBack {
    const std::vector<std::optional<std::string>>& Saved;
    ~TPutBack() {
      for (std::size_t i = 0; i < Saved.size(); ++i) {
        if (Saved[i])
          setenv(kSettings[i].Name, Saved[i]->c_str(), 1);
        else
          unsetenv(kSettings[i].Name);
      }
    }
  } putBack{saved};
  for (const TSetting& s : kSettings) {
    if (s.During)
      setenv(s.Name, s.During, 1);
    else
      unsetenv(s.Name);
  }
  make();
}

std::unique_ptr<QApplication> NewApplication(int& argc, char** argv) {
  // Without scaling a 192-dpi desktop still has Qt's style draw the check box's
  // indicator at twice its size, overflowing the control: every size the style
  // works out is taken at 96 dpi.
  QCoreApplication::setAttribute(Qt::AA_Use96Dpi);
  std::unique_ptr<QApplication> app;
  WithoutScaling([&] { app = std::make_unique<QApplication>(argc, argv); });
  return app;
}

void SetProgramName(const std::string& name) {
  QCoreApplication::setApplicationName(QString::fromStdString(name));
  if (!OwnedApplication) return;
  ProgramName = name;
  Argv[0] = ProgramName.empty() ? DefaultName : ProgramName.data();
}

void EnsureApplication() {
  if (!QCoreApplication::instance()) OwnedApplication = NewApplication(Argc, Argv).release();
  if (Hooked) return;
  Hooked = true;
  // fontconfig maps these names to a Latin face and Qt then falls back to the
  // fixed-width gothic; the proportional one is what the forms were laid out with.
  QFont::insertSubstitution(QString::fromUtf8("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
  QFont::insertSubstitution(QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic"));
  // The loop ends only on our quit; Qt must never end it by itself (after its
  // quit every later message box would return at once).
  QGuiApplication::setQuitOnLastWindowClosed(false);
  SetMessageWakeHook(&WakeUp);
  SetMessageWaitHook(&WaitForEvents);
}

bool OwnsApplication() { return OwnedApplication != nullptr; }

void FreeApplication() {
  delete OwnedApplication;
  OwnedApplication = nullptr;
}

}  // namespace QtBridge

// ---- TWidgetBridge ---------------------------------------------------------------------------

TWidgetBridge::TWidgetBridge(TControl* control, QWidget* widget) : FControl(control), FWidget(widget) {
  widget->installEventFilter(this);
  if (dynamic_cast<TWinControl*>(control)) widget->setAcceptDrops(true);
}

TWidgetBridge::~TWidgetBridge() = default;

namespace {

std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> paths;
  for (const QUrl& url : mime->urls())
    if (url.isLocalFile()) {
      QByteArray bytes = url.toLocalFile().toUtf8();
      paths.emplace_back(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    }
  return paths;
}

// A file drag is taken by a window registered as a drop target; others let it
// pass on to their parent, as the shell does.
bool TakesFiles(TWinControl* control, const QMimeData* mime) {
  if (!control->HandleAllocated() || !WindowAcceptsDrops(control->Handle())) return false;
  return !LocalFiles(mime).empty();
}

}  // namespace

bool TWidgetBridge::eventFilter(QObject* watched, QEvent* event) {
  if (watched != FWidget) return false;
  // Nothing may unwind through Qt's event delivery.
  try {
    return Filter(event);
  } catch (...) {
    Application->HandleException(FControl);
    return true;
  }
}

bool TWidgetBridge::Filter(QEvent* event) {
  auto* win = dynamic_cast<TWinControl*>(FControl);
  auto* form = dynamic_cast<TCustomForm*>(FControl);
  switch (event->type()) {
    case QEvent::Close:
      if (!form) return false;
      // The close box asks the form; the form decides (and may refuse) in its own procedure.
      event->ignore();
      PostMessageA(form->Handle(), WM_CLOSE, 0, 0);
      return true;
    case QEvent::WindowActivate:
      if (form) PostMessageA(form->Handle(), WM_ACTIVATE, WA_ACTIVE, 0);
      return false;
    case QEvent::WindowDeactivate:
      if (form) PostMessageA(form->Handle(), WM_ACTIVATE, WA_INACTIVE, 0);
      return false;
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* e = static_cast<QDragMoveEvent*>(event);
      if (!win || !e->mimeData() || !e->mimeData()->hasUrls()) return false;
      if (TakesFiles(win, e->mimeData()))
        e->acceptProposedAction();
      else
        e->ignore();
      return true;
    }
    case QEvent::Drop: {
      auto* e = static_cast<QDropEvent*>(event);
      if (!win || !e->mimeData() || !e->mimeData()->hasUrls()) return false;
      if (!TakesFiles(win, e->mimeData())) {
        e->ignore();
        return true;
      }
      QPoint p = e->position().toPoint();
      HDROP drop = CreateDropHandle(LocalFiles(e->mimeData()), POINT{p.x(), p.y()});
      if (!PostMessageA(win->Handle(), WM_DROPFILES, reinterpret_cast<WPARAM>(drop), 0)) DragFinish(drop);
      e->acceptProposedAction();
      return true;
    }
    case QEvent::MouseButtonPress:
      if (!win && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) FPressed = true;
      return false;
    case QEvent::MouseButtonRelease: {
      auto* e = static_cast<QMouseEvent*>(event);
      if (win || e->button() != Qt::LeftButton || !FPressed) return false;
      FPressed = false;
      // A click is a press and a release on the control; its handler runs from
      // the message loop, through the parent's window.
      if (FWidget->rect().contains(e->position().toPoint()) && FControl->Parent())
        PostMessageA(FControl->Parent()->Handle(), CM_CLICK, static_cast<WPARAM>(FControl->Serial()), 0);
      return false;
    }
    default:
      return false;
  }
}
