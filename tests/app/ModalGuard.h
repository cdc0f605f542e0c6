#pragma once
// Answers the modal dialogs a window test expects, from inside their own event loop, and closes any
// other modal left open (failing the test), so that a window test can fail but never wait forever on
// a dialog nobody answers. The window harnesses keep one for each test.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

namespace skelvane::test {

class ModalGuard {
 public:
  /// How often the guard looks for a modal dialog.
  static constexpr int kPollMilliseconds = 5;
  /// How long a modal nobody expects may stay open (a slow machine's progress dialog included).
  static constexpr int kPatienceMilliseconds = 30000;

  ModalGuard() {
    timer_.setInterval(kPollMilliseconds);
    QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] { Poll(); });
    timer_.start();
  }

  ~ModalGuard() {
    timer_.stop();
    EXPECT_TRUE(expected_.empty()) << expected_.size() << " expected dialog(s) never came";
  }

  ModalGuard(const ModalGuard&) = delete;
  ModalGuard& operator=(const ModalGuard&) = delete;

  /// Runs `answer` on the next modal of type Dialog once it is shown; the dialog's exec() is then
  /// running, so `answer` may type into it, accept or reject it.
  template <class Dialog>
  void Expect(std::function<void(Dialog&)> answer) {
    expected_.push_back([answer = std::move(answer)](QWidget& modal) {
      auto* dialog = qobject_cast<Dialog*>(&modal);
      if (dialog == nullptr) return false;
      answer(*dialog);
      return true;
    });
  }

  /// Whether every dialog expected so far came and was answered; forgets those that did not.
  bool AllAnswered() {
    const bool all = expected_.empty();
    expected_.clear();
    return all;
  }

 private:
  void Poll() {
    if (busy_) return;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) {
      lingering_ = nullptr;
      return;
    }
    busy_ = true;
    if (modal != answered_ && !expected_.empty() && expected_.front()(*modal)) {
      answered_ = modal;
      expected_.pop_front();
    }
    busy_ = false;
    modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (modal != lingering_) {
      lingering_ = modal;
      since_.start();
      return;
    }
    if (since_.elapsed() < kPatienceMilliseconds) return;
    ADD_FAILURE() << "A modal nobody answered was closed: \"" << modal->windowTitle().toStdString() << "\" "
                  << Text(*modal);
    if (auto* dialog = qobject_cast<QDialog*>(modal)) {
      dialog->done(QDialog::Rejected);
    } else {
      modal->close();
    }
    lingering_ = nullptr;
  }

  static std::string Text(QWidget& modal) {
    auto* box = qobject_cast<QMessageBox*>(&modal);
    return box != nullptr ? box->text().toStdString() : std::string();
  }

  QTimer timer_;
  std::deque<std::function<bool(QWidget&)>> expected_;
  QPointer<QWidget> answered_;   // the last dialog answered (an answer that leaves it open is not repeated)
  QPointer<QWidget> lingering_;  // the modal open since `since_`
  QElapsedTimer since_;
  bool busy_ = false;
};

}  // namespace skelvane::test
