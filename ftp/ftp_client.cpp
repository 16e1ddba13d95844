#include "ftp/ftp_client.h"

#include <QSaveFile>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

namespace lumo {

namespace {

int64_t real_now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString errno_text(int err) {
  char buf[256];
  // GNU strerror_r: returns the text, which may or may not be in buf.
  return QString::fromLocal8Bit(strerror_r(err, buf, sizeof buf));
}

std::string utf8(const QString& s) {
  QByteArray b = s.toUtf8();
  return std::string(b.constData(), size_t(b.size()));
}

bool unsafe_text(const QString& s) {
  return s.contains(QLatin1Char('\r')) || s.contains(QLatin1Char('\n')) || s.contains(QChar(0));
}

bool parse_port(const QString& text, uint16_t& port) {
  if (text.isEmpty() || text.size() > 5) return false;
  for (QChar c : text) {
    if (!c.isDigit() || c.unicode() > 127) return false;
  }
  int v = text.toInt();
  if (v < 1 || v > 65535) return false;
  port = uint16_t(v);
  return true;
}

// "host", "host:port", "[v6]" or "[v6]:port"; a bare IPv6 literal keeps the default port.
bool split_host(const QString& box, uint16_t default_port, std::string& host, uint16_t& port) {
  QString t = box.trimmed();
  port = default_port;
  QString name = t;
  if (t.startsWith(QLatin1Char('['))) {
    int close = t.indexOf(QLatin1Char(']'));
    if (close < 0) return false;
    name = t.mid(1, close - 1);
    QString rest = t.mid(close + 1);
    if (!rest.isEmpty() && (!rest.startsWith(QLatin1Char(':')) || !parse_port(rest.mid(1), port)))
      return false;
  } else if (t.count(QLatin1Char(':')) == 1) {
    int colon = t.indexOf(QLatin1Char(':'));
    name = t.left(colon);
    if (!parse_port(t.mid(colon + 1), port)) return false;
  }
  if (name.isEmpty() || unsafe_text(name)) return false;
  host = utf8(name);
  return true;
}

void shut(int fd) {
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void close_fd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool same_host(const sockaddr_in& a, const sockaddr_in& b) {
  return a.sin_addr.s_addr == b.sin_addr.s_addr;
}

}  // namespace

// Marks the client busy for one operation; the descriptors are closed by it alone meanwhile.
struct FtpClient::Op {
  explicit Op(FtpClient& c) : client(c), ok(c.begin_op()) {}
  ~Op() {
    if (ok) client.end_op();
  }
  FtpClient& client;
  bool ok;
};

// A best-effort exchange after a failure: its own socket errors are not reported again.
struct FtpClient::Quiet {
  explicit Quiet(FtpClient& c) : client(c) { ++client.quiet_; }
  ~Quiet() { --client.quiet_; }
  FtpClient& client;
};

FtpClient::FtpClient(Clock& clock) : clock_(clock) {
  wake_fd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

FtpClient::~FtpClient() {
  {
    std::lock_guard<std::mutex> l(mu_);
    close_all_locked();
  }
  close_fd(wake_fd_);
}

// ---- operation frame -----------------------------------------------------------------------

bool FtpClient::begin_op() {
  std::lock_guard<std::mutex> l(mu_);
  if (busy_) {
    error_ = {EBUSY, QStringLiteral("another FTP operation is in progress")};
    return false;
  }
  busy_ = true;
  cancel_ = false;
  abort_ = false;
  error_ = {};
  return true;
}

void FtpClient::end_op() {
  std::lock_guard<std::mutex> l(mu_);
  close_fd(data_fd_);
  close_fd(listen_fd_);
  if (drop_pending_) {
    close_all_locked();
    reader_.reset();
    drop_pending_ = false;
  }
  busy_ = false;
  cancel_ = false;
  abort_ = false;
  transferring_ = false;
  uint64_t v;
  if (wake_fd_ >= 0) (void)!::read(wake_fd_, &v, sizeof v);
}

void FtpClient::close_all_locked() {
  close_fd(data_fd_);
  close_fd(listen_fd_);
  close_fd(ctl_fd_);
  connected_ = false;
}

bool FtpClient::require_connected() {
  if (connected_ && ctl_fd_ >= 0) return true;
  fail_quiet(ENOTCONN, QStringLiteral("not connected"));
  return false;
}

int64_t FtpClient::deadline(int device_ms) const {
  if (device_ms <= 0) return real_now_ms();
  return real_now_ms() + clock_.real_ms(device_ms);
}

void FtpClient::maybe_pump() {
  if (!pump) return;
  int64_t now = real_now_ms();
  if (now - last_pump_ms_ < kSliceMs / 2) return;
  last_pump_ms_ = now;
  pump();
}

FtpClient::Wait FtpClient::wait_fd(int fd, short events, int64_t deadline_ms, int fd2,
                                   short* revents, short* revents2) {
  for (;;) {
    if (cancel_) return Wait::Cancelled;
    if (abort_) return Wait::Aborted;
    int64_t left = deadline_ms - real_now_ms();
    int slice = int(left < 0 ? 0 : (left > kSliceMs ? kSliceMs : left));
    pollfd p[3];
    int n = 0;
    p[n++] = {fd, events, 0};
    int i2 = -1;
    if (fd2 >= 0) {
      i2 = n;
      p[n++] = {fd2, POLLIN, 0};
    }
    int iw = n;
    p[n++] = {wake_fd_, POLLIN, 0};
    int rc = ::poll(p, nfds_t(n), slice);
    if (rc < 0) {
      if (errno == EINTR) continue;
      return Wait::Failed;
    }
    if (p[iw].revents) {
      uint64_t v;
      (void)!::read(wake_fd_, &v, sizeof v);
      continue;  // the flags say why
    }
    bool ready = p[0].revents != 0 || (i2 >= 0 && p[i2].revents != 0);
    if (ready) {
      if (revents) *revents = p[0].revents;
      if (revents2) *revents2 = i2 >= 0 ? p[i2].revents : 0;
      return Wait::Ready;
    }
    if (left <= 0) return Wait::TimedOut;
    maybe_pump();
  }
}

bool FtpClient::wait_ok(Wait w, const QString& what) {
  switch (w) {
    case Wait::Ready:
      return true;
    case Wait::TimedOut:
      fail_socket(ETIMEDOUT, what);
      return false;
    case Wait::Cancelled:
      fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
      return false;
    case Wait::Aborted:
      fail_quiet(ECANCELED, QStringLiteral("transfer aborted"));
      return false;
    case Wait::Failed:
      fail_socket(errno, what);
      return false;
  }
  return false;
}

// ---- results and events --------------------------------------------------------------------

QString FtpClient::scrub(const QString& text) const {
  if (Password.isEmpty() || !text.contains(Password)) return text;
  QString t = text;
  return t.replace(Password, QStringLiteral("****"));
}

void FtpClient::status(const QString& text) {
  if (events.OnStatus) events.OnStatus(scrub(text));
}

void FtpClient::fail_socket(int err, const QString& what) {
  error_ = {err, scrub(what + QStringLiteral(": ") + errno_text(err))};
  status(error_.text);
  if (quiet_ == 0 && events.OnError) events.OnError(error_.number, error_.text);
}

void FtpClient::fail_quiet(int err, const QString& what) {
  error_ = {err, scrub(what)};
  status(error_.text);
}

void FtpClient::fail_reply(const FtpReply& reply) {
  error_ = {reply.code, scrub(QString::fromLatin1(reply.first_line.data(),
                                                  qsizetype(reply.first_line.size())))};
}

bool FtpClient::fail_op(int kind) {
  bool handled = false;
  if (events.OnFailure) events.OnFailure(handled, kind);
  return false;
}

bool FtpClient::succeed(int kind) {
  error_ = {};
  if (events.OnSuccess) events.OnSuccess(kind);
  return true;
}

void FtpClient::lost_control() {
  bool was = connected_.exchange(false);
  {
    std::lock_guard<std::mutex> l(mu_);
    drop_pending_ = true;
  }
  if (was && events.OnDisconnect) events.OnDisconnect();
}

FtpError FtpClient::last_error() const { return error_; }

QString FtpClient::last_reply_line() const { return last_reply_line_; }

// ---- control connection --------------------------------------------------------------------

bool FtpClient::send_line(const std::string& line, const QString& shown) {
  status(shown);
  std::string out = line + "\r\n";
  size_t done = 0;
  int64_t dl = deadline(TimeOut);
  while (done < out.size()) {
    ssize_t n = ::send(ctl_fd_, out.data() + done, out.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += size_t(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!wait_ok(wait_fd(ctl_fd_, POLLOUT, dl), QStringLiteral("sending a command"))) {
        lost_control();
        return false;
      }
      continue;
    }
    int err = n < 0 ? errno : EPIPE;
    if (cancel_) {
      fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
    } else {
      fail_socket(err, QStringLiteral("sending a command"));
    }
    lost_control();
    return false;
  }
  return true;
}

// Reads what the control connection holds into the reader; false (control lost) on an error.
bool FtpClient::receive_control() {
  char buf[4096];
  for (;;) {
    ssize_t n = ::recv(ctl_fd_, buf, sizeof buf, 0);
    if (n > 0) {
      reader_.feed(buf, size_t(n));
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    int err = n < 0 ? errno : ECONNRESET;
    if (cancel_) {
      fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
    } else if (n == 0) {
      fail_socket(ECONNRESET, QStringLiteral("the server closed the control connection"));
    } else {
      fail_socket(err, QStringLiteral("reading the server's reply"));
    }
    lost_control();
    return false;
  }
}

// One buffered reply, if whole: Reply, NeedMore, or Malformed (then the control is lost).
FtpReplyReader::Result FtpClient::take_reply(FtpReply& reply) {
  FtpReplyReader::Result r = reader_.next(reply);
  if (r == FtpReplyReader::Result::Reply) {
    for (const std::string& line : reply.lines)
      status(QString::fromLatin1(line.data(), qsizetype(line.size())));
  } else if (r == FtpReplyReader::Result::Malformed) {
    fail_socket(EPROTO, QStringLiteral("malformed reply from the server"));
    lost_control();
  }
  return r;
}

bool FtpClient::read_reply(FtpReply& reply, int timeout_ms) {
  int64_t dl = deadline(timeout_ms);
  for (;;) {
    FtpReplyReader::Result r = take_reply(reply);
    if (r == FtpReplyReader::Result::Reply) return true;
    if (r == FtpReplyReader::Result::Malformed) return false;
    // A reply that never came leaves the pairing of commands and replies unknown.
    if (!wait_ok(wait_fd(ctl_fd_, POLLIN, dl), QStringLiteral("waiting for the server's reply"))) {
      lost_control();
      return false;
    }
    if (!receive_control()) return false;
  }
}

bool FtpClient::command(const std::string& line, FtpReply& reply, int timeout_ms) {
  QString shown = line.rfind("PASS ", 0) == 0
                      ? QStringLiteral("PASS ****")
                      : QString::fromUtf8(line.data(), qsizetype(line.size()));
  if (!send_line(line, shown)) return false;
  if (!read_reply(reply, timeout_ms < 0 ? TimeOut : timeout_ms)) return false;
  last_reply_line_ =
      scrub(QString::fromLatin1(reply.first_line.data(), qsizetype(reply.first_line.size())));
  return true;
}

bool FtpClient::simple_command(const std::string& line, int kind) {
  FtpReply reply;
  if (!command(line, reply)) return fail_op(kind);
  if (reply.preliminary()) {
    // The server promises a second reply; it is the one that tells the outcome.
    FtpReply final_reply;
    if (!read_reply(final_reply, TimeOut)) return fail_op(kind);
    reply.code = final_reply.code;
    reply.first_line = final_reply.first_line;
  }
  if (reply.refused()) {
    fail_reply(reply);
    return fail_op(kind);
  }
  return succeed(kind);
}

bool FtpClient::resolve(const std::string& host, uint16_t port, int64_t dl, addrinfo** out) {
  std::string service = std::to_string(port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, out);
  if (rc == 0) return true;
  if (rc != EAI_NONAME) {
    fail_socket(EINVAL, QStringLiteral("bad host address"));
    return false;
  }
  // A name: the lookup may take long, so it runs on a helper thread while this one pumps. A
  // lookup given up on frees its own result.
  struct Lookup {
    std::mutex mu;
    std::condition_variable cv;
    bool done = false;
    bool abandoned = false;
    int rc = 0;
    addrinfo* res = nullptr;
  };
  auto job = std::make_shared<Lookup>();
  std::thread([job, host, service] {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* res = nullptr;
    int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &res);
    std::lock_guard<std::mutex> l(job->mu);
    if (job->abandoned) {
      if (res) ::freeaddrinfo(res);
    } else {
      job->rc = rc;
      job->res = res;
    }
    job->done = true;
    job->cv.notify_all();
  }).detach();
  for (;;) {
    std::unique_lock<std::mutex> l(job->mu);
    job->cv.wait_for(l, std::chrono::milliseconds(kSliceMs), [&] { return job->done; });
    if (job->done) {
      if (job->rc != 0 || !job->res) {
        l.unlock();
        fail_socket(EHOSTUNREACH, QStringLiteral("unknown host"));
        return false;
      }
      *out = job->res;
      return true;
    }
    if (cancel_ || real_now_ms() >= dl) {
      job->abandoned = true;
      l.unlock();
      if (cancel_) {
        fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
      } else {
        fail_socket(ETIMEDOUT, QStringLiteral("looking up the host"));
      }
      return false;
    }
    l.unlock();
    maybe_pump();
  }
}

bool FtpClient::open_connection(const std::string& host, uint16_t port) {
  int64_t dl = deadline(TimeOut);
  addrinfo* list = nullptr;
  if (!resolve(host, port, dl, &list)) return false;
  std::unique_ptr<addrinfo, void (*)(addrinfo*)> owner(list, ::freeaddrinfo);
  int last_err = ECONNREFUSED;
  for (addrinfo* ai = list; ai; ai = ai->ai_next) {
    int fd = ::socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      last_err = errno;
      continue;
    }
    {
      std::lock_guard<std::mutex> l(mu_);
      ctl_fd_ = fd;
    }
    int rc = ::connect(fd, ai->ai_addr, ai->ai_addrlen);
    int err = rc == 0 ? 0 : errno;
    if (rc != 0 && err == EINPROGRESS) {
      Wait w = wait_fd(fd, POLLOUT, dl);
      if (w == Wait::Ready) {
        socklen_t len = sizeof err;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      } else if (w == Wait::TimedOut) {
        err = ETIMEDOUT;
      } else {
        wait_ok(w, QStringLiteral("connecting"));
        std::lock_guard<std::mutex> l(mu_);
        close_fd(ctl_fd_);
        return false;
      }
    }
    if (err == 0) {
      int one = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      return true;
    }
    last_err = err;
    std::lock_guard<std::mutex> l(mu_);
    close_fd(ctl_fd_);
    if (err == ETIMEDOUT) break;
  }
  fail_socket(last_err, QStringLiteral("cannot reach %1:%2")
                            .arg(QString::fromUtf8(host.data(), qsizetype(host.size())))
                            .arg(port));
  return false;
}

bool FtpClient::login() {
  FtpReply reply;
  do {
    if (!read_reply(reply, TimeOut)) return false;
  } while (reply.preliminary());
  if (reply.code != 220) {
    fail_reply(reply);
    return false;
  }
  if (!command("USER " + utf8(UserID), reply)) return false;
  if (reply.code == 230) return true;
  if (reply.code != 331) {
    fail_reply(reply);
    return false;
  }
  if (!command("PASS " + utf8(Password), reply)) return false;
  if (reply.code == 230 || reply.code == 202) return true;
  fail_reply(reply);
  return false;
}

// ---- public operations ---------------------------------------------------------------------

bool FtpClient::connect() {
  auto failed = [this] {
    if (events.OnConnectionFailed) events.OnConnectionFailed();
    return false;
  };
  Op op(*this);
  if (!op.ok) return failed();
  if (connected_) {
    fail_quiet(EISCONN, QStringLiteral("already connected"));
    return failed();
  }
  {
    std::lock_guard<std::mutex> l(mu_);
    close_all_locked();
  }
  reader_.reset();
  std::string host;
  uint16_t port = 21;
  if (!split_host(Host, Port, host, port)) {
    fail_quiet(EINVAL, QStringLiteral("bad host: ") + Host);
    return failed();
  }
  if (unsafe_text(UserID) || unsafe_text(Password)) {
    fail_quiet(EINVAL, QStringLiteral("user name or password holds a line break"));
    return failed();
  }
  status(QStringLiteral("Connecting to %1:%2")
             .arg(QString::fromUtf8(host.data(), qsizetype(host.size())))
             .arg(port));
  if (!open_connection(host, port) || !login()) {
    {
      std::lock_guard<std::mutex> l(mu_);
      close_all_locked();
      drop_pending_ = false;
    }
    reader_.reset();
    return failed();
  }
  bool cancelled;
  {
    std::lock_guard<std::mutex> l(mu_);
    cancelled = cancel_;
    if (cancelled) close_all_locked();
    socklen_t len = sizeof ctl_peer_;
    std::memset(&ctl_peer_, 0, sizeof ctl_peer_);
    ::getpeername(ctl_fd_, reinterpret_cast<sockaddr*>(&ctl_peer_), &len);
    connected_ = !cancelled;
  }
  if (cancelled) {
    fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
    return failed();
  }
  status(QStringLiteral("Connected"));
  if (events.OnConnect) events.OnConnect();
  return true;
}

bool FtpClient::connected() const {
  std::lock_guard<std::mutex> l(mu_);
  if (!connected_ || ctl_fd_ < 0) return false;
  pollfd p{ctl_fd_, POLLRDHUP, 0};
  if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR | POLLNVAL))) {
    connected_ = false;
    return false;
  }
  return true;
}

bool FtpClient::disconnect() {
  {
    std::unique_lock<std::mutex> l(mu_);
    bool busy = busy_;
    if (!busy && !connected_) {
      close_all_locked();
      reader_.reset();
      return true;
    }
    if (busy) {
      l.unlock();
      close_at_once();
      return true;
    }
  }
  Op op(*this);
  if (!op.ok) {
    close_at_once();
    return true;
  }
  FtpReply reply;
  command("QUIT", reply, TimeOut);
  bool was = connected_.exchange(false);
  {
    std::lock_guard<std::mutex> l(mu_);
    close_all_locked();
    drop_pending_ = false;
  }
  reader_.reset();
  status(QStringLiteral("Disconnected"));
  // A QUIT that found the connection dropped has told OnDisconnect already.
  if (was && events.OnDisconnect) events.OnDisconnect();
  return true;
}

void FtpClient::close_at_once() {
  {
    std::lock_guard<std::mutex> l(mu_);
    connected_ = false;
    if (busy_) {
      cancel_ = true;
      drop_pending_ = true;
      shut(ctl_fd_);
      shut(data_fd_);
      shut(listen_fd_);
      uint64_t one = 1;
      if (wake_fd_ >= 0) (void)!::write(wake_fd_, &one, sizeof one);
    } else {
      close_all_locked();
      reader_.reset();
    }
  }
  if (events.OnDisconnect) events.OnDisconnect();
}

void FtpClient::abort_transfer() {
  if (!transferring_) return;
  abort_ = true;
  uint64_t one = 1;
  if (wake_fd_ >= 0) (void)!::write(wake_fd_, &one, sizeof one);
}

bool FtpClient::change_dir(const QString& path) {
  Op op(*this);
  if (!op.ok || !require_connected()) return fail_op(kFtpChangeDir);
  if (unsafe_text(path)) {
    fail_quiet(EINVAL, QStringLiteral("directory name holds a line break"));
    return fail_op(kFtpChangeDir);
  }
  return simple_command("CWD " + utf8(path), kFtpChangeDir);
}

bool FtpClient::image_type() {
  Op op(*this);
  if (!op.ok || !require_connected()) return fail_op(kFtpCommand);
  return simple_command("TYPE I", kFtpCommand);
}

bool FtpClient::raw_command(const QString& text) {
  Op op(*this);
  if (!op.ok || !require_connected()) return fail_op(kFtpCommand);
  if (unsafe_text(text) || text.isEmpty()) {
    fail_quiet(EINVAL, QStringLiteral("command is empty or holds a line break"));
    return fail_op(kFtpCommand);
  }
  return simple_command(utf8(text), kFtpCommand);
}

// ---- data connections ----------------------------------------------------------------------

bool FtpClient::open_data(const std::string& line, FtpReply& final_reply, bool& have_final) {
  have_final = false;
  sockaddr_in local{};
  socklen_t len = sizeof local;
  if (::getsockname(ctl_fd_, reinterpret_cast<sockaddr*>(&local), &len) != 0 ||
      local.sin_family != AF_INET) {
    fail_quiet(EAFNOSUPPORT, QStringLiteral("active mode needs an IPv4 control connection"));
    return false;
  }
  int lfd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (lfd < 0) {
    fail_socket(errno, QStringLiteral("opening the data port"));
    return false;
  }
  {
    std::lock_guard<std::mutex> l(mu_);
    listen_fd_ = lfd;
  }
  local.sin_port = 0;
  if (::bind(lfd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
      ::listen(lfd, 1) != 0 ||
      (len = sizeof local, ::getsockname(lfd, reinterpret_cast<sockaddr*>(&local), &len)) != 0) {
    fail_socket(errno, QStringLiteral("opening the data port"));
    return false;
  }
  uint32_t a = ntohl(local.sin_addr.s_addr);
  uint16_t p = ntohs(local.sin_port);
  std::string port_cmd = "PORT " + std::to_string((a >> 24) & 255) + "," +
                         std::to_string((a >> 16) & 255) + "," + std::to_string((a >> 8) & 255) +
                         "," + std::to_string(a & 255) + "," + std::to_string(p >> 8) + "," +
                         std::to_string(p & 255);
  FtpReply reply;
  if (!command(port_cmd, reply)) return false;
  if (reply.code < 200 || reply.code >= 300) {
    fail_reply(reply);
    return false;
  }
  if (!send_line(line, QString::fromUtf8(line.data(), qsizetype(line.size())))) return false;

  // The server may connect before or after its preliminary reply, and a short file may be
  // done, final reply included, before the data connection is even accepted.
  bool first = true;
  bool preliminary = false;
  bool accepted = false;
  int64_t dl = deadline(TimeOut);
  for (;;) {
    FtpReply r;
    FtpReplyReader::Result res;
    while ((res = take_reply(r)) == FtpReplyReader::Result::Reply) {
      if (first) {
        last_reply_line_ =
            scrub(QString::fromLatin1(r.first_line.data(), qsizetype(r.first_line.size())));
        first = false;
      }
      if (r.preliminary()) {
        preliminary = true;
      } else if (r.refused()) {
        fail_reply(r);
        return false;
      } else {
        final_reply = r;
        have_final = true;
      }
    }
    if (res == FtpReplyReader::Result::Malformed) return false;
    if (accepted && (preliminary || have_final)) return true;
    short rev_listen = 0, rev_ctl = 0;
    Wait w = accepted ? wait_fd(ctl_fd_, POLLIN, dl, -1, &rev_ctl)
                      : wait_fd(lfd, POLLIN, dl, ctl_fd_, &rev_listen, &rev_ctl);
    if (!wait_ok(w, QStringLiteral("opening the data connection"))) {
      if (w == Wait::Aborted) {
        abort_data(have_final);
      } else {
        lost_control();
      }
      return false;
    }
    if (!accepted && rev_listen) {
      sockaddr_in peer{};
      socklen_t plen = sizeof peer;
      int dfd =
          ::accept4(lfd, reinterpret_cast<sockaddr*>(&peer), &plen, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (dfd >= 0) {
        // Only the server itself may deliver or take the file.
        if (peer.sin_family != AF_INET || !same_host(peer, ctl_peer_)) {
          ::close(dfd);
        } else {
          std::lock_guard<std::mutex> l(mu_);
          data_fd_ = dfd;
          close_fd(listen_fd_);
          accepted = true;
        }
      }
    }
    if (rev_ctl && !receive_control()) return false;
  }
}

bool FtpClient::end_transfer(FtpReply& final_reply, bool have_final, int timeout_ms) {
  {
    std::lock_guard<std::mutex> l(mu_);
    close_fd(data_fd_);
  }
  if (!have_final) {
    do {
      if (!read_reply(final_reply, timeout_ms)) return false;
    } while (final_reply.preliminary());
  }
  if (final_reply.refused()) {
    fail_reply(final_reply);
    return false;
  }
  return true;
}

// The data connection closes, then "ABOR". A server answers it with 426 and 226 while the
// transfer ran, or first completes the transfer the closed connection ended (226) and then
// answers ABOR on its own (225 or 226); every such reply is read so the next command pairs with
// its own reply.
void FtpClient::abort_data(bool have_final) {
  abort_ = false;
  FtpError kept = error_;
  Quiet quiet(*this);
  struct Restore {
    FtpClient& c;
    FtpError& e;
    ~Restore() { c.error_ = e; }
  } restore{*this, kept};
  {
    std::lock_guard<std::mutex> l(mu_);
    close_fd(data_fd_);
    close_fd(listen_fd_);
  }
  FtpReply reply;
  if (!command("ABOR", reply)) return;
  if (reply.refused() || (reply.code == 226 && !have_final)) {
    FtpReply more;
    int64_t dl = deadline(reply.refused() ? TimeOut : 1000);
    for (;;) {
      FtpReplyReader::Result r = take_reply(more);
      if (r != FtpReplyReader::Result::NeedMore) break;
      short rev = 0;
      Wait w = wait_fd(ctl_fd_, POLLIN, dl, -1, &rev);
      if (w == Wait::TimedOut) {
        if (reply.refused()) lost_control();
        break;
      }
      if (w != Wait::Ready) break;
      if (!receive_control()) break;
    }
  }
}

// After a failed send or receive: the server's refusal, if it sends one, is the better reason.
void FtpClient::keep_send_error(FtpReply& final_reply, bool have_final) {
  FtpError kept = error_;
  Quiet quiet(*this);
  bool ok = end_transfer(final_reply, have_final, TimeOut);
  if (ok || error_.number < 400) error_ = kept;
}

bool FtpClient::download(const QString& remote_name, const QString& local_path) {
  Op op(*this);
  if (!op.ok || !require_connected()) return fail_op(kFtpDownload);
  if (unsafe_text(remote_name) || remote_name.isEmpty()) {
    fail_quiet(EINVAL, QStringLiteral("remote name is empty or holds a line break"));
    return fail_op(kFtpDownload);
  }
  QSaveFile file(local_path);
  if (!file.open(QIODevice::WriteOnly)) {
    fail_quiet(EIO, QStringLiteral("cannot create %1: %2").arg(local_path, file.errorString()));
    return fail_op(kFtpDownload);
  }
  bytes_total_ = 0;
  transferring_ = true;
  FtpReply final_reply;
  bool have_final = false;
  if (!open_data("RETR " + utf8(remote_name), final_reply, have_final)) {
    return fail_op(kFtpDownload);
  }
  std::vector<char> buf(kChunk);
  int64_t dl = deadline(TimeOut);
  for (;;) {
    ssize_t n = ::recv(data_fd_, buf.data(), buf.size(), 0);
    if (n > 0) {
      if (file.write(buf.data(), n) != n) {
        fail_quiet(EIO, QStringLiteral("cannot write %1: %2").arg(local_path, file.errorString()));
        abort_data(have_final);
        return fail_op(kFtpDownload);
      }
      bytes_total_ += n;
      if (events.OnPacketRecvd) events.OnPacketRecvd();
      dl = deadline(TimeOut);
      maybe_pump();
      if (cancel_ || abort_) {
        wait_ok(cancel_ ? Wait::Cancelled : Wait::Aborted, QString());
        if (!cancel_) abort_data(have_final);
        return fail_op(kFtpDownload);
      }
      continue;
    }
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      Wait w = wait_fd(data_fd_, POLLIN, dl);
      if (w == Wait::Ready) continue;
      wait_ok(w, QStringLiteral("receiving the file"));
      if (w != Wait::Cancelled) abort_data(have_final);
      return fail_op(kFtpDownload);
    }
    int err = errno;
    if (cancel_) {
      fail_quiet(ECANCELED, QStringLiteral("connection closed at once"));
    } else {
      fail_socket(err, QStringLiteral("receiving the file"));
      keep_send_error(final_reply, have_final);
    }
    return fail_op(kFtpDownload);
  }
  if (!end_transfer(final_reply, have_final, TimeOut)) return fail_op(kFtpDownload);
  if (!file.commit()) {
    fail_quiet(EIO, QStringLiteral("cannot save %1: %2").arg(local_path, file.errorString()));
    return fail_op(kFtpDownload);
  }
  return succeed(kFtpDownload);
}

bool FtpClient::upload(const QString& local_path, const QString& remote_name) {
  Op op(*this);
  if (!op.ok || !require_connected()) return fail_op(kFtpUpload);
  if (unsafe_text(remote_name) || remote_name.isEmpty()) {
    fail_quiet(EINVAL, QStringLiteral("remote name is empty or holds a line break"));
    return fail_op(kFtpUpload);
  }
  QByteArray path = local_path.toLocal8Bit();
  int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    int err = fd < 0 ? errno : EINVAL;
    if (fd >= 0) ::close(fd);
    fail_quiet(err, QStringLiteral("cannot read %1: %2").arg(local_path, errno_text(err)));
    return fail_op(kFtpUpload);
  }
  struct Running {
    FtpClient& c;
    int fd;
    ~Running() {
      c.upload_running_ = false;
      ::close(fd);
    }
  } running{*this, fd};
  bytes_total_ = int64_t(st.st_size);
  bytes_sent_ = 0;
  ++uploads_started_;
  upload_running_ = true;
  transferring_ = true;

  FtpReply final_reply;
  bool have_final = false;
  if (!open_data("STOR " + utf8(remote_name), final_reply, have_final)) {
    return fail_op(kFtpUpload);
  }
  bool use_sendfile = true;
  std::vector<char> buf;
  size_t buf_len = 0, buf_off = 0;
  off_t offset = 0;
  int64_t dl = deadline(UploadTimeOut);
  for (;;) {
    if (cancel_ || abort_) {
      wait_ok(cancel_ ? Wait::Cancelled : Wait::Aborted, QString());
      if (!cancel_) abort_data(have_final);
      return fail_op(kFtpUpload);
    }
    ssize_t n;
    if (use_sendfile) {
      n = ::sendfile(data_fd_, fd, &offset, kChunk);
      if (n < 0 && (errno == EINVAL || errno == ENOSYS)) {
        use_sendfile = false;
        if (::lseek(fd, offset, SEEK_SET) < 0) {
          fail_quiet(errno, QStringLiteral("cannot read %1").arg(local_path));
          abort_data(have_final);
          return fail_op(kFtpUpload);
        }
        buf.resize(kChunk);
        continue;
      }
      if (n == 0) break;
    } else {
      if (buf_off == buf_len) {
        ssize_t r = ::read(fd, buf.data(), buf.size());
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) {
          fail_quiet(errno,
                     QStringLiteral("cannot read %1: %2").arg(local_path, errno_text(errno)));
          abort_data(have_final);
          return fail_op(kFtpUpload);
        }
        if (r == 0) break;
        buf_len = size_t(r);
        buf_off = 0;
      }
      n = ::send(data_fd_, buf.data() + buf_off, buf_len - buf_off, MSG_NOSIGNAL);
      if (n > 0) buf_off += size_t(n);
    }
    if (n > 0) {
      bytes_sent_ += n;
      dl = deadline(UploadTimeOut);
      maybe_pump();
      continue;
    }
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) {
      Wait w = wait_fd(data_fd_, POLLOUT, dl);
      if (w == Wait::Ready) continue;
      if (w == Wait::Cancelled || w == Wait::Aborted) continue;  // handled at the loop's top
      wait_ok(w, QStringLiteral("sending the file"));
      abort_data(have_final);
      return fail_op(kFtpUpload);
    }
    int err = errno;
    if (cancel_) continue;
    // The server closed the data connection early; its reply, if any, says why.
    fail_socket(err, QStringLiteral("sending the file"));
    keep_send_error(final_reply, have_final);
    return fail_op(kFtpUpload);
  }
  if (!end_transfer(final_reply, have_final, UploadTimeOut)) return fail_op(kFtpUpload);
  return succeed(kFtpUpload);
}

}  // namespace lumo
