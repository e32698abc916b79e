// Internal to the class library: the bridge between Qt and the platform's
// windows and message queue.
#pragma once
#include <QObject>
#include <functional>
#include <memory>
#include <string>

class QApplication;
class QWidget;
class TControl;

namespace QtBridge {
// Makes the Qt application as the forms need it: without Qt's high-dpi
// scaling and at a logical 96 dpi, so that sizes and places are the stated
// pixels and the controls are drawn alike whatever the screen's dpi or the
// desktop's scale. The environment is left as it was.
// argc and argv must outlive the application. Tests that make their own
// application use this.
std::unique_ptr<QApplication> NewApplication(int& argc, char** argv);
// Runs make, which makes the Qt application, with Qt's high-dpi scaling
// switched off through the environment: Qt reads these settings only while
// the application is made. Afterwards (also when make throws) every one of
// them is as it was, set to the same value or unset, so that programs started
// later (a link's browser) inherit the user's environment.
void WithoutScaling(const std::function<void()>& make);
// Makes sure a QApplication exists (creating one only when nobody has), maps the
// classic Japanese font names to the installed gothic faces and hooks the
// message queue's wake and wait to Qt's event dispatcher.
void EnsureApplication();
// Whether the class library made the Qt application (a program, not a test
// that made its own).
bool OwnsApplication();
// Deletes the Qt application the class library made; the forms must be gone.
void FreeApplication();
// The program's name, as the window system groups and names the program's
// windows by (on X11 the instance and the class of the window class); Qt reads
// it when the first window is made.
void SetProgramName(const std::string& name);
// Makes Qt's blocking wait return, so the loop looks at our queue.
void WakeUp();
}  // namespace QtBridge

// Watches one control's widget and turns Qt's events into platform messages:
// the close box, activation and file drops of windowed controls, and the clicks
// of labels. Nothing of the system's code runs inside Qt's event delivery:
// everything is posted to the control's (or its parent's) window.
class TWidgetBridge : public QObject {
 public:
  TWidgetBridge(TControl* control, QWidget* widget);
  ~TWidgetBridge() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Filter(QEvent* event);
  TControl* FControl;
  QWidget* FWidget;
  bool FPressed = false;
};
