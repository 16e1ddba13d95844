#include "sim/serial_line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace lumo::sim {

namespace {
int64_t mono_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
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

  link_path_ = QDir(dir).filePath(port);
  const QByteArray link = QFile::encodeName(link_path_);
  ::unlink(link.constData());
  if (::symlink(name, link.constData()) != 0) {
    link_path_.clear();
    return fail("symlink");
  }
  stopping_ = false;
  thread_ = std::thread([this] { run(); });
  return true;
}

void SerialLine::stop() {
  stopping_ = true;
  if (wake_ >= 0) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  if (!link_path_.isEmpty()) {
    ::unlink(QFile::encodeName(link_path_).constData());
    link_path_.clear();
  }
  for (int* fd : {&master_, &holder_, &wake_}) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
}

void SerialLine::drop_line() {
  stopping_ = true;
  if (wake_ >= 0) {
    uint64_t one = 1;
    [[maybe_unused]] ssize_t r = ::write(wake_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
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

bool SerialLine::wait_real_ms(int ms) {
  const int64_t end = mono_ms() + ms;
  for (;;) {
    if (stopping_) return false;
    const int64_t left = end - mono_ms();
    if (left <= 0) return true;
    pollfd f = {wake_, POLLIN, 0};
    if (::poll(&f, 1, int(left)) > 0) return false;
  }
}

bool SerialLine::send(const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    if (stopping_) return false;
    ssize_t r = ::write(master_, bytes.data() + done, bytes.size() - done);
    if (r > 0) {
      done += size_t(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN) return false;
    pollfd f[2] = {{master_, POLLOUT, 0}, {wake_, POLLIN, 0}};
    if (::poll(f, 2, 100) > 0 && (f[1].revents & POLLIN)) return false;
  }
  return true;
}

void SerialLine::run() {
  uint8_t buf[512];
  while (!stopping_) {
    pollfd f[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
    int r = ::poll(f, 2, 200);
    if (r < 0 && errno != EINTR) return;
    if (stopping_ || (f[1].revents & POLLIN)) return;
    if (!(f[0].revents & POLLIN)) {
      // No reader on the other end yet: do not spin on the hang-up.
      if ((f[0].revents & (POLLHUP | POLLERR)) && !wait_real_ms(20)) return;
      continue;
    }
    ssize_t n = ::read(master_, buf, sizeof buf);
    if (n <= 0) continue;
    std::vector<Device::Output> out;
    {
      std::lock_guard<std::mutex> g(mu_);
      received_.append(reinterpret_cast<const char*>(buf), size_t(n));
      out = device_.receive(buf, size_t(n));
    }
    for (const Device::Output& o : out) {
      if (o.delay_ms > 0 && !wait_real_ms(o.delay_ms / speedup_)) return;
      if (!send(o.bytes)) return;
    }
  }
}

}  // namespace lumo::sim
