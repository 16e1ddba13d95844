#include "cli/cli_host.h"

#include <cstdlib>

#include "ftp/ftp_client.h"

namespace lumo::cli {

CliHost::CliHost(Session& s, Console& console, bool print_log)
    : s_(s), console_(console), print_log_(print_log) {}

void CliHost::log_line(const QString& line) {
  if (print_log_) console_.line(line);
}

int CliHost::message(const QString& caption, const QString& text, uint16_t flags) {
  s_.msg_caption = caption;
  s_.msg_text = text;
  s_.msg_flags = flags;
  const Message* found = nullptr;
  for (const Message* m : message_catalogue()) {
    // The saved-backup box carries the path in front of its text.
    const bool same_text =
        m == &msg::network_backup_saved ? text.endsWith(m->body()) : text == m->body();
    if (same_text && caption == m->caption_text()) found = m;
  }
  {
    std::lock_guard<std::mutex> g(mu_);
    if (found) shown_.push_back(found);
  }
  console_.line(caption + QStringLiteral(": ") + text);
  return flags == kStyleQuestion ? kAnswerYes : kAnswerOk;
}

void CliHost::system_error_box(const QString& text) {
  console_.line(QStringLiteral("GetLastError: ") + text);
}

void CliHost::set_text(const char* control, const QString& text) {
  std::lock_guard<std::mutex> g(mu_);
  texts_[QString::fromLatin1(control)] = text;
}

QString CliHost::text(const char* control) const {
  std::lock_guard<std::mutex> g(mu_);
  return texts_.value(QString::fromLatin1(control));
}

void CliHost::set_phase(const QString& what, const QString& then) {
  end_phase();
  std::lock_guard<std::mutex> g(mu_);
  phase_ = what;
  phase_then_ = then;
  phase_uploads_ = 0;
}

void CliHost::end_phase() { console_.end(); }

void CliHost::set_progress_max(int maximum) {
  QString what;
  {
    std::lock_guard<std::mutex> g(mu_);
    progress_max_ = maximum;
    if (ftp_driven_) return;
    what = phase_;
  }
  // The re-send after a serial firmware moves no progress: the firmware's line ends here.
  if (s_.config_resend == 1) {
    console_.end();
    return;
  }
  console_.end();
  console_.begin(what, maximum);
}

void CliHost::set_progress(int position) {
  {
    std::lock_guard<std::mutex> g(mu_);
    if (ftp_driven_) return;
  }
  console_.progress(position);
}

int CliHost::progress_maximum() {
  std::lock_guard<std::mutex> g(mu_);
  return progress_max_;
}

void CliHost::run_on_ui(const std::function<void()>& step) {
  std::lock_guard<std::recursive_mutex> g(ui_mu_);
  step();
}

void CliHost::show_page() {}

void CliHost::restart_wizard() { restarted_ = true; }

bool CliHost::shown(const Message& m) const {
  std::lock_guard<std::mutex> g(mu_);
  for (const Message* p : shown_)
    if (p == &m) return true;
  return false;
}

void CliHost::end_program() {
  console_.end();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(kTransfer);
}

void CliHost::follow_ftp(FtpClient& ftp) {
  {
    std::lock_guard<std::mutex> g(mu_);
    ftp_driven_ = true;
    ftp_uploads_seen_ = ftp.uploads_started();
  }
  ftp.pump = [this, &ftp] {
    QString what;
    bool fresh = false;
    {
      std::lock_guard<std::mutex> g(mu_);
      if (ftp.upload_running() && ftp.uploads_started() != ftp_uploads_seen_) {
        ftp_uploads_seen_ = ftp.uploads_started();
        fresh = true;
        if (++phase_uploads_ > 1 && !phase_then_.isEmpty()) phase_ = phase_then_;
      }
      what = phase_;
    }
    if (fresh) {
      console_.end();
      console_.begin(what, ftp.bytes_total());
    }
    if (ftp.upload_running()) console_.progress(ftp.bytes_sent());
  };
}

void CliHost::finish_ftp(FtpClient& ftp, bool ok) {
  // The last chunk may have gone after the last wait slice.
  if (ok && console_.active()) console_.progress(ftp.bytes_sent());
  console_.end();
}

}  // namespace lumo::cli
