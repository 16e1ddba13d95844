#pragma once
#include <QMap>
#include <QString>

#include <atomic>
#include <mutex>
#include <vector>

#include "cli/console.h"
#include "jobs/job_host.h"
#include "messages/catalogue.h"
#include "session/session.h"

namespace lumo {
class FtpClient;
}

namespace lumo::cli {

// Exit codes of lumo27kq-cli.
enum ExitCode : int {
  kDone = 0,
  kUsage = 1,
  kNoDevice = 2,   // device not found or connection failed
  kFileCheck = 3,  // a local file failed its check
  kTransfer = 4,   // a transfer failed
  kRefused = 5,    // the device was busy or refused
};

// The window the jobs drive, without widgets: log lines go to the console when asked for,
// messages are printed with their caption, named texts and the wizard steps the jobs ask for
// are recorded so the command can read the outcome. Every call may come from the worker.
class CliHost : public JobHost {
 public:
  CliHost(Session& s, Console& console, bool print_log);

  void log_line(const QString& line) override;
  int message(const QString& caption, const QString& text, uint16_t flags) override;
  using Window::message;
  void set_text(const char* control, const QString& text) override;
  void set_progress_max(int maximum) override;
  void set_progress(int position) override;
  int progress_maximum() override;
  void system_error_box(const QString& text) override;

  // The command line's main thread only waits while a job runs, so a step runs inline; the
  // lock keeps a step whole against the other thread's calls.
  void run_on_ui(const std::function<void()>& step) override;
  void show_page() override;
  void restart_wizard() override;
  void enable_button(int, bool) override {}
  void set_button_caption(int, const QString&) override {}
  void animate(bool) override {}

  UploadProgress* upload_progress() override { return upload_view_.load(); }
  // The monitor found the upload stalled: the line ends and the process with a transfer failure.
  [[noreturn]] void end_program() override;

  // What the command reads afterwards.
  bool shown(const Message& m) const;
  bool restarted() const { return restarted_.load(); }
  QString text(const char* control) const;

  void set_upload_view(UploadProgress* v) { upload_view_ = v; }
  // Names the transfer the next progress belongs to (and `then` a second upload within it); the
  // sender's own progress calls drive it.
  void set_phase(const QString& what, const QString& then = QString());
  void end_phase();
  // FTP uploads report through the client's counters, read between its wait slices.
  void follow_ftp(FtpClient& ftp);
  void finish_ftp(FtpClient& ftp, bool ok);

  Console& console() { return console_; }
  // Diagnostic mode of the options file shows the log as --log does.
  void print_log(bool on) { print_log_ = on; }

 private:
  Session& s_;
  Console& console_;
  std::atomic<bool> print_log_;
  std::recursive_mutex ui_mu_;
  mutable std::mutex mu_;
  std::vector<const Message*> shown_;
  QMap<QString, QString> texts_;
  QString phase_;
  QString phase_then_;
  int phase_uploads_ = 0;
  int progress_max_ = 100;
  bool ftp_driven_ = false;
  uint32_t ftp_uploads_seen_ = 0;
  std::atomic<bool> restarted_{false};
  std::atomic<UploadProgress*> upload_view_{nullptr};
};

}  // namespace lumo::cli
