#include "jobs/network_transfers.h"

namespace lumo {

namespace {

void status(Window& w, const QString& text) { w.set_text("Label16", text); }

// The transfer page with every button off while a transfer runs.
void transfer_page(Session& s, WizardWindow& w) {
  s.tbsheet = 8;
  w.show_page();
  w.enable_button(1, false);
  w.enable_button(2, false);
  w.enable_button(3, false);
  w.set_progress(0);
}

}  // namespace

void log_ftp_events(FtpEvents& e, Window& w, std::function<void()> on_upload_success,
                    std::function<void(const QString&)> show_error) {
  e.OnDisconnect = [&w] { w.log_line(QStringLiteral("NMFTPDisconnect")); };
  e.OnStatus = [&w](const QString& text) { w.log_line(text); };
  e.OnConnectionFailed = [] {};
  e.OnPacketRecvd = [&w] { w.log_line(QStringLiteral("packet rec")); };
  e.OnError = [&w, show_error](int number, const QString& text) {
    const QString shown = QStringLiteral("Error") + QString::number(number) + QLatin1Char(':') + text;
    w.log_line(shown);
    if (show_error) show_error(shown);
  };
  const auto kind_name = [](int kind) -> const char* {
    switch (kind) {
      case kFtpChangeDir: return "ChengeDir";
      case kFtpList: return "List";
      case kFtpDownload: return "Download";
      case kFtpUpload: return "Upload";
      case kFtpNameList: return "NList";
      case kFtpCommand: return "DoCommand";
      default: return "unrecognized command";
    }
  };
  e.OnSuccess = [&w, kind_name, on_upload_success](int kind) {
    // The success handler never knew the name list.
    const char* name = kind == kFtpNameList ? "unrecognized command" : kind_name(kind);
    w.log_line(QString::fromLatin1(name) + QStringLiteral("成功"));
    if (kind == kFtpUpload && on_upload_success) on_upload_success();
  };
  e.OnFailure = [&w, kind_name](bool& /*handled*/, int kind) {
    w.log_line(QString::fromLatin1(kind_name(kind)) + QStringLiteral("失敗"));
  };
}

SystReply parse_syst(const QString& line) {
  SystReply r;
  const auto at = [&](int pos) { return pos <= line.size() ? line[pos - 1] : QChar(); };
  if (at(21) == QLatin1Char('V') && at(24) == QLatin1Char('.')) {
    r.kind = SystReply::Version;
    r.version = line.mid(20, 7);
  } else if (line.mid(12, 8) == QStringLiteral("ROM MODE")) {
    r.kind = SystReply::RomMode;
  }
  return r;
}

uint8_t ftp_backup_config(Session& s, WizardWindow& w, FtpClient& ftp, const QString& target) {
  const QString failed = QStringLiteral("バックアップ失敗");
  w.set_text("Label73", QString());
  transfer_page(s, w);
  s.ftp_error = 0;
  if (!ftp.change_dir(QStringLiteral("/usr"))) {
    s.ftp_error = 1;
    status(w, failed);
    // Only the device's own refusal means it has no "/usr"; a lost connection is a failure.
    const int code = ftp.last_error().number;
    return code >= 400 && code <= 599 ? 2 : 0;
  }
  if (!ftp.image_type()) {
    s.ftp_error = 1;
    status(w, failed);
    return 0;
  }
  s.config_path = target;
  s.ftp_error = 0;
  if (!ftp.download(s.config_name, s.config_path)) {
    s.ftp_error = 1;
    status(w, failed);
    return 0;
  }
  status(w, QStringLiteral("バックアップ完了"));
  w.set_progress(int(ftp.bytes_total()));
  w.set_progress(w.progress_maximum());
  return 1;
}

uint8_t ftp_upload_firmware(Session& s, WizardWindow& w, FtpClient& ftp, const MonitorControl& m) {
  status(w, QStringLiteral("転送準備中"));
  transfer_page(s, w);
  w.animate(true);
  // A refused directory or image type ends the upload like a refused upload, so the user is
  // never left on the transfer page with every button off.
  if ((s.backup_result != 2 && !ftp.change_dir(QStringLiteral("/"))) || !ftp.image_type()) {
    s.ftp_error = 1;
    w.animate(false);
    return 0;
  }
  s.job_mode = 1;
  if (m.start) m.start();
  s.upload_done = 0;
  s.ftp_error = 0;
  if (!ftp.upload(s.firmware_path, s.firmware_name)) {
    s.ftp_error = 1;
    w.animate(false);
    if (m.stop) m.stop();
    w.log_line(QStringLiteral("FWアップロード失敗"));
    return 0;
  }
  w.log_line(QStringLiteral("FW転送終了!"));
  s.upload_done = 1;
  if (s.backup_result != 2 && s.backup_done == 1) {
    s.ftp_error = 0;
    if (!ftp.change_dir(QStringLiteral("/usr")) || !ftp.upload(s.config_path, s.config_name)) {
      s.ftp_error = 1;
      w.log_line(QStringLiteral("config転送終了"));
      w.animate(false);
      if (m.stop) m.stop();
      return 0;
    }
  }
  status(w, QStringLiteral("アップロード完了"));
  w.animate(false);
  return 1;
}

uint8_t ftp_upload_config(Session& s, WizardWindow& w, FtpClient& ftp, const QString& source) {
  transfer_page(s, w);
  s.ftp_error = 0;
  if (!ftp.change_dir(QStringLiteral("/")) || !ftp.change_dir(QStringLiteral("/usr"))) {
    s.ftp_error = 1;
    status(w, QStringLiteral("change_dir失敗"));
    return 0;
  }
  s.ftp_error = 0;
  if (!ftp.image_type() || !ftp.upload(source, s.config_name)) {
    s.ftp_error = 1;
    status(w, QStringLiteral("アップロード失敗"));
    return 0;
  }
  status(w, QStringLiteral("アップロード完了"));
  w.set_progress(s.progress_max + 1000);
  return 1;
}

}  // namespace lumo
