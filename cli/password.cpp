#include "cli/password.h"

#include <QFile>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace lumo::cli {

bool read_password_file(const QString& path, QString& password, QString* error) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) {
    if (error) *error = path + QStringLiteral(": ") + f.errorString();
    return false;
  }
  QByteArray first = f.readLine();
  while (first.endsWith('\n') || first.endsWith('\r')) first.chop(1);
  password = QString::fromUtf8(first);
  return true;
}

namespace {

void write_all(int fd, const char* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, p, n);
    if (w <= 0) return;
    p += w;
    n -= size_t(w);
  }
}

}  // namespace

bool read_password_terminal(QString& password) {
  const int fd = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios saved{};
  if (::tcgetattr(fd, &saved) != 0) {
    ::close(fd);
    return false;
  }
  // Echo goes off before the prompt appears, so nothing typed after it is ever shown.
  termios quiet = saved;
  quiet.c_lflag &= ~tcflag_t(ECHO);
  quiet.c_lflag |= ECHONL;
  ::tcsetattr(fd, TCSAFLUSH, &quiet);
  static const char kPrompt[] = "Password: ";
  write_all(fd, kPrompt, sizeof kPrompt - 1);
  std::string line;
  char c = 0;
  bool ended = false;
  for (;;) {
    const ssize_t r = ::read(fd, &c, 1);
    if (r <= 0) break;
    if (c == '\n' || c == '\r') {
      ended = true;
      break;
    }
    line += c;
  }
  ::tcsetattr(fd, TCSAFLUSH, &saved);
  if (!ended && line.empty()) {
    ::close(fd);
    return false;
  }
  ::close(fd);
  password = QString::fromStdString(line);
  return true;
}

}  // namespace lumo::cli
