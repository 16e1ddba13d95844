#include <QCoreApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include "ftp/ftp_client.h"
#include "jobs/network_transfers.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

void TForm1::wire_ftp_events() {
  NMFTP->events.OnConnect = [this] { run_on_ui([this] { set_status(QStringLiteral("Connect")); }); };
  log_ftp_events(
      NMFTP->events, *this,
      [this] { run_on_ui([this] { set_status(QStringLiteral("送信成功")); }); },
      [this](const QString& shown) { message(QStringLiteral("lumo27kq"), shown, kStylePlain); });
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

uint8_t TForm1::ftp_backup_config() {
  return lumo::ftp_backup_config(*this, *this, *NMFTP, SaveDialog2.FileName);
}

uint8_t TForm1::ftp_upload_firmware() {
  MonitorControl monitor;
  monitor.start = [this] {
    ftp_progress_ = std::make_unique<FtpProgressView>(*NMFTP);
    start_worker(1);
  };
  monitor.stop = [this] { stop_worker(); };
  return lumo::ftp_upload_firmware(*this, *this, *NMFTP, monitor);
}

uint8_t TForm1::ftp_upload_config() {
  return lumo::ftp_upload_config(*this, *this, *NMFTP, OpenDialog2.FileName);
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
  const SystReply syst = parse_syst(syst_reply);
  if (syst.kind == SystReply::Version) {
    rom_mode = 0;
    label("Label26")->setStyleSheet(QStringLiteral("color: black;"));
    set_label("Label26", QString::fromUtf8(texts::version_frame));
    control("Panel1")->show();
    fw_version = syst.version;
    log_line(fw_version);
    set_label("Label39", fw_version);
  } else if (syst.kind == SystReply::RomMode) {
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
    finished_page();
    return;
  }
  log_line(QStringLiteral("FTP_FW_up"));
  message(msg::transfer_error_2);
  set_status(QString());
  hFile.close();
  restart_wizard();
}

// Page 9 after a finished upload.
void TForm1::finished_page() {
  set_status(QString());
  Button1->setText(QString::fromUtf8(captions::back));
  Button2->setText(QString::fromUtf8(captions::first_page));
  Button1->setEnabled(false);
  Button2->setEnabled(true);
  Button3->setEnabled(true);
  tbsheet = 9;
  show_page();
}

void TForm1::next_network_config_upload() {
  if (!NMFTP->connected()) {
    connection_lost();
    return;
  }
  set_status(QStringLiteral("転送中"));
  if (ftp_upload_config() == 1) {
    if (NMFTP->connected()) NMFTP->disconnect();
    finished_page();
    return;
  }
  set_status(QStringLiteral("エラー"));
  message(msg::transfer_error_3);
  restart_wizard();
}

}  // namespace lumo
