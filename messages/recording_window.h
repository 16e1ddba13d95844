#pragma once
#include <QMap>
#include <QString>
#include <QStringList>

#include <deque>
#include <functional>
#include <mutex>

#include "messages/window.h"

namespace lumo {

// A window without widgets: keeps every log line, message, text and progress change, and
// answers message boxes from a script (OK, or Yes for a question, when the script is empty).
// Thread-safe, so the worker and the tests may use it at once.
class RecordingWindow : public Window {
 public:
  struct Box {
    QString caption;
    QString text;
    uint16_t flags;
  };

  void log_line(const QString& line) override {
    std::function<void(const QString&)> echo;
    {
      std::lock_guard<std::mutex> g(mu_);
      lines_.push_back(line);
      echo = on_line_;
    }
    if (echo) echo(line);
  }
  int message(const QString& caption, const QString& text, uint16_t flags) override {
    std::lock_guard<std::mutex> g(mu_);
    boxes_.push_back({caption, text, flags});
    if (!answers_.empty()) {
      int a = answers_.front();
      answers_.pop_front();
      return a;
    }
    return flags == kStyleQuestion ? kAnswerYes : kAnswerOk;
  }
  void set_text(const char* control, const QString& text) override {
    std::lock_guard<std::mutex> g(mu_);
    texts_[QString::fromLatin1(control)] = text;
  }
  void set_progress_max(int m) override {
    std::lock_guard<std::mutex> g(mu_);
    progress_max_ = m;
  }
  void set_progress(int p) override {
    std::lock_guard<std::mutex> g(mu_);
    progress_ = p;
    ++progress_moves_;
  }
  int progress_maximum() override {
    std::lock_guard<std::mutex> g(mu_);
    return progress_max_;
  }
  void system_error_box(const QString& text) override {
    std::lock_guard<std::mutex> g(mu_);
    boxes_.push_back({QStringLiteral("GetLastError"), text, kStyleInfo});
  }

  void answer_next(int a) {
    std::lock_guard<std::mutex> g(mu_);
    answers_.push_back(a);
  }
  void on_line(std::function<void(const QString&)> f) {
    std::lock_guard<std::mutex> g(mu_);
    on_line_ = std::move(f);
  }
  QStringList lines() const {
    std::lock_guard<std::mutex> g(mu_);
    return lines_;
  }
  std::vector<Box> boxes() const {
    std::lock_guard<std::mutex> g(mu_);
    return boxes_;
  }
  QString text(const char* control) const {
    std::lock_guard<std::mutex> g(mu_);
    return texts_.value(QString::fromLatin1(control));
  }
  int progress() const {
    std::lock_guard<std::mutex> g(mu_);
    return progress_;
  }
  int progress_moves() const {
    std::lock_guard<std::mutex> g(mu_);
    return progress_moves_;
  }
  void clear() {
    std::lock_guard<std::mutex> g(mu_);
    lines_.clear();
    boxes_.clear();
    texts_.clear();
  }

 private:
  mutable std::mutex mu_;
  QStringList lines_;
  std::vector<Box> boxes_;
  QMap<QString, QString> texts_;
  std::deque<int> answers_;
  std::function<void(const QString&)> on_line_;
  int progress_max_ = 100;
  int progress_ = 0;
  int progress_moves_ = 0;
};

}  // namespace lumo
