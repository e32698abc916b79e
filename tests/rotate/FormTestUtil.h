// Helpers of the rotation form tests: message boxes closed as they show, and the
// message loop driven until a condition holds.
#pragma once
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QTimer>
#include <functional>
#include <string>
#include <vector>

#include "classlib/Forms.h"

namespace rotate_test {

// Records the text of every modal message box and closes it.
class TBoxCloser {
 public:
  TBoxCloser() {
    FTimer.setInterval(5);
    QObject::connect(&FTimer, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box || !box->isVisible()) return;
      Texts.push_back(box->text().toStdString());
      Titles.push_back(box->windowTitle().toStdString());
      box->done(QMessageBox::Ok);
    });
    FTimer.start();
  }
  std::vector<std::string> Texts;
  std::vector<std::string> Titles;

 private:
  QTimer FTimer;
};

// Handles messages until cond holds; false when it did not within a generous cap.
inline bool PumpUntil(const std::function<bool()>& cond, int capMs = 30000) {
  QDeadlineTimer deadline(capMs);
  while (!cond()) {
    if (deadline.hasExpired()) return false;
    Application->ProcessMessages();
  }
  return true;
}

}  // namespace rotate_test

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

namespace rotate_test {

// Drops local files on a widget as the file manager does: an accepted drag
// enter, a move, then the drop. Returns whether the drop was accepted.
inline bool DropFiles(QWidget* target, const std::vector<std::string>& paths, QPoint pos = {20, 20}) {
  QList<QUrl> urls;
  for (const std::string& p : paths) urls.push_back(QUrl::fromLocalFile(QString::fromStdString(p)));
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

}  // namespace rotate_test
