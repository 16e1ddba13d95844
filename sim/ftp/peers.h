#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

// Real FTP peers written by others, started on 127.0.0.1 by the tests and the benchmark: vsftpd
// as a server, curl as a client. Every process started here runs in a process group of its own
// and is ended through that group by the object that started it.

namespace lumo::sim {

// The full path of an installed program ("" when missing): the PATH, then /usr/sbin and /sbin.
std::string find_program(const std::string& name);

// A TCP port on 127.0.0.1 that was free a moment ago.
uint16_t free_port();

// A fresh private folder under $TMPDIR (or /tmp), removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Runs `argv` to its end with stdin from /dev/null, stdout and stderr into `output` (may be
// null). Its exit status; -1 when it could not start, was killed, or outlived `timeout_ms` (then
// its group is killed).
int run_program(const std::vector<std::string>& argv, std::string* output, int timeout_ms);

// vsftpd in the foreground with a configuration of its own: listen_address 127.0.0.1, a high
// port, anonymous login only (no password asked, local users refused), active mode only (no
// PASV, PORT data connections not from port 20), the served root `root()` not writable and its
// "/up" (`upload_dir()`) open for uploads and overwrites.
class Vsftpd {
 public:
  Vsftpd() = default;
  ~Vsftpd();
  Vsftpd(const Vsftpd&) = delete;
  Vsftpd& operator=(const Vsftpd&) = delete;

  // Writes the configuration under `dir`, starts vsftpd and waits until it accepts connections.
  // False with `error` when the binary is missing or it would not start.
  bool start(const std::string& dir, std::string* error);
  void stop();

  uint16_t port() const { return port_; }
  std::string root() const { return dir_ + "/root"; }
  std::string upload_dir() const { return dir_ + "/root/up"; }
  // What vsftpd wrote to stdout and stderr so far.
  std::string output() const;

 private:
  pid_t pid_ = -1;
  uint16_t port_ = 0;
  std::string dir_;
};

}  // namespace lumo::sim
