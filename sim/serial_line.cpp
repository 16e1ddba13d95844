#include "sim/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace lumo::sim {

namespace {

int64_t mono_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

void wake(int fd) {
  if (fd < 0) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t r = ::write(fd, &one, sizeof one);
}

}  // namespace

SerialLine::SerialLine(DeviceConfig config, int speedup)
    : device_(std::move(config)), speedup_(speedup < 1 ? 1 : speedup) {}

SerialLine::~SerialLine() { stop(); }

bool SerialLine::start(const QString& dir, const QString& port, QString* error) {
  auto fail = [&](const char* what) {
    if (error)
      *error = QStringLiteral("%1: %2").arg(QLatin1String(what),
                                            QString::fromLocal8Bit(std::strerror(errno)));
    stop();
    return false;
  };
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0) return fail("posix_openpt");
  if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return fail("unlockpt");
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0) return fail("ptsname");
  tty_path_ = QString::fromLocal8Bit(name);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);

  holder_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (holder_ < 0) return fail("open tty");
  // Until the PC configures it, the line must not echo or translate what the device sends.
  termios t{};
  if (::tcgetattr(holder_, &t) == 0) {
    ::cfmakeraw(&t);
    ::tcsetattr(holder_, TCSANOW, &t);
  }
  wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake_ < 0) return fail("eventfd");

  const DeviceConfig& cfg = device_.config();
  BlockOptions block = cfg.block;
  if (block.folder.empty()) block.folder = QFile::encodeName(dir).toStdString();
  if (cfg.faults.busy) block.faults.busy = true;
  folder_ = QFile::decodeName(block.folder.c_str());
  engine_ = std::make_unique<BlockEngine>(std::move(block));
  for (const char* command : {"AT#!W0", "AT#!W1", "AT#!R1"}) {
    device_.on_command(command, [this](Device&, const std::string& c) {
      uint8_t buf[512];
      // Whatever an earlier transfer left unsent is gone with its data mode.
      while (engine_->take(buf, sizeof buf, INT64_MAX)) {
      }
      engine_->start(c + "\r", now_ms_);
      std::string answer;
      while (size_t k = engine_->take(buf, sizeof buf, now_ms_))
        answer.append(reinterpret_cast<const char*>(buf), k);
      // The answer line goes through the command side's faults; frames follow it as they are.
      const size_t eol = answer.find('\n');
      if (eol != std::string::npos) {
        after_answer_ = answer.substr(eol + 1);
        answer.resize(eol + 1);
      }
      return answer;
    });
  }
  if (cfg.line_speed) {
    tx_pacer_.emplace(cfg.line_speed, speedup_);
    rx_pacer_.emplace(cfg.line_speed, speedup_);
  }

  link_path_ = QDir(dir).filePath(port);
  const QByteArray link = QFile::encodeName(link_path_);
  ::unlink(link.constData());
  if (::symlink(name, link.constData()) != 0) {
    link_path_.clear();
    return fail("symlink");
  }
  stopping_ = false;
  start_us_ = mono_us();
  thread_ = std::thread([this] { run(); });
  return true;
}

void SerialLine::stop() {
  stopping_ = true;
  wake(wake_);
  if (thread_.joinable()) thread_.join();
  if (!link_path_.isEmpty()) {
    ::unlink(QFile::encodeName(link_path_).constData());
    link_path_.clear();
  }
  close_line();
  if (wake_ >= 0) ::close(wake_);
  wake_ = -1;
}

void SerialLine::drop_line() {
  stopping_ = true;
  wake(wake_);
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) dropped_ = true;
  close_line();
}

void SerialLine::close_line() {
  for (int* fd : {&master_, &holder_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

std::string SerialLine::received() const {
  std::lock_guard<std::mutex> g(mu_);
  return received_;
}

std::vector<std::string> SerialLine::commands() const {
  std::lock_guard<std::mutex> g(mu_);
  return device_.commands();
}

std::vector<std::string> SerialLine::transfer_events() const {
  std::lock_guard<std::mutex> g(mu_);
  return engine_ ? engine_->events() : std::vector<std::string>{};
}

int64_t SerialLine::device_ms(int64_t real_us) const {
  return (real_us - start_us_) * speedup_ / 1000;
}

void SerialLine::queue(std::string bytes, int64_t not_before_us) {
  if (bytes.empty()) return;
  if (!out_.empty()) not_before_us = std::max(not_before_us, out_.back().not_before_us);
  out_.push_back({std::move(bytes), not_before_us});
}

void SerialLine::queue_answers(const std::vector<Device::Output>& out, int64_t now_us) {
  int64_t at = out_.empty() ? now_us : std::max(now_us, out_.back().not_before_us);
  for (const Device::Output& o : out) {
    at += int64_t(o.delay_ms) * 1000 / speedup_;
    queue(o.bytes, at);
  }
  if (!after_answer_.empty()) queue(std::move(after_answer_), at);
  after_answer_.clear();
}

void SerialLine::take_input(const uint8_t* p, size_t n, int64_t now_us) {
  std::lock_guard<std::mutex> g(mu_);
  now_ms_ = device_ms(now_us);
  last_input_ms_ = now_ms_;
  received_.append(reinterpret_cast<const char*>(p), std::min(n, kRecordLimit - received_.size()));
  size_t i = 0;
  while (i < n && !engine_->line_dropped()) {
    if (engine_->active()) {
      i += engine_->input(p + i, n - i, now_ms_);
      // The escape ends data mode; the command side answers it as in command mode.
      if (!engine_->active() && engine_->escaped()) {
        const uint8_t esc[] = {'+', '+', '+'};
        queue_answers(device_.receive(esc, sizeof esc), now_us);
      }
      continue;
    }
    // One byte at a time: a transfer command switches the rest of the input to the engine.
    queue_answers(device_.receive(p + i, 1), now_us);
    ++i;
  }
}

bool SerialLine::flush_output(int64_t now_us, bool& blocked) {
  blocked = false;
  while (!out_.empty()) {
    const Chunk& c = out_.front();
    if (c.not_before_us > now_us) return true;
    size_t k = c.bytes.size() - out_done_;
    if (tx_pacer_) k = std::min(k, tx_pacer_->allowance(now_us));
    if (k == 0) return true;
    const ssize_t r = ::write(master_, c.bytes.data() + out_done_, k);
    if (r < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN) {
        blocked = true;
        return true;
      }
      return false;
    }
    if (tx_pacer_) tx_pacer_->sent(size_t(r), now_us);
    out_done_ += size_t(r);
    if (out_done_ == c.bytes.size()) {
      out_.pop_front();
      out_done_ = 0;
    }
  }
  return true;
}

void SerialLine::run() {
  uint8_t buf[4096];
  // Engine time is checked this often in data mode: about 20 ms of device time.
  const int64_t tick_us = std::clamp<int64_t>(20000 / speedup_, 200, 5000);
  bool hung_up = false;  // no reader on the PC's end yet
  while (!stopping_) {
    int64_t now = mono_us();
    {
      std::lock_guard<std::mutex> g(mu_);
      const int64_t ms = device_ms(now);
      if (engine_->active()) {
        if (ms - last_input_ms_ > kDataIdleMs) engine_->leave_data_mode();
        engine_->tick(ms);
        std::string due;
        while (size_t k = engine_->take(buf, sizeof buf, ms))
          due.append(reinterpret_cast<const char*>(buf), k);
        queue(std::move(due), now);
      }
      if (engine_->line_dropped()) break;
    }
    bool blocked = false;
    if (!flush_output(now, blocked)) return;

    // How long nothing needs doing.
    int64_t wait_us = 200000;
    if (!out_.empty() && !blocked) {
      const int64_t until = out_.front().not_before_us - now;
      wait_us = std::min(wait_us, until > 0 ? until : (tx_pacer_ ? tx_pacer_->wait_us(now) : 0));
    }
    const bool may_read = !rx_pacer_ || rx_pacer_->wait_us(now) == 0;
    if (!may_read) wait_us = std::min(wait_us, rx_pacer_->wait_us(now));
    if (engine_->active()) wait_us = std::min(wait_us, tick_us);
    if (hung_up) wait_us = std::max<int64_t>(wait_us, 20000);

    pollfd f[2] = {{master_, short((may_read ? POLLIN : 0) | (blocked ? POLLOUT : 0)), 0},
                   {wake_, POLLIN, 0}};
    const timespec ts = {time_t(wait_us / 1000000), long(wait_us % 1000000) * 1000};
    const int r = ::ppoll(f, 2, &ts, nullptr);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return;
    if (stopping_ || (f[1].revents & POLLIN)) return;
    // Until the PC opens its end the master reports a hang-up; do not spin on it.
    hung_up = (f[0].revents & POLLHUP) && !(f[0].revents & POLLIN);
    if (!(f[0].revents & POLLIN)) continue;

    now = mono_us();
    size_t room = sizeof buf;
    if (rx_pacer_) room = std::min(room, rx_pacer_->allowance(now));
    const ssize_t n = ::read(master_, buf, room);
    if (n <= 0) continue;
    if (rx_pacer_) rx_pacer_->sent(size_t(n), now);
    take_input(buf, size_t(n), now);
  }
  // The drop_line_at fault: the device's end goes away in the middle of a transfer.
  if (!stopping_) {
    dropped_ = true;
    close_line();
  }
}

}  // namespace lumo::sim
