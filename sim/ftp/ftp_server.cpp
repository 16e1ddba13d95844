#include "sim/ftp/ftp_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace lumo::sim {

namespace {

constexpr size_t kMaxLine = 4096;
constexpr int kDataConnectMs = 5000;
constexpr size_t kChunk = 64 * 1024;

std::string upper(std::string s) {
  for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A file name inside the current directory: no path, no "." or "..".
bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

// "/", "/usr", "usr", "..", "/usr/.." ... against `cwd`; "" when it leaves the root.
std::string resolve_dir(const std::string& cwd, const std::string& arg) {
  std::vector<std::string> parts;
  std::string path = (!arg.empty() && arg[0] == '/') ? arg : cwd + "/" + arg;
  size_t i = 0;
  while (i <= path.size()) {
    size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (parts.empty()) return "";
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  return out.empty() ? "/" : out;
}

}  // namespace

std::string syst_reply_line(const FtpServerOptions& o) {
  if (!o.syst_line.empty()) return o.syst_line;
  if (o.rom_mode) return "215 ZNX27KQ ROM MODE";
  std::string line = "215 UNIX Type: L8";
  line.resize(20, ' ');  // positions 1 to 20
  return line + o.version + " ZNX27KQ";
}

// One control connection, served to its end on the server's thread.
class FtpServer::Session {
 public:
  Session(FtpServer& server, int fd) : srv_(server), opt_(server.opt_), fd_(fd) {
    socklen_t len = sizeof peer_;
    ::getpeername(fd_, reinterpret_cast<sockaddr*>(&peer_), &len);
  }

  void serve() {
    if (opt_.multiline) {
      reply("220-ZORVEL 2700KQ FTP server\r\n220-\r\n220 Ready.");
    } else {
      reply("220 ZORVEL 2700KQ FTP server ready.");
    }
    std::string line;
    while (!closed_ && next_line(line)) {
      {
        std::lock_guard<std::mutex> l(srv_.mu_);
        srv_.commands_.push_back(line);
      }
      size_t sp = line.find(' ');
      std::string verb = upper(line.substr(0, sp));
      std::string arg = sp == std::string::npos ? "" : line.substr(sp + 1);
      if (!opt_.drop_on.empty() && verb == upper(opt_.drop_on)) return;
      handle(verb, arg);
      if (!opt_.drop_after.empty() && verb == upper(opt_.drop_after)) return;
    }
  }

 private:
  // ---- control connection ----

  void reply(const std::string& text) {
    std::string out = text + "\r\n";
    size_t done = 0;
    while (done < out.size()) {
      ssize_t n = ::send(fd_, out.data() + done, out.size() - done, MSG_NOSIGNAL);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        closed_ = true;
        return;
      }
      done += size_t(n);
    }
  }

  // Reads what has arrived on the control connection into inbuf_; false on close or stop.
  bool fill(int timeout_ms) {
    pollfd p[2] = {{fd_, POLLIN, 0}, {srv_.stop_fd_, POLLIN, 0}};
    int rc = ::poll(p, 2, timeout_ms);
    if (rc < 0) return errno == EINTR;
    if (p[1].revents) return false;
    if (!p[0].revents) return true;
    char buf[4096];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n <= 0) return n < 0 && errno == EINTR;
    inbuf_.append(buf, size_t(n));
    return true;
  }

  bool take_line(std::string& line) {
    size_t nl = inbuf_.find('\n');
    if (nl == std::string::npos) {
      if (inbuf_.size() > kMaxLine) inbuf_.clear();  // a line that long is nobody's command
      return false;
    }
    line = inbuf_.substr(0, nl);
    inbuf_.erase(0, nl + 1);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.size() > kMaxLine) line.resize(kMaxLine);
    return true;
  }

  bool next_line(std::string& line) {
    while (!take_line(line)) {
      if (!fill(-1)) return false;
    }
    return true;
  }

  // ---- commands ----

  void handle(const std::string& verb, const std::string& arg) {
    if (verb == "USER") {
      user_ = arg;
      logged_in_ = false;
      reply("331 Password required for " + arg + ".");
    } else if (verb == "PASS") {
      if (!opt_.refuse_login && user_ == opt_.user && arg == opt_.password) {
        logged_in_ = true;
        reply(opt_.multiline ? "230-Welcome to ZORVEL.\r\n230 User " + user_ + " logged in."
                             : "230 User " + user_ + " logged in.");
      } else {
        reply("530 Login incorrect.");
      }
    } else if (verb == "QUIT") {
      reply("221 Goodbye.");
      closed_ = true;
    } else if (verb == "NOOP") {
      reply("200 NOOP command successful.");
    } else if (!logged_in_) {
      reply("530 Please login with USER and PASS.");
    } else if (verb == "SYST") {
      std::string line = syst_reply_line(opt_);
      if (opt_.multiline && line.size() > 3) {
        // Lines that look like other replies must not end it early.
        reply(line.substr(0, 3) + "-" + line.substr(4) +
              "\r\n200 not the end\r\n 215 indented\r\n" + line.substr(0, 3) + " End of status.");
      } else {
        reply(line);
      }
    } else if (verb == "PWD" || verb == "XPWD") {
      reply("257 \"" + cwd_ + "\" is the current directory.");
    } else if (verb == "CWD" || verb == "CDUP") {
      change_dir(verb == "CDUP" ? ".." : arg);
    } else if (verb == "TYPE") {
      std::string t = upper(arg);
      if (t == "I" || t == "L 8" || t == "A" || t == "A N") {
        reply("200 Type set to " + t.substr(0, 1) + ".");
      } else {
        reply("504 Type " + arg + " not implemented.");
      }
    } else if (verb == "PORT") {
      set_port(arg);
    } else if (verb == "SIZE") {
      struct stat st {};
      std::string path = file_path(arg);
      if (!path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        reply("213 " + std::to_string(st.st_size));
      } else {
        reply("550 " + arg + ": No such file or directory.");
      }
    } else if (verb == "RETR") {
      retrieve(arg);
    } else if (verb == "STOR") {
      store(arg);
    } else if (verb == "ABOR") {
      reply("225 No transfer to abort.");
    } else {
      reply("502 Command not implemented.");
    }
  }

  bool dir_exists(const std::string& d) const {
    return d == "/" || (d == "/usr" && !opt_.usr_absent);
  }

  void change_dir(const std::string& arg) {
    std::string d = resolve_dir(cwd_, arg);
    if (d.empty() || !dir_exists(d) || d == opt_.refuse_dir) {
      reply("550 " + arg + ": No such file or directory.");
      return;
    }
    cwd_ = d;
    reply("250 CWD command successful.");
  }

  std::string file_path(const std::string& name) const {
    if (!plain_name(name)) return "";
    return opt_.dir + (cwd_ == "/" ? std::string() : cwd_) + "/" + name;
  }

  void set_port(const std::string& arg) {
    unsigned v[6];
    char tail;
    if (std::sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5],
                    &tail) != 6) {
      reply("501 Illegal PORT command.");
      return;
    }
    for (unsigned x : v) {
      if (x > 255) {
        reply("501 Illegal PORT command.");
        return;
      }
    }
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl((v[0] << 24) | (v[1] << 16) | (v[2] << 8) | v[3]);
    a.sin_port = htons(uint16_t((v[4] << 8) | v[5]));
    // Data goes only to the client itself, never to a third host.
    if (a.sin_addr.s_addr != peer_.sin_addr.s_addr || a.sin_port == 0) {
      reply("500 Illegal PORT command.");
      return;
    }
    data_addr_ = a;
    have_port_ = true;
    reply("200 PORT command successful.");
  }

  int connect_data() {
    if (!have_port_) return -1;
    have_port_ = false;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&data_addr_), sizeof data_addr_) != 0) {
      if (errno != EINPROGRESS) {
        ::close(fd);
        return -1;
      }
      pollfd p[2] = {{fd, POLLOUT, 0}, {srv_.stop_fd_, POLLIN, 0}};
      int err = 0;
      socklen_t len = sizeof err;
      if (::poll(p, 2, kDataConnectMs) <= 0 || p[1].revents ||
          ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
        ::close(fd);
        return -1;
      }
    }
    return fd;
  }

  // During a transfer: looks at the control connection. 1 ABOR received, -1 closed or stopped,
  // 0 nothing for the transfer (other commands wait their turn).
  int control_event(short revents) {
    if (!revents) return 0;
    if (!fill(0)) return -1;
    size_t nl = inbuf_.find('\n');
    if (nl == std::string::npos) return 0;
    std::string first = upper(inbuf_.substr(0, nl));
    while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.pop_back();
    // Telnet IP and Synch may come before it.
    size_t at = first.find("ABOR");
    if (at == std::string::npos || at + 4 != first.size()) return 0;
    std::string line;
    take_line(line);
    {
      std::lock_guard<std::mutex> l(srv_.mu_);
      srv_.commands_.push_back(line);
    }
    return 1;
  }

  // One wait of a transfer on its data connection (`data` -1: only the control connection and
  // the stop request are watched).
  enum class DataWait { Ready, Idle, Closed, Aborted, Failed };
  DataWait wait_data(int data, short events) {
    pollfd p[3] = {{data, events, 0}, {fd_, POLLIN, 0}, {srv_.stop_fd_, POLLIN, 0}};
    if (::poll(p, 3, -1) < 0 && errno != EINTR) return DataWait::Failed;
    if (p[2].revents) return DataWait::Closed;
    const int ev = control_event(p[1].revents);
    if (ev < 0) return DataWait::Closed;
    if (ev > 0) return DataWait::Aborted;
    return p[0].revents ? DataWait::Ready : DataWait::Idle;
  }

  void aborted(int data_fd) {
    ::close(data_fd);
    reply("426 Connection closed; transfer aborted.\r\n226 Abort successful.");
  }

  void retrieve(const std::string& name) {
    std::string path = file_path(name);
    int file = path.empty() ? -1 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (file < 0 || ::fstat(file, &st) != 0 || !S_ISREG(st.st_mode)) {
      if (file >= 0) ::close(file);
      reply("550 " + name + ": No such file or directory.");
      return;
    }
    if (!have_port_) {
      ::close(file);
      reply("425 Use PORT first.");
      return;
    }
    reply("150 Opening BINARY mode data connection for " + name + " (" +
          std::to_string(st.st_size) + " bytes).");
    int data = connect_data();
    if (data < 0) {
      ::close(file);
      reply("425 Cannot open data connection.");
      return;
    }
    std::vector<char> buf(kChunk);
    size_t len = 0, off = 0;
    bool ok = true;
    for (;;) {
      if (off == len) {
        ssize_t r = ::read(file, buf.data(), buf.size());
        if (r <= 0) {
          ok = r == 0;
          break;
        }
        len = size_t(r);
        off = 0;
      }
      const DataWait w = wait_data(data, POLLOUT);
      if (w == DataWait::Failed) {
        ok = false;
        break;
      }
      if (w == DataWait::Closed) {
        closed_ = true;
        break;
      }
      if (w == DataWait::Aborted) {
        ::close(file);
        aborted(data);
        return;
      }
      if (w == DataWait::Idle) continue;
      ssize_t n = ::send(data, buf.data() + off, len - off, MSG_NOSIGNAL);
      if (n > 0) {
        off += size_t(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        ok = false;
        break;
      }
    }
    ::close(file);
    ::close(data);
    if (closed_) return;
    reply(ok ? "226 Transfer complete." : "426 Connection closed; transfer aborted.");
  }

  void store(const std::string& name) {
    std::string path = file_path(name);
    if (path.empty()) {
      reply("553 " + name + ": Permission denied.");
      return;
    }
    if (!have_port_) {
      reply("425 Use PORT first.");
      return;
    }
    int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
      reply("553 " + name + ": " + std::strerror(errno));
      return;
    }
    reply("150 Opening BINARY mode data connection for " + name + ".");
    int data = connect_data();
    if (data < 0) {
      ::close(file);
      reply("425 Cannot open data connection.");
      return;
    }
    std::vector<char> buf(kChunk);
    int64_t got = 0;
    bool ok = true;
    for (;;) {
      bool stalled = opt_.stall_after >= 0 && got >= opt_.stall_after;
      const DataWait w = wait_data(stalled ? -1 : data, POLLIN);
      if (w == DataWait::Failed) {
        ok = false;
        break;
      }
      if (w == DataWait::Closed) {
        closed_ = true;
        break;
      }
      if (w == DataWait::Aborted) {
        ::close(file);
        aborted(data);
        return;
      }
      if (w == DataWait::Idle) continue;
      size_t want = buf.size();
      if (opt_.stall_after >= 0 && int64_t(want) > opt_.stall_after - got)
        want = size_t(opt_.stall_after - got);
      ssize_t n = ::recv(data, buf.data(), want, 0);
      if (n == 0) break;
      if (n < 0) {
        if (errno == EAGAIN || errno == EINTR) continue;
        ok = false;
        break;
      }
      if (::write(file, buf.data(), size_t(n)) != n) {
        ok = false;
        break;
      }
      got += n;
    }
    ::close(file);
    ::close(data);
    if (closed_) return;
    reply(ok ? "226 Transfer complete." : "451 Transfer failed.");
  }

  FtpServer& srv_;
  const FtpServerOptions& opt_;
  int fd_;
  sockaddr_in peer_{};
  std::string inbuf_;
  std::string user_;
  std::string cwd_ = "/";
  bool logged_in_ = false;
  bool closed_ = false;
  bool have_port_ = false;
  sockaddr_in data_addr_{};
};

FtpServer::FtpServer(FtpServerOptions options) : opt_(std::move(options)) {}

FtpServer::~FtpServer() { stop(); }

uint16_t FtpServer::start() {
  if (thread_.joinable()) return port_;
  if (!opt_.usr_absent) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(opt_.dir) / "usr", ec);
  }
  stop_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (stop_fd_ < 0 || listen_fd_ < 0) {
    stop();
    return 0;
  }
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(opt_.port);
  socklen_t len = sizeof a;
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::listen(listen_fd_, 8) != 0 ||
      ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
    stop();
    return 0;
  }
  port_ = ntohs(a.sin_port);
  thread_ = std::thread([this] { run(); });
  return port_;
}

void FtpServer::stop() {
  if (stop_fd_ >= 0) {
    uint64_t one = 1;
    (void)!::write(stop_fd_, &one, sizeof one);
  }
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (stop_fd_ >= 0) ::close(stop_fd_);
  listen_fd_ = stop_fd_ = -1;
}

std::vector<std::string> FtpServer::commands() const {
  std::lock_guard<std::mutex> l(mu_);
  return commands_;
}

void FtpServer::run() {
  for (;;) {
    pollfd p[2] = {{listen_fd_, POLLIN, 0}, {stop_fd_, POLLIN, 0}};
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (p[1].revents) return;
    if (!p[0].revents) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++sessions_;
    Session(*this, fd).serve();
    ::close(fd);
  }
}

}  // namespace lumo::sim
