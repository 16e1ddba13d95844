#include "blockxfer/serial_upload.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

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

// Fills up to n bytes, short only at the end of the file; -1 when the file cannot be read.
int read_block(int fd, uint8_t* buf, uint32_t n) {
  uint32_t got = 0;
  while (got < n) {
    ssize_t r = ::read(fd, buf + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += uint32_t(r);
  }
  return int(got);
}

struct Sender {
  Session& s;
  Window& w;
  int wait_ms;
  int16_t froop;
  uint32_t LoopCount = 1;
  uint8_t seq_ban = 0;
  uint16_t resend_count = 0;
  uint8_t saved[kDataFrameBuffer] = {};
  uint32_t saved_len = 0;
  frame_assembler replies{kReplyFrameBuffer};

  bool resend(uint32_t* written = nullptr) { return port_write(s, saved, saved_len, written); }

  // The first write of a block failed: bring the line back with the recovery profile and send
  // once more. False when the port could not be reconfigured (it is closed then).
  bool write_recovery(int err) {
    ++resend_count;
    log(w, "saisou(正)");
    if (s.diagnostic_mode()) w.system_error_box(QString::fromLocal8Bit(std::strerror(err)));
    uint32_t flags = 0;
    ComStat st;
    port_queued(s, &flags, &st);
    log(w, "fLen=", st.cbInQue);
    if (!reconfigure_port(s, w)) return false;
    uint32_t written = 0;
    if (!resend(&written)) log(w, "(正)COMMに書込み失敗");
    w.log_line(QString::number(written));
    return true;
  }

  // Waits for the Ack of block seq_ban, resending on silence, damage or any other reply; the
  // fourth failure ends the transfer.
  bool await_ack() {
    for (;;) {
      if (!wait_for_input(s, w, froop, wait_ms, WaitRule::Inclusive, true)) {
        if (resend_count <= 2) {
          uint32_t written = 0;
          if (!resend(&written)) {
            log(w, "COMMに書込み失敗(再送｜データが置かれない)");
            w.log_line(QString::number(written));
          }
          ++resend_count;
          log(w, "saisou / no data", seq_ban);
          continue;
        }
        w.log_line(QStringLiteral("タイムアウト。Ack来ない(LC=%1)").arg(LoopCount));
        return false;
      }
      uint8_t b = 0;
      switch (read_when_ready(s, &b, 1)) {
        case ReadResult::TimedOut:
          w.log_line(
              QStringLiteral("1024タイムアウト。LC=%1,p=%2").arg(LoopCount).arg(s.wire_bytes));
          return false;
        case ReadResult::Failed:
          w.log_line(QStringLiteral("読み込みに失敗しました。(LoopCount=%1)").arg(LoopCount));
          return false;
        case ReadResult::Read:
          break;
      }
      auto closing = replies.feed(b);
      if (!closing) continue;
      frame_unescape(replies.buffer(), *closing);
      const uint8_t* r = replies.buffer().data();
      if (!reply_fcs_ok(r)) {
        if (resend_count <= 2) {
          resend();
          ++resend_count;
          log(w, "CRCチェックNGのため再送します！");
          continue;
        }
        log(w, "CRCチェック４回NG！", r[10]);
        return false;
      }
      if (reply_is_ack(r, seq_ban)) return true;
      if (reply_is_nak(r)) log(w, "Nakが返ってきた！", r[10]);
      if (resend_count <= 2) {
        resend();
        ++resend_count;
        log(w, "Ackでないため再送します！", seq_ban);
        continue;
      }
      log(w, "再送3回したが、Ack以外のものが返ってくる。");
      w.log_line(QStringLiteral("(%1)").arg(r[10]));
      return false;
    }
  }
};

}  // namespace

uint8_t serial_upload(Session& s, Window& w) {
  const QByteArray path = QFile::encodeName(s.firmware_path);
  {
    FileHandle probe(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (!probe.is_open() || ::fstat(probe.get(), &st) != 0) {
      log(w, "ファイルをオープンできません。(cre)");
      return 0;
    }
    s.file_size = uint32_t(st.st_size);
  }
  log(w, "ファイルサイズ", s.file_size);
  s.F_size = s.file_size;
  w.set_progress_max(int(std::min<uint32_t>(s.file_size, INT_MAX)));

  s.hFile.reset(::open(path.constData(), O_RDONLY | O_CLOEXEC));
  if (!s.hFile.is_open()) {
    log(w, "ファイルをオープンできません。(FO)");
    return 0;
  }

  TransferCommand cmd;
  if (s.xfer_page == 7) {
    cmd = TransferCommand::FirmwareUpload;
  } else if (s.xfer_page == 14) {
    cmd = TransferCommand::ConfigUpload;
  } else {
    log(w, "xfer_page=", s.xfer_page);
    return 0;
  }
  switch (transfer_command(s, w, cmd)) {
    case ConnectResult::Failed:
      return 0;
    case ConnectResult::Busy:
      return 2;
    case ConnectResult::Connected:
      break;
  }

  s.clock->pause(500);
  // The options file may give 0; the reply wait then still polls every millisecond.
  const int wait_ms = std::max<int32_t>(s.wait_count, 1);
  Sender x{s, w, wait_ms, int16_t(5000 / wait_ms)};
  log(w, "froop=", x.froop);
  uint32_t total = 0;
  s.wire_bytes = 0;
  x.LoopCount = 2;

  uint8_t block[kMaxBlock];
  uint8_t frame[kDataFrameBuffer];
  for (;;) {
    // Never more than the size every frame announces, even if the file grows meanwhile.
    const uint32_t want = std::min<uint32_t>(kMaxBlock, s.F_size - total);
    const int n = want ? read_block(s.hFile.get(), block, want) : 0;
    if (n < 0) {
      log(w, "ファイルを読み込めません。");
      return 0;
    }
    if (n == 0) break;
    total += uint32_t(n);
    x.resend_count = 0;
    ++x.seq_ban;
    x.saved_len = uint32_t(build_data_frame(frame, x.seq_ban, s.F_size, block, uint16_t(n)));
    std::memcpy(x.saved, frame, x.saved_len);

    uint32_t written = 0;
    errno = 0;
    if (!port_write(s, frame, x.saved_len, &written)) {
      const int err = errno ? errno : EIO;
      if (!x.write_recovery(err)) return 0;
    }
    port_drain(s);
    s.wire_bytes += x.saved_len;
    if (s.config_resend != 1) w.set_progress(int(std::min<uint32_t>(total, INT_MAX)));
    ++x.LoopCount;
    if (!x.await_ack()) return 0;
  }

  s.hFile.close();
  log(w, "total=", total);
  log(w, "p=", s.wire_bytes);
  return hang_up(s, w) == 1 ? 1 : 0;
}

}  // namespace lumo
