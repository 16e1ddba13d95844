#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ftp/ftp_client.h"
#include "jobs/progress_monitor.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

namespace {
const QString kBackupFailed = QStringLiteral("バックアップ失敗");
}

// The monitor's view of the client: this upload's total only once this upload has started.
class TForm1::FtpProgressView : public UploadProgress {
 public:
  explicit FtpProgressView(FtpClient& c) : c_(c), before_(c.uploads_started()) {}
  bool connected() const override { return c_.connected(); }
  int64_t bytes_total() const override {
    return c_.uploads_started() == before_ ? -1 : c_.bytes_total();
  }
  int64_t bytes_sent() const override {
    return c_.uploads_started() == before_ ? 0 : c_.bytes_sent();
  }
  void close_at_once() override { c_.close_at_once(); }
  void abort_transfer() override { c_.abort_transfer(); }
  void disconnect() override { c_.disconnect(); }

 private:
  FtpClient& c_;
  const uint32_t before_;
};

void TForm1::wire_ftp_events() {
  FtpEvents& e = NMFTP->events;
  e.OnConnect = [this] { run_on_ui([this] { set_status(QStringLiteral("Connect")); }); };
  e.OnDisconnect = [this] { log_line(QStringLiteral("NMFTPDisconnect")); };
  e.OnStatus = [this](const QString& text) { log_line(text); };
  e.OnConnectionFailed = [] {};
  e.OnPacketRecvd = [this] { log_line(QStringLiteral("packet rec")); };
  e.OnError = [this](int number, const QString& text) {
    const QString shown = QStringLiteral("Error") + QString::number(number) + QLatin1Char(':') + text;
    log_line(shown);
    message(QStringLiteral("lumo27kq"), shown, kStylePlain);
  };
  e.OnSuccess = [this](int kind) {
    switch (kind) {
      case kFtpChangeDir: log_line(QStringLiteral("ChengeDir成功")); break;
      case kFtpList: log_line(QStringLiteral("List成功")); break;
      case kFtpDownload: log_line(QStringLiteral("Download成功")); break;
      case kFtpUpload:
        log_line(QStringLiteral("Upload成功"));
        run_on_ui([this] { set_status(QStringLiteral("送信成功")); });
        break;
      case kFtpCommand: log_line(QStringLiteral("DoCommand成功")); break;
      default: log_line(QStringLiteral("unrecognized command成功")); break;
    }
  };
  e.OnFailure = [this](bool& /*handled*/, int kind) {
    switch (kind) {
      case kFtpChangeDir: log_line(QStringLiteral("ChengeDir失敗")); break;
      case kFtpList: log_line(QStringLiteral("List失敗")); break;
      case kFtpDownload: log_line(QStringLiteral("Download失敗")); break;
      case kFtpUpload: log_line(QStringLiteral("Upload失敗")); break;
      case kFtpNameList: log_line(QStringLiteral("NList失敗")); break;
      case kFtpCommand: log_line(QStringLiteral("DoCommand失敗")); break;
      default: log_line(QStringLiteral("unrecognized command失敗")); break;
    }
  };
  // The window keeps repainting while a call waits.
  NMFTP->pump = [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); };
}

bool TForm1::ftp_connected() const { return NMFTP && NMFTP->connected(); }

void TForm1::ftp_disconnect() { NMFTP->disconnect(); }

UploadProgress* TForm1::upload_progress() { return ftp_progress_.get(); }

void TForm1::connection_lost() {
  log_line(QStringLiteral("エラー"));
  set_status(QString());
  message(msg::connection_lost);
  Button2->setEnabled(true);
  restart_wizard();
}

void TForm1::transfer_page() {
  tbsheet = 8;
  show_page();
  Button1->setEnabled(false);
  Button2->setEnabled(false);
  Button3->setEnabled(false);
  ProgressBar1->setValue(0);
}

uint8_t TForm1::ftp_backup_config() {
  set_label("Label73", QString());
  transfer_page();
  ftp_error = 0;
  if (!NMFTP->change_dir(QStringLiteral("/usr"))) {
    ftp_error = 1;
    set_status(kBackupFailed);
    // Only the device's own refusal means it has no "/usr"; a lost connection is a failure.
    const int code = NMFTP->last_error().number;
    return code >= 400 && code <= 599 ? 2 : 0;
  }
  if (!NMFTP->image_type()) {
    ftp_error = 1;
    set_status(kBackupFailed);
    return 0;
  }
  config_path = SaveDialog2.FileName;
  ftp_error = 0;
  if (!NMFTP->download(config_name, config_path)) {
    ftp_error = 1;
    set_status(kBackupFailed);
    return 0;
  }
  set_status(QStringLiteral("バックアップ完了"));
  ProgressBar1->setValue(int(qMin<int64_t>(NMFTP->bytes_total(), ProgressBar1->maximum())));
  ProgressBar1->setValue(ProgressBar1->maximum());
  return 1;
}

uint8_t TForm1::ftp_upload_firmware() {
  set_status(QStringLiteral("転送準備中"));
  transfer_page();
  Animate1->setActive(true);
  // A refused directory or image type ends the upload like a refused upload, so the user is
  // never left on the transfer page with every button off.
  const auto failed = [this] {
    ftp_error = 1;
    Animate1->setActive(false);
    return uint8_t(0);
  };
  if (backup_result != 2 && !NMFTP->change_dir(QStringLiteral("/"))) return failed();
  if (!NMFTP->image_type()) return failed();
  ftp_progress_ = std::make_unique<FtpProgressView>(*NMFTP);
  start_worker(1);
  upload_done = 0;
  ftp_error = 0;
  if (!NMFTP->upload(firmware_path, firmware_name)) {
    ftp_error = 1;
    Animate1->setActive(false);
    stop_worker();
    log_line(QStringLiteral("FWアップロード失敗"));
    return 0;
  }
  log_line(QStringLiteral("FW転送終了!"));
  upload_done = 1;
  if (backup_result != 2 && backup_done == 1) {
    ftp_error = 0;
    if (!NMFTP->change_dir(QStringLiteral("/usr")) ||
        !NMFTP->upload(config_path, config_name)) {
      ftp_error = 1;
      log_line(QStringLiteral("config転送終了"));
      Animate1->setActive(false);
      stop_worker();
      return 0;
    }
  }
  set_status(QStringLiteral("アップロード完了"));
  Animate1->setActive(false);
  return 1;
}

uint8_t TForm1::ftp_upload_config() {
  transfer_page();
  ftp_error = 0;
  if (!NMFTP->change_dir(QStringLiteral("/")) || !NMFTP->change_dir(QStringLiteral("/usr"))) {
    ftp_error = 1;
    set_status(QStringLiteral("change_dir失敗"));
    return 0;
  }
  ftp_error = 0;
  if (!NMFTP->image_type() || !NMFTP->upload(OpenDialog2.FileName, config_name)) {
    ftp_error = 1;
    set_status(QStringLiteral("アップロード失敗"));
    return 0;
  }
  set_status(QStringLiteral("アップロード完了"));
  ProgressBar1->setValue(qBound(0, progress_max + 1000, ProgressBar1->maximum()));
  return 1;
}

// The network (10BASE-T) branches of the Next handler.
void TForm1::next_network(int page) {
  switch (page) {
    case 2:
      tbsheet = 4;
      show_page();
      Button2->setText(QString::fromUtf8(captions::connect));
      HostnameEdit->setFocus();
      break;
    case 4: next_network_login(); break;
    case 15: next_network_menu(); break;
    case 13: next_network_backup(); break;
    case 7: next_network_firmware(); break;
    case 14: next_network_config_upload(); break;
    default: break;
  }
}

void TForm1::next_network_login() {
  Button1->setEnabled(false);
  Button2->setEnabled(false);
  Button3->setEnabled(false);
  set_status(QStringLiteral("接続中"));
  NMFTP->Host = HostnameEdit->text();
  NMFTP->UserID = QStringLiteral("admin");
  NMFTP->Password = PasswordEdit->text();
  NMFTP->TimeOut = 10000;
  log_line(NMFTP->Host);
  log_line(NMFTP->UserID);
  // The log is on screen in diagnostic mode: a mask of the same length, never the password.
  log_line(QString(NMFTP->Password.size(), QLatin1Char('*')));
  if (NMFTP->connected()) NMFTP->disconnect();
  ftp_error = 0;
  if (!NMFTP->connect()) ftp_error = 1;
  if (ftp_error == 1) {
    NMFTP->close_at_once();
    log_line(QStringLiteral("接続エラー"));
    set_status(QString());
    message(msg::login_failed);
    Button1->setEnabled(true);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    return;
  }
  set_status(QString());
  tbsheet = 15;
  show_page();
  Button2->setEnabled(true);
  Button2->setText(QString::fromUtf8(captions::next));
  Button1->setEnabled(false);
  Button3->setEnabled(true);
}

void TForm1::next_network_menu() {
  if (RadioGroup1->itemIndex() != 0) {
    log_line(QStringLiteral("設定ファイル転送"));
    config_menu = 1;
    tbsheet = 5;
    show_page();
    Button1->setEnabled(true);
    Button2->setEnabled(true);
    Button2->setText(QString::fromUtf8(captions::next));
    return;
  }
  if (!NMFTP->connected()) {
    connection_lost();
    return;
  }
  // Without an answer to "syst" the session is of no use: treat it as lost rather than leave
  // the menu with Next off.
  if (!NMFTP->raw_command(QStringLiteral("syst"))) {
    NMFTP->close_at_once();
    connection_lost();
    return;
  }
  syst_reply = NMFTP->last_reply_line();
  log_line(syst_reply);
  const auto at = [this](int pos) {  // positions count from 1
    return pos <= syst_reply.size() ? syst_reply[pos - 1] : QChar();
  };
  if (at(21) == QLatin1Char('V') && at(24) == QLatin1Char('.')) {
    rom_mode = 0;
    label("Label26")->setStyleSheet(QStringLiteral("color: black;"));
    set_label("Label26", QString::fromUtf8(texts::version_frame));
    control("Panel1")->show();
    fw_version = syst_reply.mid(20, 7);
    log_line(fw_version);
    set_label("Label39", fw_version);
  } else if (syst_reply.mid(12, 8) == QStringLiteral("ROM MODE")) {
    rom_mode = 1;
    log_line(QStringLiteral("ROM mode"));
    control("Panel1")->hide();
    label("Label26")->setStyleSheet(QStringLiteral("color: red;"));
    set_label("Label26", QString::fromUtf8(texts::rom_mode_warning));
    set_label("Label39", QString());
  }
  set_label("Label47", QString());
  tbsheet = 3;
  show_page();
  Button2->setText(QString::fromUtf8(captions::next));
  Button2->setEnabled(false);
  Button1->setEnabled(true);
  set_label("Label46", QString());
  control("Panel3")->hide();
}

void TForm1::next_network_backup() {
  if (!NMFTP->connected()) {
    connection_lost();
    return;
  }
  backup_result = ftp_backup_config();
  if (backup_result == 1) {
    set_status(QStringLiteral("転送終了"));
    message(msg::network_backup_saved.caption_text(), config_path + msg::network_backup_saved.body(),
            msg::network_backup_saved.flags);
    set_status(QStringLiteral("転送終了"));
    backup_done = 1;
  } else if (backup_result == 2) {
    log_line(QStringLiteral("/usr なし(FATなし)"));
    message(msg::config_broken_no_usr);
  } else {
    message(msg::transfer_error_1);
    set_status(QString());
    if (rom_mode != 1) {
      restart_wizard();
      return;
    }
  }
  set_status(QString());
  if (config_menu == 1) {
    config_menu = 0;
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    Button2->setText(QString::fromUtf8(captions::next));
    tbsheet = 15;
  } else {
    set_label("Label19", firmware_path);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    Button2->setText(QString::fromUtf8(captions::run));
    tbsheet = 7;
  }
  show_page();
}

void TForm1::next_network_firmware() {
  if (!NMFTP->connected()) {
    connection_lost();
    return;
  }
  job_mode = 1;
  set_status(QStringLiteral("ファイル転送準備中"));
  set_label("Label44", QStringLiteral("ファイル転送の準備中です。"));
  if (ftp_upload_firmware() == 1) {
    set_status(QStringLiteral("転送終了"));
    if (NMFTP->connected()) NMFTP->disconnect();
    set_label("Label36", QString::fromUtf8(texts::done_network_fw));
    set_status(QString());
    Button1->setText(QString::fromUtf8(captions::back));
    Button2->setText(QString::fromUtf8(captions::first_page));
    Button1->setEnabled(false);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    tbsheet = 9;
    show_page();
    return;
  }
  log_line(QStringLiteral("FTP_FW_up"));
  message(msg::transfer_error_2);
  set_status(QString());
  hFile.close();
  restart_wizard();
}

void TForm1::next_network_config_upload() {
  if (!NMFTP->connected()) {
    connection_lost();
    return;
  }
  set_status(QStringLiteral("転送中"));
  if (ftp_upload_config() == 1) {
    if (NMFTP->connected()) NMFTP->disconnect();
    set_status(QString());
    Button1->setText(QString::fromUtf8(captions::back));
    Button2->setText(QString::fromUtf8(captions::first_page));
    Button1->setEnabled(false);
    Button2->setEnabled(true);
    Button3->setEnabled(true);
    tbsheet = 9;
    show_page();
    return;
  }
  set_status(QStringLiteral("エラー"));
  message(msg::transfer_error_3);
  restart_wizard();
}

}  // namespace lumo
