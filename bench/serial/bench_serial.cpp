// The serial sender against the simulated device over a pseudo-terminal:
//  - the rate of a 256 KiB firmware upload with the device pacing its line at 115200, 57600 and
//    38400 bit/s, with the reply poll interval wait_count 100 and 1, real time throughout; the
//    ratio is the rate over the stop-and-wait bound (every byte of every frame and reply at the
//    line rate, no waiting);
//  - the peak resident memory of a process that uploads 1 MiB and 32 MiB files on an unpaced
//    line (the file must be streamed, not held).
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "blockxfer/frame.h"
#include "blockxfer/serial_upload.h"
#include "serial/port.h"
#include "sim/serial_line.h"

extern char** environ;

namespace {

using namespace lumo;

class QuietWindow : public Window {
 public:
  void log_line(const QString&) override {}
  int message(const QString&, const QString&, uint16_t) override { return 1; }
  void set_text(const char*, const QString&) override {}
  void set_progress_max(int m) override { max_ = m; }
  void set_progress(int) override {}
  int progress_maximum() override { return max_; }
  void system_error_box(const QString&) override {}

 private:
  int max_ = 0;
};

uint8_t pattern_byte(uint64_t i) { return uint8_t((i * 2654435761u) >> 13); }

// Written in pieces, so that the parent does not hold the file either.
bool write_pattern(const QString& path, uint64_t size) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  std::vector<char> buf(1 << 16);
  for (uint64_t off = 0; off < size;) {
    const size_t n = size_t(std::min<uint64_t>(buf.size(), size - off));
    for (size_t i = 0; i < n; ++i) buf[i] = char(pattern_byte(off + i));
    if (f.write(buf.data(), qint64(n)) != qint64(n)) return false;
    off += n;
  }
  return true;
}

bool same_file(const QString& a, const QString& b) {
  QFile x(a), y(b);
  if (!x.open(QIODevice::ReadOnly) || !y.open(QIODevice::ReadOnly) || x.size() != y.size())
    return false;
  while (!x.atEnd())
    if (x.read(1 << 16) != y.read(1 << 16)) return false;
  return true;
}

// Wire bytes of every data frame and every Ack of an upload that needs no resend.
uint64_t stop_and_wait_bytes(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return 0;
  const uint32_t total = uint32_t(f.size());
  std::vector<uint8_t> frame(kDataFrameBuffer), reply(kReplyFrameBuffer);
  uint64_t bytes = 0;
  uint8_t seq = 0;
  for (;;) {
    const QByteArray block = f.read(kMaxBlock);
    if (block.isEmpty()) break;
    ++seq;
    bytes += build_data_frame(frame, seq, total, reinterpret_cast<const uint8_t*>(block.data()),
                              uint16_t(block.size()));
    bytes += build_reply_frame(reply, kFrameAck, seq);
  }
  return bytes;
}

// One upload through the session's port to the device behind `link`. Result of serial_upload.
uint8_t upload(const QString& link, const QString& file, std::shared_ptr<Clock> clock,
               int wait_count) {
  Session s;
  QuietWindow w;
  s.clock = clock;
  s.BaudRate = 115200;
  s.wait_count = wait_count;
  s.xfer_page = 7;
  s.port_name = QStringLiteral("COM1");
  s.port_opener = [link, clock](const QString&) -> OpenedPort { return open_tty(link, clock); };
  if (!open_port(s, w)) return 0;
  s.firmware_path = file;
  const uint8_t r = serial_upload(s, w);
  close_port(s);
  return r;
}

constexpr int kFastSpeedup = 100;

// Peak resident set of this process image in KiB. Not getrusage's ru_maxrss: Linux carries the
// spawning parent's peak across exec into it.
long peak_rss_kib() {
  QFile f(QStringLiteral("/proc/self/status"));
  if (!f.open(QIODevice::ReadOnly)) return -1;
  for (QByteArray line; !(line = f.readLine()).isEmpty();)
    if (line.startsWith("VmHWM:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
  return -1;
}

// The child of the memory figures: uploads and prints its peak resident set in KiB.
int upload_child(const char* link, const char* file) {
  const uint8_t r = upload(QString::fromLocal8Bit(link), QString::fromLocal8Bit(file),
                           std::make_shared<ScaledClock>(kFastSpeedup), 1);
  std::printf("%ld\n", peak_rss_kib());
  return r == 1 ? 0 : 1;
}

struct Device {
  QTemporaryDir dir;
  std::unique_ptr<sim::SerialLine> line;
  explicit Device(uint32_t line_speed, int speedup) {
    sim::DeviceConfig cfg;
    cfg.line_speed = line_speed;
    line = std::make_unique<sim::SerialLine>(cfg, speedup);
    QString error;
    if (!line->start(dir.path(), QStringLiteral("COM1"), &error)) {
      std::fprintf(stderr, "bench-serial: %s\n", qPrintable(error));
      std::exit(1);
    }
  }
  QString link() const { return dir.filePath(QStringLiteral("COM1")); }
  QString received() const { return dir.filePath(QLatin1String(sim::kFirmwareFile)); }
};

bool rate_case(const QString& file, uint32_t speed, int wait_count) {
  Device dev(speed, 1);
  const auto t0 = std::chrono::steady_clock::now();
  const uint8_t r = upload(dev.link(), file, std::make_shared<RealClock>(), wait_count);
  const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  if (r != 1 || !same_file(file, dev.received())) {
    std::fprintf(stderr, "bench-serial: upload at %u bit/s failed\n", speed);
    return false;
  }
  const double size = double(QFileInfo(file).size());
  const double bound_secs = double(stop_and_wait_bytes(file)) * 10.0 / speed;
  std::printf("speed=%u wait_count=%d rate=%.0f ratio=%.3f\n", speed, wait_count, size / secs,
              bound_secs / secs);
  std::fflush(stdout);
  return true;
}

// Peak RSS in KiB of a child process uploading `size` bytes; -1 on failure.
long peak_rss(const QString& self, const QString& dir, uint64_t size) {
  const QString file = QDir(dir).filePath(QStringLiteral("big-%1.bin").arg(size));
  if (!write_pattern(file, size)) return -1;
  Device dev(0, kFastSpeedup);
  const QByteArray exe = QFile::encodeName(self), link = QFile::encodeName(dev.link()),
                   path = QFile::encodeName(file);
  char* argv[] = {const_cast<char*>(exe.constData()), const_cast<char*>("--upload-child"),
                  const_cast<char*>(link.constData()), const_cast<char*>(path.constData()),
                  nullptr};
  int out[2];
  if (::pipe(out) != 0) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&fa, out[0]);
  pid_t pid = -1;
  const int spawned = posix_spawn(&pid, exe.constData(), &fa, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&fa);
  ::close(out[1]);
  if (spawned != 0) {
    ::close(out[0]);
    return -1;
  }
  std::string text;
  char buf[64];
  for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) text.append(buf, size_t(n));
  ::close(out[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  const bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0 && same_file(file, dev.received());
  QFile::remove(file);
  return ok ? std::atol(text.c_str()) : -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--upload-child") == 0)
    return upload_child(argv[2], argv[3]);
  QCoreApplication app(argc, argv);

  QTemporaryDir work;
  const QString firmware = QDir(work.path()).filePath(QStringLiteral("firmware-256k.bin"));
  if (!write_pattern(firmware, 256 * 1024)) return 1;
  // --memory-only skips the minutes of real-time uploads.
  const bool rates = !app.arguments().contains(QStringLiteral("--memory-only"));
  for (uint32_t speed : {115200u, 57600u, 38400u})
    for (int wait_count : {100, 1})
      if (rates && !rate_case(firmware, speed, wait_count)) return 1;

  const QString self = QCoreApplication::applicationFilePath();
  const long small = peak_rss(self, work.path(), 1u << 20);
  const long big = peak_rss(self, work.path(), 32u << 20);
  if (small < 0 || big < 0) {
    std::fprintf(stderr, "bench-serial: a memory upload failed\n");
    return 1;
  }
  std::printf("peak_rss_1MiB=%ld peak_rss_32MiB=%ld\n", small, big);
  return 0;
}
