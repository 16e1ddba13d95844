#pragma once
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

#include "ftp/ftp_client.h"
#include "jobs/progress_monitor.h"
#include "messages/window.h"
#include "session/session.h"

namespace lumo {

// The client's events as the diagnostic log records them, the same for every front end.
// `on_upload_success` and `show_error` (the "Error<number>:<text>" line) add what the front
// end shows; either may be empty.
void log_ftp_events(FtpEvents& events, Window& w, std::function<void()> on_upload_success,
                    std::function<void(const QString&)> show_error);

// What the device's reply line to "syst" says (positions count from 1 at the reply code).
struct SystReply {
  enum Kind { Version, RomMode, Unknown };
  Kind kind = Unknown;
  QString version;  // the 7 characters from position 21
};
SystReply parse_syst(const QString& line);

// The upload monitor's view of the client: the total of the upload started after this view was
// made, never one left from an earlier transfer.
class FtpProgressView : public UploadProgress {
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

// Starting and stopping the progress monitor that runs beside the firmware upload.
struct MonitorControl {
  std::function<void()> start;  // job_mode is 1 when it is called
  std::function<void()> stop;
};

// Downloads the device's `config_name` from "/usr" into `target` (stored in config_path).
// 1 saved, 2 the device refused "/usr", 0 failed.
uint8_t ftp_backup_config(Session& s, WizardWindow& w, FtpClient& ftp, const QString& target);

// Uploads `firmware_path` as `firmware_name` into "/" and, after a backup (backup_done 1 and
// backup_result not 2), `config_path` as `config_name` into "/usr"; the monitor runs beside the
// firmware upload. 1 sent, 0 failed.
uint8_t ftp_upload_firmware(Session& s, WizardWindow& w, FtpClient& ftp, const MonitorControl& m);

// Uploads `source` as `config_name` into "/usr". 1 sent, 0 failed.
uint8_t ftp_upload_config(Session& s, WizardWindow& w, FtpClient& ftp, const QString& source);

}  // namespace lumo
