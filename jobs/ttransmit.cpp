#include "jobs/ttransmit.h"

#include "blockxfer/serial_backup.h"
#include "blockxfer/serial_upload.h"
#include "jobs/progress_monitor.h"
#include "messages/catalogue.h"
#include "messages/ui_texts.h"
#include "serial/detect.h"
#include "serial/port.h"

namespace lumo {

Ttransmit::Ttransmit(Session& s, JobHost& host) : s_(s), h_(host), job_(s.job_mode) {}

void Ttransmit::Execute() {
  switch (job_) {
    case 1:
      if (UploadProgress* ftp = h_.upload_progress())
        monitor_upload(s_, h_, *ftp, [this] { return isInterruptionRequested(); },
                       [this] { h_.end_program(); });
      break;
    case 2: firmware_upload(); break;
    case 3: config_upload(); break;
    case 4: h_.run_on_ui([this] { SyncReceiveConfig(); }); break;
    case 5: detection(); break;
    default: break;
  }
}

void Ttransmit::SyncShowPage() { h_.show_page(); }

void Ttransmit::finished_page(bool firmware) {
  if (firmware) h_.set_text("Label36", QString::fromUtf8(texts::done_serial_fw));
  h_.set_text("Label16", QString());
  h_.set_button_caption(1, QString::fromUtf8(captions::back_finished));
  h_.set_button_caption(2, QString::fromUtf8(captions::first_page));
  h_.enable_button(1, false);
  h_.enable_button(2, true);
  h_.enable_button(3, true);
  s_.tbsheet = 9;
  SyncShowPage();
}

void Ttransmit::firmware_upload() {
  h_.animate(true);
  h_.set_progress(0);
  s_.xfer_page = 7;
  s_.send_result = serial_upload(s_, h_);
  if (s_.send_result != 1) {
    s_.hFile.close();
    h_.animate(false);
    h_.set_text("Label16", QStringLiteral("エラー"));
    h_.message(s_.send_result == 2 ? msg::device_busy : msg::transfer_error_10);
    close_port(s_);
    h_.restart_wizard();
    return;
  }
  if (s_.backup_done == 1) {
    // Send the configuration backed up before the firmware back to the device.
    s_.xfer_page = 14;
    s_.firmware_path = s_.config_path;
    h_.log_line(s_.firmware_path);
    s_.config_resend = 1;
    // A device that refuses the re-send still has its new firmware: that counts as done.
    if (serial_upload(s_, h_) == 0) {
      s_.hFile.close();
      h_.set_text("Label16", QStringLiteral("エラー"));
      h_.message(msg::transfer_error_11);
      close_port(s_);
      h_.restart_wizard();
      s_.config_resend = 0;
      h_.animate(false);
      return;
    }
  }
  s_.config_resend = 0;
  h_.set_text("Label73", QString());
  h_.set_text("Label16", QStringLiteral("転送終了"));
  close_port(s_);
  h_.animate(false);
  finished_page(true);
}

void Ttransmit::config_upload() {
  h_.set_progress(0);
  s_.xfer_page = 14;
  s_.send_result = serial_upload(s_, h_);
  if (s_.send_result == 1) {
    close_port(s_);
    finished_page(false);
    return;
  }
  s_.hFile.close();
  h_.set_text("Label16", QStringLiteral("エラー"));
  h_.message(msg::transfer_error_12);
  close_port(s_);
  h_.restart_wizard();
}

void Ttransmit::SyncReceiveConfig() {
  const uint8_t r = serial_backup(s_, h_);
  if (r == 0) {
    h_.animate(false);
    h_.set_text("Label16", QStringLiteral("エラー"));
    h_.message(msg::transfer_error_16);
    close_port(s_);
    h_.restart_wizard();
    return;
  }
  if (r == 2) {
    h_.animate(false);
    h_.set_text("Label16", QStringLiteral("エラー"));
    h_.message(msg::download_refused);
  }
  if (s_.config_menu == 0) {
    // The backup belongs to a firmware upgrade: on to the firmware page.
    if (r == 1) s_.backup_done = 1;
    s_.tbsheet = 7;
    h_.set_text("Label19", s_.firmware_path);
    h_.set_text("Label16", QString());
    h_.enable_button(2, true);
    h_.enable_button(3, true);
    h_.set_button_caption(2, QString::fromUtf8(captions::run));
    h_.show_page();
  } else {
    s_.tbsheet = 15;
    s_.config_menu = 0;
    h_.set_text("Label16", QString());
    h_.enable_button(2, true);
    h_.enable_button(3, true);
    h_.set_button_caption(2, QString::fromUtf8(captions::next));
    h_.show_page();
  }
}

void Ttransmit::detection() {
  const int found = detect_device(s_, h_);
  // Clearing the flag is what ends the watchdog; it never needs the watchdog object itself.
  s_.scan_running = 0;
  if (found == 1) {
    s_.tbsheet = 12;
    h_.enable_button(1, true);
    h_.enable_button(2, true);
    h_.enable_button(3, true);
    SyncShowPage();
    h_.set_text("Label16", QString());
    return;
  }
  h_.message(msg::port_not_found);
  h_.set_text("Label16", QString());
  close_port(s_);
  h_.enable_button(1, true);
  h_.enable_button(2, true);
  h_.enable_button(3, true);
}

void Tcomport::Execute() {
  int count = 0;
  for (;;) {
    s_.clock->pause(1000);
    if (s_.scan_running == 0 || isInterruptionRequested()) return;
    if (++count <= 50) continue;
    break;
  }
  if (s_.scan_running != 1) return;
  h_.log_line(QStringLiteral("x秒タイムアウトエラー"));
  h_.message(msg::port_not_found);
  h_.set_text("Label16", QString());
  h_.enable_button(1, true);
  h_.enable_button(2, true);
  h_.enable_button(3, true);
}

}  // namespace lumo
