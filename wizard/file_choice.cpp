#include <QPushButton>

#include "filecheck/filecheck.h"
#include "wizard/page_design.h"
#include "wizard/tform1.h"

namespace lumo {

void TForm1::Button23Click() {
  // A new choice first withdraws the approval of the previous one.
  control("Panel3")->hide();
  set_label("Label47", QString());
  set_label("Label46", QString());
  Button2->setEnabled(false);
  if (!chooser_->open_file(OpenDialog1)) return;

  firmware_path = OpenDialog1.FileName;
  log_line(QStringLiteral("pathfile=") + firmware_path);
  const FirmwareCheck check = check_firmware_file(firmware_path);
  switch (check.outcome) {
    case FirmwareCheck::CannotOpen:
      break;
    case FirmwareCheck::NotFirmware:
      log_line(QStringLiteral("整合性チェックエラー(V)"));
      message(msg::not_firmware);
      set_label("Label46", QString());
      break;
    case FirmwareCheck::Incomplete:
      log_line(QStringLiteral("total=") + QString::number(check.total));
      log_line(QStringLiteral("整合性チェックエラー(MD5)"));
      message(msg::firmware_incomplete);
      break;
    case FirmwareCheck::Good:
      log_line(QStringLiteral("total=") + QString::number(check.total));
      control("Panel3")->show();
      set_label("Label47", QString::fromUtf8(texts::file_version_frame));
      set_label("Label46", check.version);
      Button2->setEnabled(true);
      break;
  }
}

void TForm1::Button4Click() {
  if (!chooser_->save_file(SaveDialog2)) return;
  config_path = SaveDialog2.FileName;
  if (!backup_target_writable(config_path)) {
    log_line(QStringLiteral("バックアップファイル作成できず"));
    message(msg::backup_folder_refused);
    return;
  }
  const QString shown = config_path + QStringLiteral("\r\nこのファイルに設定ファイルのバックアップを行います。");
  if (tbsheet == 6) set_label("Label11", shown);
  if (tbsheet == 13) set_label("Label53", shown);
  set_status(QStringLiteral("[実行]を押して下さい"));
  backup_chosen = 1;
  Button2->setText(QString::fromUtf8(captions::run_backup));
  Button2->setEnabled(true);
}

void TForm1::Button24Click() {
  firmware_path.clear();
  // Without an approved source there is nothing to send, so Next goes off until one is chosen.
  const auto withdraw = [this] {
    set_label("Label54", QString());
    Button2->setEnabled(false);
  };
  if (!chooser_->open_file(OpenDialog2)) {
    withdraw();
    return;
  }
  config_path = OpenDialog2.FileName;
  log_line(QStringLiteral("OpenDialog2=") + config_path);
  switch (check_config_file(config_path)) {
    case ConfigCheck::CannotOpen:
      withdraw();
      break;
    case ConfigCheck::NoMarker:
      log_line(QStringLiteral("整合性チェックエラー"));
      message(msg::not_config);
      withdraw();
      break;
    case ConfigCheck::Good:
      set_label("Label54", config_path + QStringLiteral("\r\nこのファイルをZORVELに転送します。"));
      firmware_path = config_path;
      set_status(QStringLiteral("実行ボタンを押して下さい。"));
      Button2->setEnabled(true);
      break;
  }
}

}  // namespace lumo
