#pragma once

#include <QApplication>
#include <QDialog>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <utility>

namespace verifax::testing {

/// Answers the modal windows that a piece of code opens, in order: each step waits for
/// a visible modal window of its type, acts on it (and should close it), and the next
/// step waits for the next window. A modal window that no step expects is closed and
/// noted, so nothing waits for a user who is not there.
class ModalDriver : public QObject {
 public:
  ModalDriver() {
    timer_.setInterval(5);
    connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
    timer_.start();
  }

  /// Adds a step for the next modal window, which must be a `W`.
  template <class W>
  ModalDriver& Then(std::function<void(W*)> act) {
    steps_.push_back(Step{W::staticMetaObject.className(),
                          [act = std::move(act)](QWidget* w) { act(qobject_cast<W*>(w)); }});
    return *this;
  }

  /// True when every step has run.
  bool done() const { return steps_.empty(); }
  /// Modal windows that came when no step expected them (class names), and windows
  /// that a step left open.
  const QStringList& surprises() const { return surprises_; }

 private:
  struct Step {
    const char* class_name;
    std::function<void(QWidget*)> act;
  };

  void Poll() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || busy_) return;
    if (modal == last_ && last_->isVisible()) return;  // still closing
    busy_ = true;
    if (!steps_.empty() && modal->inherits(steps_.front().class_name)) {
      Step step = std::move(steps_.front());
      steps_.pop_front();
      last_ = modal;
      step.act(modal);
      if (last_ && last_->isVisible()) {
        surprises_ << QStringLiteral("left open: ") + QLatin1String(step.class_name);
        Close(last_);
      }
    } else {
      surprises_ << QLatin1String(modal->metaObject()->className());
      Close(modal);
    }
    busy_ = false;
  }

  static void Close(QWidget* widget) {
    if (auto* dialog = qobject_cast<QDialog*>(widget)) {
      dialog->reject();
    } else {
      widget->close();
    }
  }

  QTimer timer_;
  std::deque<Step> steps_;
  QStringList surprises_;
  QPointer<QWidget> last_;
  bool busy_ = false;
};

}  // namespace verifax::testing
