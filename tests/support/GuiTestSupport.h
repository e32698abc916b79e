// Helpers for tests that drive forms and the message loop offscreen.
#pragma once
#include <QApplication>
#include <QDeadlineTimer>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Forms.h"

// The test main's environment ("NAME=value" entries) right before it made the
// application.
extern std::vector<std::string> EnvironmentBeforeTheApplication;

// Records and closes every modal message box as soon as it shows.
class TBoxWatcher {
 public:
  struct TBox {
    std::string Title;
    std::string Text;
    QMessageBox::Icon Icon;
  };
  // onBox runs while the box is up (before it is closed), e.g. to post more messages.
  explicit TBoxWatcher(std::function<void()> onBox = nullptr) : FOnBox(std::move(onBox)) {
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      Boxes.push_back(TBox{box->windowTitle().toStdString(), box->text().toStdString(), box->icon()});
      if (FOnBox) FOnBox();
      box->done(QMessageBox::Ok);
    });
    FTimer.start();
  }
  std::vector<TBox> Boxes;

 private:
  QTimer FTimer;
  std::function<void()> FOnBox;
};

// Handles messages until cond holds; false when it did not within a generous cap.
inline bool PumpUntil(const std::function<bool()>& cond, int capMs = 20000) {
  QDeadlineTimer deadline(capMs);
  while (!cond()) {
    if (deadline.hasExpired()) return false;
    Application->ProcessMessages();
  }
  return true;
}

// Drops local files on a widget the way the file manager does: an accepted drag
// enter, a move, then the drop. Returns whether the drop was accepted.
inline bool DropUrls(QWidget* target, const QList<QUrl>& urls, QPoint pos) {
  QMimeData mime;
  mime.setUrls(urls);
  QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &enter);
  if (!enter.isAccepted()) return false;
  QDragMoveEvent move(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &move);
  QDropEvent drop(QPointF(pos), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(target, &drop);
  return drop.isAccepted();
}

inline QList<QUrl> FileUrls(const std::vector<std::string>& paths) {
  QList<QUrl> urls;
  for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
  return urls;
}

// Ends a Run that did not end by itself within a generous cap, so that a
// fault fails the test instead of hanging it.
class TWatchdog {
 public:
  explicit TWatchdog(int capMs = 20000) {
    FTimer.setSingleShot(true);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      Fired = true;
      Application->Terminate();
    });
    FTimer.start(capMs);
  }
  bool Fired = false;

 private:
  QTimer FTimer;
};

// Each test starts from a fresh application object and ends leaving none of its forms.
class GuiTest : public testing::Test {
 protected:
  void SetUp() override {
    Application->Reset();
    Application->Initialize();
    Application->SetTitle("TestApp");
  }
  void TearDown() override { Application->Reset(); }
};
