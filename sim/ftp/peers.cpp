#include "sim/ftp/peers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace lumo::sim {

namespace {

namespace fs = std::filesystem;

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Starts `argv` in a new process group, stdin /dev/null, stdout and stderr into `out_path`.
pid_t spawn(const std::vector<std::string>& argv, const std::string& out_path) {
  std::string program = argv.empty() ? std::string() : find_program(argv[0]);
  if (program.empty()) return -1;
  posix_spawn_file_actions_t fa;
  posix_spawnattr_t attr;
  posix_spawn_file_actions_init(&fa);
  posix_spawnattr_init(&attr);
  posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&fa, 1, 2);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, program.c_str(), &fa, &attr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&fa);
  posix_spawnattr_destroy(&attr);
  return pid;
}

// Waits for `pid` up to `timeout_ms` (-1: no limit). Its wait status, or -1 when still running.
int wait_for(pid_t pid, int timeout_ms) {
  int64_t end = now_ms() + timeout_ms;
  for (;;) {
    int st = 0;
    pid_t r = ::waitpid(pid, &st, WNOHANG);
    if (r == pid) return st;
    if (r < 0 && errno != EINTR) return 0;
    if (timeout_ms >= 0 && now_ms() >= end) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

// Ends the group of a child started here, then reaps the child. The group is killed while the
// child is still unreaped, so its number cannot have passed to another process.
void end_group(pid_t pid) {
  ::kill(-pid, SIGTERM);
  int64_t end = now_ms() + 2000;
  for (;;) {
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0 && errno != EINTR)
      break;
    if (info.si_pid == pid || now_ms() >= end) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(-pid, SIGKILL);  // the child, if still there, and session processes it left
  wait_for(pid, -1);
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

bool accepts(uint16_t port) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

std::string find_program(const std::string& name) {
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  std::string dirs = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  dirs += ":/usr/sbin:/sbin:/usr/local/sbin";
  std::stringstream ss(dirs);
  std::string d;
  while (std::getline(ss, d, ':')) {
    if (d.empty()) continue;
    std::string p = d + "/" + name;
    if (::access(p.c_str(), X_OK) == 0) return p;
  }
  return "";
}

uint16_t free_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  uint16_t port = 0;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
    port = ntohs(a.sin_port);
  ::close(fd);
  return port;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string tmpl = std::string(base && *base ? base : "/tmp") + "/lumo-ftp-XXXXXX";
  std::vector<char> buf(tmpl.begin(), tmpl.end());
  buf.push_back('\0');
  if (::mkdtemp(buf.data())) path_ = buf.data();
}

TempDir::~TempDir() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
}

int run_program(const std::vector<std::string>& argv, std::string* output, int timeout_ms) {
  TempDir tmp;
  std::string out_path = tmp.path() + "/output";
  pid_t pid = spawn(argv, out_path);
  if (pid < 0) return -1;
  int st = wait_for(pid, timeout_ms);
  if (st == -1) {
    end_group(pid);
    if (output) *output = read_all(out_path);
    return -1;
  }
  if (output) *output = read_all(out_path);
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

Vsftpd::~Vsftpd() { stop(); }

void Vsftpd::stop() {
  if (pid_ > 0) end_group(pid_);
  pid_ = -1;
}

std::string Vsftpd::output() const { return read_all(dir_ + "/vsftpd.out"); }

bool Vsftpd::start(const std::string& dir, std::string* error) {
  std::string binary = find_program("vsftpd");
  if (binary.empty()) {
    if (error) *error = "vsftpd is not installed";
    return false;
  }
  dir_ = dir;
  std::error_code ec;
  fs::create_directories(root() + "/up", ec);
  fs::create_directories(dir_ + "/empty", ec);
  // vsftpd refuses a writable root for anonymous users; the upload folder is open to all.
  ::chmod(dir_.c_str(), 0755);
  ::chmod((dir_ + "/empty").c_str(), 0755);
  ::chmod(root().c_str(), 0755);
  ::chmod(upload_dir().c_str(), 0777);
  // The anonymous user's home must exist: Debian's package makes "ftp" with /srv/ftp.
  std::string anon_user = "ftp";
  if (const passwd* pw = ::getpwnam("ftp"); !pw || ::access(pw->pw_dir, X_OK) != 0)
    anon_user = "nobody";
  for (int attempt = 0; attempt < 3; ++attempt) {
    port_ = free_port();
    std::ofstream conf(dir_ + "/vsftpd.conf", std::ios::trunc);
    conf << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
         << "listen_port=" << port_ << "\n"
         << "background=NO\nseccomp_sandbox=NO\n"
         << "pasv_enable=NO\nport_enable=YES\nconnect_from_port_20=NO\n"
         << "anonymous_enable=YES\nno_anon_password=YES\nlocal_enable=NO\n"
         << "write_enable=YES\nanon_upload_enable=YES\nanon_other_write_enable=YES\n"
         << "anon_umask=022\nanon_root=" << root() << "\n"
         << "ftp_username=" << anon_user << "\nnopriv_user=nobody\n"
         << "secure_chroot_dir=" << dir_ << "/empty\n"
         << "delay_failed_login=0\nmax_per_ip=0\nmax_clients=0\n"
         << "xferlog_enable=NO\ndirmessage_enable=NO\nuse_localtime=NO\n";
    if (::geteuid() != 0) conf << "run_as_launching_user=YES\n";
    conf.close();
    pid_ = spawn({binary, dir_ + "/vsftpd.conf"}, dir_ + "/vsftpd.out");
    if (pid_ < 0) {
      if (error) *error = "vsftpd could not be started";
      return false;
    }
    int64_t end = now_ms() + 5000;
    while (now_ms() < end) {
      if (accepts(port_)) return true;
      if (wait_for(pid_, 0) != -1) {  // it ended: the port was taken, or it refused
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stop();
  }
  if (error) *error = "vsftpd would not start: " + output();
  return false;
}

}  // namespace lumo::sim
