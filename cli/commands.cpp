#include "cli/commands.h"

#include <QFile>

#include <memory>

#include "app/options.h"
#include "cli/cli_host.h"
#include "cli/password.h"
#include "filecheck/filecheck.h"
#include "ftp/ftp_client.h"
#include "jobs/network_transfers.h"
#include "jobs/ttransmit.h"
#include "messages/ui_texts.h"
#include "serial/detect.h"
#include "serial/port.h"

namespace lumo::cli {

namespace {

const QString kDeviceName = QStringLiteral("ZORVEL 2700KQ");

class Run {
 public:
  Run(const Arguments& a, Console& console, std::FILE* results)
      : a_(a), results_(results), h_(s_, console, a.log) {}

  int exec();

 private:
  void say(QString line) {
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QByteArray b = line.toUtf8() + '\n';
    std::fwrite(b.constData(), 1, size_t(b.size()), results_);
    std::fflush(results_);
  }
  // Prints a line that is no catalogue message: a usage or local-file problem.
  void complain(const QString& line) { h_.console().line(QStringLiteral("lumo27kq-cli: ") + line); }

  bool start_session();
  void run_job(int job);

  int check_firmware(const QString& path, const QString& label = QString());
  int check_backup_target(const QString& path);
  int check_config(const QString& path);

  int serial_detect();
  int serial_version();
  int serial();

  int ftp_connect();
  int ftp_syst(bool need_known);
  int ftp_lost();
  int ftp();

  const Arguments& a_;
  std::FILE* results_;
  Session s_;
  CliHost h_;
  std::unique_ptr<FtpClient> ftp_;
};

bool Run::start_session() {
  const StartOptions o = read_options_file(QString::fromLatin1(kOptionsFileName));
  s_.opt_bytes = o.opt_bytes;
  if (s_.diagnostic_mode()) h_.print_log(true);
  for (const QString& line : o.log_lines) h_.log_line(line);
  if (!o.ok) {
    complain(QString::fromLatin1(kOptionsFileName) + QStringLiteral(": ") + o.error);
    return false;
  }
  s_.BaudRate = o.BaudRate;
  s_.wait_count = o.wait_count;
  s_.config_name = QStringLiteral("cfg27kq.bin");
  s_.firmware_name = QStringLiteral("znx27kq.bin");
  s_.tbsheet = 1;
  if (a_.speedup > 0) s_.clock = std::make_shared<ScaledClock>(a_.speedup);
  if (!a_.port.isEmpty()) {
    // One port of the table: every other name yields no device, as an absent port would.
    const QString only = a_.port;
    std::shared_ptr<Clock> clock = s_.clock;
    s_.port_opener = [only, clock](const QString& name) -> OpenedPort {
      if (name != only) return OpenedPort();
      const QStringList table = port_table();
      return open_tty(table[name[3].digitValue() - 1], clock);
    };
  }
  return true;
}

void Run::run_job(int job) {
  s_.job_mode = uint8_t(job);
  Ttransmit worker(s_, h_);
  s_.transmit_thread = &worker;
  worker.start();
  worker.wait();
  s_.transmit_thread = nullptr;
}

int Run::check_firmware(const QString& path, const QString& label) {
  s_.firmware_path = path;
  h_.log_line(QStringLiteral("pathfile=") + path);
  const FirmwareCheck check = check_firmware_file(path);
  if (check.digest_pass) h_.log_line(QStringLiteral("total=") + QString::number(check.total));
  switch (check.outcome) {
    case FirmwareCheck::CannotOpen:
      complain(path + QStringLiteral(": cannot be read"));
      return kFileCheck;
    case FirmwareCheck::NotFirmware:
      h_.log_line(QStringLiteral("整合性チェックエラー(V)"));
      h_.message(msg::not_firmware);
      return kFileCheck;
    case FirmwareCheck::Incomplete:
      h_.log_line(QStringLiteral("整合性チェックエラー(MD5)"));
      h_.message(msg::firmware_incomplete);
      return kFileCheck;
    case FirmwareCheck::Good:
      break;
  }
  say(label + check.version);
  return kDone;
}

int Run::check_backup_target(const QString& path) {
  if (backup_target_writable(path)) return kDone;
  h_.log_line(QStringLiteral("バックアップファイル作成できず"));
  h_.message(msg::backup_folder_refused);
  return kFileCheck;
}

int Run::check_config(const QString& path) {
  s_.config_path = path;
  h_.log_line(QStringLiteral("OpenDialog2=") + path);
  switch (check_config_file(path)) {
    case ConfigCheck::CannotOpen:
      complain(path + QStringLiteral(": cannot be read"));
      return kFileCheck;
    case ConfigCheck::NoMarker:
      h_.log_line(QStringLiteral("整合性チェックエラー"));
      h_.message(msg::not_config);
      return kFileCheck;
    case ConfigCheck::Good:
      break;
  }
  return kDone;
}

// ---- serial ----

int Run::serial_detect() {
  s_.link_mode = 2;
  s_.scan_running = 1;
  run_job(5);
  return s_.tbsheet == 12 ? kDone : kNoDevice;
}

int Run::serial_version() {
  if (s_.rom_mode == 1) {
    h_.log_line(QStringLiteral("ROM mode"));
    return kDone;
  }
  if (query_version(s_, h_) == 0) {
    h_.message(msg::port_not_found);
    return kNoDevice;
  }
  return kDone;
}

int Run::serial() {
  int r = kDone;
  switch (a_.command) {
    case Arguments::Detect:
      if ((r = serial_detect()) != kDone) return r;
      say(QStringLiteral("port: ") + h_.text("Label20"));
      say(QStringLiteral("device: ") + h_.text("Label27"));
      say(QStringLiteral("mode: ") +
          (s_.rom_mode == 1 ? QStringLiteral("ROM mode") : QStringLiteral("firmware")));
      break;
    case Arguments::Version:
      if ((r = serial_detect()) != kDone || (r = serial_version()) != kDone) break;
      say(s_.rom_mode == 1 ? QStringLiteral("ROM mode") : h_.text("Label39"));
      break;
    case Arguments::Backup:
      if ((r = check_backup_target(a_.file)) != kDone || (r = serial_detect()) != kDone) break;
      s_.config_menu = 1;
      s_.config_path = a_.file;
      h_.set_phase(QStringLiteral("backup"));
      run_job(4);
      h_.end_phase();
      if (h_.restarted())
        r = kTransfer;
      else if (h_.shown(msg::download_refused))
        r = kRefused;
      else
        say(a_.file);
      break;
    case Arguments::Restore:
      if ((r = check_config(a_.file)) != kDone || (r = serial_detect()) != kDone) break;
      s_.firmware_path = a_.file;
      h_.set_phase(QStringLiteral("configuration"));
      run_job(3);
      h_.end_phase();
      if (s_.send_result == 1 && s_.tbsheet == 9)
        say(QString::fromUtf8(texts::done_page1));
      else
        r = s_.send_result == 2 ? kRefused : kTransfer;
      break;
    case Arguments::Upgrade: {
      // Nothing reaches the device before both local files passed their checks.
      if ((r = check_firmware(a_.file, QStringLiteral("file: "))) != kDone) break;
      const bool backup = !a_.backup_file.isEmpty();
      if (backup && (r = check_backup_target(a_.backup_file)) != kDone) break;
      if ((r = serial_detect()) != kDone || (r = serial_version()) != kDone) break;
      if (s_.rom_mode == 0)
        say(QStringLiteral("device: ") + h_.text("Label39"));
      else
        say(QStringLiteral("device: ROM mode"));
      s_.backup_done = 0;
      if (backup) {
        s_.config_menu = 0;
        s_.config_path = a_.backup_file;
        h_.set_phase(QStringLiteral("backup"));
        run_job(4);
        h_.end_phase();
        if (h_.restarted()) {
          r = kTransfer;
          break;
        }
        // A refused backup leads on to the firmware, without a re-send, as in the wizard.
      }
      s_.firmware_path = a_.file;
      s_.xfer_page = 7;
      h_.set_phase(QStringLiteral("firmware"));
      run_job(2);
      h_.end_phase();
      if (!h_.restarted() && s_.tbsheet == 9)
        say(h_.text("Label36"));
      else
        r = s_.send_result == 2 ? kRefused : kTransfer;
      break;
    }
    default:
      break;
  }
  close_port(s_);
  return r;
}

// ---- network ----

int Run::ftp_connect() {
  QString password;
  if (!a_.password_file.isEmpty()) {
    QString error;
    if (!read_password_file(a_.password_file, password, &error)) {
      complain(error);
      return kUsage;
    }
  } else if (!read_password_terminal(password)) {
    complain(QStringLiteral("no terminal to ask for the password on; use --password-file"));
    return kUsage;
  }
  s_.link_mode = 1;
  ftp_ = std::make_unique<FtpClient>(*s_.clock);
  FtpClient& c = *ftp_;
  // The same log lines as the wizard's event handlers.
  FtpEvents& e = c.events;
  e.OnConnect = [this] { h_.set_text("Label16", QStringLiteral("Connect")); };
  log_ftp_events(e, h_, {}, [this](const QString& shown) { h_.console().line(shown); });
  h_.follow_ftp(c);

  c.Host = a_.host;
  c.UserID = QStringLiteral("admin");
  c.Password = password;
  c.TimeOut = 10000;
  h_.log_line(c.Host);
  h_.log_line(c.UserID);
  h_.log_line(QString(password.size(), QLatin1Char('*')));
  s_.ftp_error = 0;
  if (!c.connect()) {
    s_.ftp_error = 1;
    c.close_at_once();
    h_.log_line(QStringLiteral("接続エラー"));
    h_.message(msg::login_failed);
    return kNoDevice;
  }
  return kDone;
}

int Run::ftp_lost() {
  h_.log_line(QStringLiteral("エラー"));
  h_.message(msg::connection_lost);
  return kNoDevice;
}

// The version query: rom_mode and fw_version from the reply to "syst". With `need_known`, a
// reply in neither layout means this is not the device.
int Run::ftp_syst(bool need_known) {
  if (!ftp_->connected()) return ftp_lost();
  if (!ftp_->raw_command(QStringLiteral("syst"))) {
    ftp_->close_at_once();
    return ftp_lost();
  }
  s_.syst_reply = ftp_->last_reply_line();
  h_.log_line(s_.syst_reply);
  const SystReply syst = parse_syst(s_.syst_reply);
  if (syst.kind == SystReply::Version) {
    s_.rom_mode = 0;
    s_.fw_version = syst.version;
    h_.log_line(s_.fw_version);
  } else if (syst.kind == SystReply::RomMode) {
    s_.rom_mode = 1;
    h_.log_line(QStringLiteral("ROM mode"));
  } else if (need_known) {
    complain(QStringLiteral("not a ZORVEL 2700KQ: ") + s_.syst_reply);
    return kNoDevice;
  }
  return kDone;
}

int Run::ftp() {
  // Local checks come before the password is asked for or the device is reached.
  int r = kDone;
  switch (a_.command) {
    case Arguments::Backup:
      r = check_backup_target(a_.file);
      break;
    case Arguments::Restore:
      r = check_config(a_.file);
      break;
    case Arguments::Upgrade:
      if ((r = check_firmware(a_.file, QStringLiteral("file: "))) == kDone &&
          !a_.backup_file.isEmpty())
        r = check_backup_target(a_.backup_file);
      break;
    default:
      break;
  }
  if (r != kDone || (r = ftp_connect()) != kDone) return r;
  FtpClient& c = *ftp_;

  switch (a_.command) {
    case Arguments::Detect:
      if ((r = ftp_syst(true)) != kDone) break;
      say(QStringLiteral("host: ") + a_.host);
      say(QStringLiteral("device: ") + kDeviceName);
      say(QStringLiteral("mode: ") +
          (s_.rom_mode == 1 ? QStringLiteral("ROM mode") : QStringLiteral("firmware")));
      break;
    case Arguments::Version:
      if ((r = ftp_syst(true)) != kDone) break;
      say(s_.rom_mode == 1 ? QStringLiteral("ROM mode") : s_.fw_version);
      break;
    case Arguments::Backup: {
      if (!c.connected()) {
        r = ftp_lost();
        break;
      }
      s_.config_menu = 1;
      s_.backup_result = ftp_backup_config(s_, h_, c, a_.file);
      if (s_.backup_result == 1) {
        h_.message(msg::network_backup_saved.caption_text(),
                   s_.config_path + msg::network_backup_saved.body(),
                   msg::network_backup_saved.flags);
        s_.backup_done = 1;
        say(a_.file);
      } else if (s_.backup_result == 2) {
        h_.log_line(QStringLiteral("/usr なし(FATなし)"));
        h_.message(msg::config_broken_no_usr);
        r = kRefused;
      } else {
        h_.message(msg::transfer_error_1);
        r = kTransfer;
      }
      break;
    }
    case Arguments::Restore: {
      if (!c.connected()) {
        r = ftp_lost();
        break;
      }
      h_.set_phase(QStringLiteral("configuration"));
      const bool ok = ftp_upload_config(s_, h_, c, a_.file) == 1;
      h_.finish_ftp(c, ok);
      if (ok) {
        say(QString::fromUtf8(texts::done_page1));
      } else {
        h_.message(msg::transfer_error_3);
        r = kTransfer;
      }
      break;
    }
    case Arguments::Upgrade: {
      if ((r = ftp_syst(false)) != kDone) break;
      // A reply in neither layout still leads on, as in the wizard; it is shown as it came.
      say(QStringLiteral("device: ") + (s_.rom_mode == 1          ? QStringLiteral("ROM mode")
                                        : s_.fw_version.isEmpty() ? s_.syst_reply
                                                                  : s_.fw_version));
      s_.config_menu = 0;
      s_.backup_done = 0;
      s_.backup_result = 0;
      if (!a_.backup_file.isEmpty()) {
        if (!c.connected()) {
          r = ftp_lost();
          break;
        }
        s_.backup_result = ftp_backup_config(s_, h_, c, a_.backup_file);
        if (s_.backup_result == 1) {
          h_.message(msg::network_backup_saved.caption_text(),
                     s_.config_path + msg::network_backup_saved.body(),
                     msg::network_backup_saved.flags);
          s_.backup_done = 1;
        } else if (s_.backup_result == 2) {
          h_.log_line(QStringLiteral("/usr なし(FATなし)"));
          h_.message(msg::config_broken_no_usr);
        } else {
          h_.message(msg::transfer_error_1);
          // A device in ROM mode may still take its firmware without a backup.
          if (s_.rom_mode != 1) {
            r = kTransfer;
            break;
          }
        }
      }
      if (!c.connected()) {
        r = ftp_lost();
        break;
      }
      s_.xfer_page = 7;
      s_.firmware_path = a_.file;
      std::unique_ptr<FtpProgressView> view;
      std::unique_ptr<Ttransmit> monitor;
      MonitorControl m;
      m.start = [&] {
        view = std::make_unique<FtpProgressView>(c);
        h_.set_upload_view(view.get());
        monitor = std::make_unique<Ttransmit>(s_, h_);
        s_.transmit_thread = monitor.get();
        monitor->start();
      };
      m.stop = [&] {
        if (monitor) monitor->requestInterruption();
      };
      h_.set_phase(QStringLiteral("firmware"), QStringLiteral("configuration"));
      s_.job_mode = 1;
      const bool ok = ftp_upload_firmware(s_, h_, c, m) == 1;
      h_.finish_ftp(c, ok);
      if (monitor) monitor->wait();
      h_.set_upload_view(nullptr);
      s_.transmit_thread = nullptr;
      if (ok) {
        if (c.connected()) c.disconnect();
        say(QString::fromUtf8(texts::done_network_fw));
      } else {
        h_.log_line(QStringLiteral("FTP_FW_up"));
        h_.message(msg::transfer_error_2);
        s_.hFile.close();
        r = kTransfer;
      }
      break;
    }
    default:
      break;
  }
  if (c.connected()) c.disconnect();
  return r;
}

int Run::exec() {
  if (!start_session()) return kUsage;
  if (a_.command == Arguments::Check) return check_firmware(a_.file);
  return a_.ftp ? ftp() : serial();
}

}  // namespace

int run_command(const Arguments& a, Console& console, std::FILE* results) {
  Run run(a, console, results);
  return run.exec();
}

}  // namespace lumo::cli
