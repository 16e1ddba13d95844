#pragma once
#include "tests/qt_printers.h"
#include <QStringList>

#include <mutex>

#include "jobs/job_host.h"
#include "messages/recording_window.h"

namespace lumo::test {

// A job host without widgets: records the window steps the jobs ask for.
class FakeHost : public JobHost {
 public:
  void log_line(const QString& line) override {
    rec.log_line(line);
    step(QStringLiteral("log ") + line);
  }
  int message(const QString& caption, const QString& text, uint16_t flags) override {
    step(QStringLiteral("message ") + text.section(QStringLiteral("\r\n"), 0, 0));
    return rec.message(caption, text, flags);
  }
  void set_text(const char* control, const QString& text) override {
    rec.set_text(control, text);
    step(QString::fromLatin1(control) + QStringLiteral("=") + text);
  }
  void set_progress_max(int m) override {
    rec.set_progress_max(m);
    step(QStringLiteral("max=%1").arg(m));
  }
  void set_progress(int p) override { rec.set_progress(p); }
  int progress_maximum() override { return rec.progress_maximum(); }
  void system_error_box(const QString& t) override { rec.system_error_box(t); }
  void run_on_ui(const std::function<void()>& f) override { f(); }
  void show_page() override { step(QStringLiteral("show_page")); }
  void restart_wizard() override { step(QStringLiteral("restart_wizard")); }
  void enable_button(int b, bool on) override { step(QStringLiteral("button%1=%2").arg(b).arg(on)); }
  void set_button_caption(int b, const QString& c) override {
    step(QStringLiteral("caption%1=").arg(b) + c);
  }
  void animate(bool on) override { step(QStringLiteral("animate=%1").arg(on)); }
  UploadProgress* upload_progress() override { return progress; }
  void end_program() override { step(QStringLiteral("end_program")); }

  QStringList steps() const {
    std::lock_guard<std::mutex> g(mu_);
    return steps_;
  }

  RecordingWindow rec;
  UploadProgress* progress = nullptr;

 private:
  void step(const QString& s) {
    std::lock_guard<std::mutex> g(mu_);
    steps_ << s;
  }
  mutable std::mutex mu_;
  QStringList steps_;
};

}  // namespace lumo::test
