#include "serial/termios_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace lumo {

namespace {

int64_t mono_us() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

struct Speed {
  uint32_t baud;
  speed_t code;
};
constexpr Speed kSpeeds[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                             {9600, B9600},   {19200, B19200},   {38400, B38400},
                             {57600, B57600}, {115200, B115200}, {230400, B230400}};

bool speed_code(uint32_t baud, speed_t& code) {
  for (const Speed& s : kSpeeds) {
    if (s.baud == baud) {
      code = s.code;
      return true;
    }
  }
  return false;
}

uint32_t speed_baud(speed_t code) {
  for (const Speed& s : kSpeeds) {
    if (s.code == code) return s.baud;
  }
  return 0;
}

}  // namespace

std::shared_ptr<TermiosPort> TermiosPort::open(const QString& path, std::shared_ptr<Clock> clock) {
  const QByteArray p = path.toLocal8Bit();
  int fd = ::open(p.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  // flock binds root as well; TIOCEXCL keeps out other users' opens that do not take the lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
    int e = errno;
    ::close(fd);
    errno = e;
    return nullptr;
  }
  termios t{};
  if (::tcgetattr(fd, &t) != 0) {
    int e = errno;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    errno = e;
    return nullptr;
  }
  int wake = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    int e = errno;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    errno = e;
    return nullptr;
  }
  return std::shared_ptr<TermiosPort>(new TermiosPort(fd, wake, std::move(clock)));
}

TermiosPort::TermiosPort(int fd, int wake_fd, std::shared_ptr<Clock> clock)
    : fd_(fd), wake_fd_(wake_fd), clock_(clock ? std::move(clock) : std::make_shared<RealClock>()) {
  // Errors counted before we opened the line are not ours to report.
  serial_icounter_struct c{};
  if (::ioctl(fd_, TIOCGICOUNT, &c) == 0)
    last_ = {c.buf_overrun, c.overrun, c.parity, c.frame, c.brk};
}

TermiosPort::~TermiosPort() {
  // The exclusive flag outlives our descriptor while anyone else holds the tty open.
  ::ioctl(fd_, TIOCNXCL);
  ::close(fd_);
  ::close(wake_fd_);
}

void TermiosPort::close() {
  if (closed_.exchange(true)) return;
  uint64_t one = 1;
  [[maybe_unused]] ssize_t r = ::write(wake_fd_, &one, sizeof one);
}

void TermiosPort::setup_queues(uint32_t, uint32_t) {
  // The tty layer's queues are fixed; nothing to size.
}

void TermiosPort::get_state(Dcb& dcb) {
  termios t{};
  if (closed_ || ::tcgetattr(fd_, &t) != 0) return;
  dcb.BaudRate = speed_baud(cfgetospeed(&t));
  switch (t.c_cflag & CSIZE) {
    case CS5:
      dcb.ByteSize = 5;
      break;
    case CS6:
      dcb.ByteSize = 6;
      break;
    case CS7:
      dcb.ByteSize = 7;
      break;
    default:
      dcb.ByteSize = 8;
      break;
  }
  dcb.fParity = (t.c_cflag & PARENB) != 0;
  dcb.Parity = !(t.c_cflag & PARENB) ? 0 : (t.c_cflag & PARODD) ? 1 : 2;
  dcb.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
  int lines = 0;
  if (::ioctl(fd_, TIOCMGET, &lines) == 0) dcb.fRtsControl = (lines & TIOCM_RTS) ? 1 : 0;
}

bool TermiosPort::set_state(const Dcb& dcb) {
  if (closed_) return false;
  termios t{};
  if (::tcgetattr(fd_, &t) != 0) return false;
  speed_t code;
  if (!speed_code(dcb.BaudRate, code)) return false;
  // Raw bytes both ways: no line editing, translation, signals or software flow control.
  t.c_iflag &=
      ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK);
  t.c_oflag &= ~OPOST;
  t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
  t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
  switch (dcb.ByteSize) {
    case 5:
      t.c_cflag |= CS5;
      break;
    case 6:
      t.c_cflag |= CS6;
      break;
    case 7:
      t.c_cflag |= CS7;
      break;
    default:
      t.c_cflag |= CS8;
      break;
  }
  if (dcb.fParity && dcb.Parity != 0) {
    t.c_cflag |= PARENB;
    if (dcb.Parity == 1) t.c_cflag |= PARODD;
  }
  if (dcb.StopBits != 0) t.c_cflag |= CSTOPB;
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cc[VMIN] = 0;
  t.c_cc[VTIME] = 0;
  if (cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0) return false;
  if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
  if (dcb.fRtsControl == 1) {
    int rts = TIOCM_RTS;
    // A pseudo-terminal has no modem lines (ENOTTY, EINVAL): RTS is then simply not there.
    if (::ioctl(fd_, TIOCMBIS, &rts) != 0 && errno != ENOTTY && errno != EINVAL) return false;
  }
  return true;
}

void TermiosPort::get_timeouts(CommTimeouts& t) {
  if (!closed_) t = timeouts_;
}

bool TermiosPort::set_timeouts(const CommTimeouts& t) {
  if (closed_) return false;
  timeouts_ = t;
  return true;
}

bool TermiosPort::purge() {
  if (closed_) return false;
  return ::tcflush(fd_, TCIOFLUSH) == 0;
}

bool TermiosPort::clear_error(uint32_t& dwErrorFlags, ComStat& stat) {
  dwErrorFlags = 0;
  stat = ComStat{};
  if (closed_) return false;
  int in = 0;
  if (::ioctl(fd_, FIONREAD, &in) != 0) return false;
  int out = 0;
  if (::ioctl(fd_, TIOCOUTQ, &out) != 0) out = 0;
  // Line errors since the last poll, where the driver counts them (a pseudo-terminal does not).
  serial_icounter_struct c{};
  if (::ioctl(fd_, TIOCGICOUNT, &c) == 0) {
    if (c.buf_overrun != last_.buf_overrun) dwErrorFlags |= kCeRxOver;
    if (c.overrun != last_.overrun) dwErrorFlags |= kCeOverrun;
    if (c.parity != last_.parity) dwErrorFlags |= kCeRxParity;
    if (c.frame != last_.frame) dwErrorFlags |= kCeFrame;
    if (c.brk != last_.brk) dwErrorFlags |= kCeBreak;
    last_ = {c.buf_overrun, c.overrun, c.parity, c.frame, c.brk};
  }
  stat.cbInQue = in > 0 ? uint32_t(in) : 0;
  stat.cbOutQue = out > 0 ? uint32_t(out) : 0;
  return true;
}

int64_t TermiosPort::deadline_after(uint32_t device_ms) const {
  int ms = device_ms > 0x7fffffffu ? 0x7fffffff : int(device_ms);
  return mono_us() + int64_t(clock_->real_ms(ms)) * 1000;
}

int TermiosPort::wait_for(short events, int64_t deadline_us) {
  for (;;) {
    if (closed_) return -1;
    int64_t left_us = deadline_us - mono_us();
    if (left_us <= 0) return 0;
    pollfd fds[2] = {{fd_, events, 0}, {wake_fd_, POLLIN, 0}};
    int r = ::poll(fds, 2, int((left_us + 999) / 1000));
    if (r < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (closed_ || (fds[1].revents & POLLIN)) return -1;
    if (r == 0) continue;  // the deadline check above decides
    const short got = fds[0].revents;
    // A hung-up tty polls readable but reads nothing, for ever: the line dropped.
    if (got & (POLLNVAL | POLLERR | POLLHUP)) return -1;
    if (got & events) return 1;
  }
}

bool TermiosPort::write(const uint8_t* buf, uint32_t n, uint32_t& written) {
  written = 0;
  if (closed_) return false;
  const int64_t deadline = deadline_after(timeouts_.WriteTotalTimeoutConstant +
                                          timeouts_.WriteTotalTimeoutMultiplier * n);
  while (written < n) {
    ssize_t r = ::write(fd_, buf + written, n - written);
    if (r > 0) {
      written += uint32_t(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    int w = wait_for(POLLOUT, deadline);
    if (w < 0) return false;
    if (w == 0) break;
  }
  // Timed out: what went out counts; nothing at all is a failed write.
  return written > 0 || n == 0;
}

void TermiosPort::drain() {
  if (closed_) return;
  // tcdrain could wait forever on a held line and cannot be woken; watch the output queue instead.
  const int64_t deadline = deadline_after(timeouts_.WriteTotalTimeoutConstant);
  for (;;) {
    int out = 0;
    if (::ioctl(fd_, TIOCOUTQ, &out) != 0) return;
    if (out <= 0) break;
    if (mono_us() >= deadline || closed_) return;
    pollfd f = {wake_fd_, POLLIN, 0};
    if (::poll(&f, 1, 1) > 0) return;
  }
  ::tcdrain(fd_);
}

bool TermiosPort::read(uint8_t* buf, uint32_t n, uint32_t& got) {
  got = 0;
  if (closed_) return false;
  // The interval limit is longer than the total one, so only the total ends a read.
  const int64_t deadline =
      deadline_after(timeouts_.ReadTotalTimeoutConstant + timeouts_.ReadTotalTimeoutMultiplier * n);
  while (got < n) {
    ssize_t r = ::read(fd_, buf + got, n - got);
    if (r > 0) {
      got += uint32_t(r);
      continue;
    }
    if (r < 0 && errno == EINTR) continue;
    // With VMIN = VTIME = 0 an empty queue reads as 0 rather than EAGAIN.
    if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
    int w = wait_for(POLLIN, deadline);
    if (w < 0) return false;
    if (w == 0) break;
  }
  return true;
}

}  // namespace lumo
