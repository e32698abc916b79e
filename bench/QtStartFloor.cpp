// The start-up floor of a Qt Widgets program here: a bare window shown, and at
// its first activation a settings file written beside the program (as the
// tools' close handler does) and the loop ended. Measured from outside like the
// tools themselves. With the environment variable BENCH_QT_TEXT set, the window
// also shows a line of Japanese text in the tools' font, which brings in the
// font database (fontconfig) and the font files: the floor of a window that
// shows text.
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

std::string SettingsPath() {
  char buf[4096];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return std::string(buf, n > 0 ? static_cast<std::size_t>(n) : 0) + ".INI";
}

class TWindow : public QWidget {
 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::WindowActivate && !FDone) {
      FDone = true;
      std::ofstream(SettingsPath()) << "[Pos]\nTop=50\nLeft=50\n";
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return QWidget::event(e);
  }

 private:
  bool FDone = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  TWindow w;
  w.resize(320, 160);
  if (std::getenv("BENCH_QT_TEXT")) {
    QFont::insertSubstitution("ＭＳ Ｐゴシック", "IPAPGothic");
    auto* label = new QLabel("処理後終了する", &w);
    label->setFont(QFont("ＭＳ Ｐゴシック", 9));
    label->move(10, 10);
  }
  w.setWindowTitle("start-up floor");
  w.show();
  w.activateWindow();
  return app.exec();
}
