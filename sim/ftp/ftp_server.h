#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The simulated device's FTP server on 127.0.0.1: login as "admin", "syst" in the firmware or
// the ROM-mode layout, the directories "/" and "/usr", TYPE, PORT (active mode only), RETR and
// STOR of the files in its folder, QUIT, and faults on request. Commands are taken in any case.
// One control connection is served at a time, on the server's own thread.

namespace lumo::sim {

struct FtpServerOptions {
  uint16_t port = 0;  // 0: a free port, reported by start()
  std::string dir;    // the device's files: "/" is `dir`, "/usr" is `dir`/usr
  std::string user = "admin";
  std::string password = "admin";
  bool rom_mode = false;            // "syst" in the ROM-mode layout
  std::string version = "V01.00A";  // firmware layout: the 7 characters from position 21
  std::string syst_line;            // when set, the whole "syst" reply line, as given
  bool usr_absent = false;          // no "/usr" (CWD /usr answered 550)
  bool multiline = false;           // greeting, login and "syst" answered with multi-line replies

  // Faults.
  bool refuse_login = false;  // every PASS answered 530
  std::string refuse_dir;     // CWD into this directory ("/", "/usr") answered 550
  int64_t stall_after = -1;   // STOR stops reading the data connection after this many bytes
  std::string drop_after;     // the control connection closes after the reply to this command
  std::string drop_on;        // ... or on receiving this command, without a reply
};

// The "syst" reply line of the options: "215 UNIX Type: L8" padded so that the version starts
// at position 21 (counting from 1 at the reply code), or "215 ZNX27KQ ROM MODE" with "ROM MODE"
// at positions 13 to 20.
std::string syst_reply_line(const FtpServerOptions& options);

class FtpServer {
 public:
  explicit FtpServer(FtpServerOptions options);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  // Listens on 127.0.0.1 and starts serving; creates `dir`/usr unless usr_absent. The port
  // listened on, 0 when it could not start.
  uint16_t start();
  // Closes every connection and waits for the server's thread. Idempotent.
  void stop();
  uint16_t port() const { return port_; }

  // Every command line received, in order, as sent (the PASS argument included).
  std::vector<std::string> commands() const;
  // Control connections accepted so far.
  int sessions() const { return sessions_.load(); }

 private:
  class Session;
  void run();

  FtpServerOptions opt_;
  int listen_fd_ = -1;
  int stop_fd_ = -1;
  uint16_t port_ = 0;
  std::thread thread_;
  std::atomic<int> sessions_{0};
  mutable std::mutex mu_;
  std::vector<std::string> commands_;
};

}  // namespace lumo::sim
