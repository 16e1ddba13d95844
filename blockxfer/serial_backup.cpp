#include "blockxfer/serial_backup.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string>

#include "blockxfer/frame.h"
#include "blockxfer/link_wait.h"
#include "serial/at_exchange.h"
#include "serial/line_control.h"
#include "serial/port.h"

namespace lumo {

namespace {

void log(Window& w, const char* text) { w.log_line(QString::fromUtf8(text)); }
void log(Window& w, const char* text, qlonglong v) {
  w.log_line(QString::fromUtf8(text) + QString::number(v));
}

bool write_all(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t r = ::write(fd, p, n);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= size_t(r);
  }
  return true;
}

// The file being received, beside the backup target so that the final rename stays on one file
// system. Its name does not look like a backup; it is removed unless committed.
class PartialBackup {
 public:
  PartialBackup(Session& s, const QString& target) : s_(s), target_(QFile::encodeName(target)) {
    if (target_.isEmpty() || target_.endsWith('/')) return;
    const int slash = target_.lastIndexOf('/');
    const std::string dir = slash < 0 ? std::string(".") : target_.left(slash + 1).toStdString();
    const std::string base = target_.mid(slash + 1).toStdString();
    for (int attempt = 0; attempt < 100; ++attempt) {
      char suffix[48];
      std::snprintf(suffix, sizeof suffix, ".%d.%d.part", int(::getpid()), attempt);
      std::string name = (slash < 0 ? std::string() : dir) + "." + base + suffix;
      // Mode 0666 under the umask, as a newly created backup file would have.
      int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd >= 0) {
        temp_ = std::move(name);
        s_.hSaveFile.reset(fd);
        return;
      }
      if (errno != EEXIST) return;
    }
  }
  ~PartialBackup() { discard(); }

  bool created() const { return !temp_.empty(); }

  void discard() {
    s_.hSaveFile.close();
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

  // Flushes and closes the file; the data must be on disk before it replaces a good backup.
  bool close() {
    bool ok = ::fsync(s_.hSaveFile.get()) == 0;
    s_.hSaveFile.close();
    return ok;
  }

  bool commit() {
    if (temp_.empty() || ::rename(temp_.c_str(), target_.constData()) != 0) return false;
    temp_.clear();
    return true;
  }

 private:
  Session& s_;
  QByteArray target_;
  std::string temp_;
};

}  // namespace

uint8_t serial_backup(Session& s, Window& w) {
  w.set_progress(0);

  // Made before the command, so a folder that refuses files does not leave the device connected.
  PartialBackup file(s, s.config_path);
  if (!file.created()) {
    log(w, "ファイルを作成できません。");
    return 0;
  }
  switch (transfer_command(s, w, TransferCommand::ConfigDownload)) {
    case ConnectResult::Failed:
      return 0;
    case ConnectResult::Busy:
      return 2;
    case ConnectResult::Connected:
      break;
  }

  uint32_t total_data = 0;
  uint8_t Nack_flag = 0;
  uint8_t seq_ban = 0;
  s.wire_bytes = 0;
  // A size left from an earlier transfer must not end this one: completion is only judged once
  // block 1 has announced the size.
  s.F_size = 0;
  bool size_known = false;
  int64_t cycle_count = 0;
  int64_t cycle_limit = 100;
  frame_assembler frames(kDataFrameBuffer);
  uint8_t reply[kReplyFrameBuffer];

  // A refused frame: answered with a Nak, or, as the fourth refusal since the last accepted
  // block, the end of the backup with `box` (false then).
  const auto refuse = [&](const Message& box, bool log_count) {
    if (Nack_flag > 2) {
      file.discard();
      w.message(box);
      return false;
    }
    if (log_count) log(w, "Nack_flag=", Nack_flag);
    ++Nack_flag;
    return true;
  };

  for (;;) {
    if (cycle_count >= cycle_limit) {
      // Still short of the announced size: what was received is no backup.
      w.log_line(QStringLiteral("cycle_count=%1 上限のため中止 total_data=%2")
                     .arg(cycle_count)
                     .arg(total_data));
      return 0;
    }
    bool dup_flag = false;
    ++cycle_count;
    if (Nack_flag == 0) ++seq_ban;

    std::optional<size_t> closing;
    while (!closing) {
      if (!wait_for_input(s, w, 50, 100, WaitRule::Strict, false)) {
        log(w, "タイムアウト。");
        return 0;
      }
      uint8_t b = 0;
      switch (read_when_ready(s, &b, 1)) {
        case ReadResult::TimedOut:
          log(w, "1Bタイムアウト。");
          return 0;
        case ReadResult::Failed:
          log(w, "読み込みに失敗しました。");
          return 0;
        case ReadResult::Read:
          break;
      }
      closing = frames.feed(b);
    }
    const uint16_t count = frame_unescape(frames.buffer(), *closing);
    const uint8_t* f = frames.buffer().data();

    if (!data_fcs_ok(f, count)) {
      log(w, "CRCチェックNG");
      if (!refuse(msg::transfer_error_7, false)) return 0;
    } else if (!data_header_ok(f) || !data_length_fits(f, count)) {
      // A length that disagrees with the content is as untrustworthy as a bad header.
      log(w, "ヘッダチェックNG");
      if (!refuse(msg::transfer_error_8, true)) return 0;
    } else if (data_seq(f) == seq_ban) {
      if (seq_ban == 1) {
        s.F_size = data_total(f);
        log(w, "F_size", s.F_size);
        if (!size_known) {
          size_known = true;
          // Each block may be refused three times and repeated; a large file must get through.
          const int64_t blocks = (int64_t(s.F_size) + kMaxBlock - 1) / kMaxBlock;
          cycle_limit = std::max<int64_t>(100, 4 * blocks + 100);
        }
      }
      const uint16_t rec_segsize = data_length(f);
      total_data += rec_segsize;
      if (!write_all(s.hSaveFile.get(), f + kDataHeaderEnd, rec_segsize)) {
        log(w, "ファイルに書き込めません。");
        return 0;
      }
      Nack_flag = 0;
    } else if (int(data_seq(f)) == int(seq_ban) - 1) {
      log(w, "以前に受信したデータが送られてきた", data_seq(f));
      dup_flag = true;
      log(w, "rec_segsize=", data_length(f));
    } else {
      log(w, "シーケンス番号エラー");
      if (!refuse(msg::transfer_error_8, true)) return 0;
    }

    const uint8_t kind = Nack_flag != 0 ? kFrameNak : kFrameAck;
    if (dup_flag) --seq_ban;
    const size_t len = build_reply_frame(reply, kind, seq_ban);
    uint32_t written = 0;
    if (!port_write(s, reply, uint32_t(len), &written)) {
      log(w, "COMMに書込み失敗");
      return 0;
    }
    log(w, "send seq_ban=", seq_ban);
    s.wire_bytes += written;

    if (size_known && total_data >= s.F_size) break;
  }

  const bool flushed = file.close();
  log(w, "p=", s.wire_bytes);
  log(w, "total_data=", total_data);
  if (hang_up(s, w) != 1) return 0;
  if (!flushed || !file.commit()) {
    log(w, "ファイルを保存できません。");
    return 0;
  }
  w.set_progress(w.progress_maximum());
  w.message(msg::serial_backup_saved);
  return 1;
}

}  // namespace lumo
