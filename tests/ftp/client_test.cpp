// The client against the simulated device's FTP server on 127.0.0.1.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <memory>
#include <ostream>
#include <thread>

#include "ftp/ftp_client.h"
#include "session/clock.h"
#include "sim/ftp/ftp_server.h"
#include "sim/ftp/peers.h"
#include "support.h"

namespace lumo {
namespace {

using namespace std::chrono_literals;
using test::q;
using test::random_bytes;
using test::read_file;
using test::Recorder;
using test::write_file;

constexpr const char* kPassword = "Zq7-secret!";

int64_t ms_since(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t)
      .count();
}

class SimFtp : public ::testing::Test {
 protected:
  void start(sim::FtpServerOptions o = {}) {
    o.dir = dev_.path();
    o.password = kPassword;
    server_ = std::make_unique<sim::FtpServer>(o);
    port_ = server_->start();
    ASSERT_NE(port_, 0);
    client_.Host = q("127.0.0.1:" + std::to_string(port_));
    client_.UserID = "admin";
    client_.Password = kPassword;
    client_.TimeOut = 10000;
    rec_.install(client_);
  }
  void login() {
    ASSERT_TRUE(client_.connect()) << client_.last_error().text.toStdString();
    rec_.take();
  }
  std::vector<std::string> sent() const { return server_->commands(); }
  bool sent_verb(const std::string& verb) const {
    for (const std::string& c : sent()) {
      if (c.rfind(verb, 0) == 0) return true;
    }
    return false;
  }
  std::string local(const std::string& name) const { return pc_.path() + "/" + name; }

  sim::TempDir dev_;  // the device's files
  sim::TempDir pc_;   // the PC's files
  RealClock clock_;
  FtpClient client_{clock_};
  Recorder rec_;
  std::unique_ptr<sim::FtpServer> server_;
  uint16_t port_ = 0;
};

// ---- login ---------------------------------------------------------------------------------

TEST_F(SimFtp, LoginSendsUserThenPassAndRaisesOnConnect) {
  start();
  ASSERT_TRUE(client_.connect());
  EXPECT_TRUE(client_.connected());
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Connect"}));
  EXPECT_EQ(sent(), (std::vector<std::string>{"USER admin", std::string("PASS ") + kPassword}));
  EXPECT_TRUE(client_.last_reply_line().startsWith("230 "));
}

TEST_F(SimFtp, WrongPasswordIsRefusedThenTheRightOneLogsIn) {
  start();
  client_.Password = "wrong";
  EXPECT_FALSE(client_.connect());
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(client_.last_error().number, 530);
  EXPECT_EQ(client_.last_error().text, "530 Login incorrect.");
  client_.close_at_once();
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"ConnectionFailed", "Disconnect"}));

  client_.Password = kPassword;
  ASSERT_TRUE(client_.connect());
  EXPECT_TRUE(client_.connected());
  EXPECT_EQ(server_->sessions(), 2);
}

TEST_F(SimFtp, RefusedLoginFaultFailsEvenWithTheRightPassword) {
  sim::FtpServerOptions o;
  o.refuse_login = true;
  start(o);
  EXPECT_FALSE(client_.connect());
  EXPECT_EQ(client_.last_error().number, 530);
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"ConnectionFailed"}));
}

TEST_F(SimFtp, ClosedPortIsRefusedWithASocketError) {
  start();
  client_.Host = q("127.0.0.1:" + std::to_string(sim::free_port()));
  EXPECT_FALSE(client_.connect());
  EXPECT_EQ(client_.last_error().number, ECONNREFUSED);
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Error " + std::to_string(ECONNREFUSED),
                                                   "ConnectionFailed"}));
}

TEST_F(SimFtp, SilentServerTimesOutInDeviceTime) {
  // A listener that never greets: the handshake completes in the kernel, the greeting never
  // comes. 10000 device ms at 50 times speed is 200 real ms.
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ASSERT_EQ(::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len), 0);
  ScaledClock fast(50);
  FtpClient c(fast);
  Recorder rec;
  rec.install(c);
  int pumps = 0;
  c.pump = [&] { ++pumps; };
  c.Host = q("127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  c.UserID = "admin";
  c.TimeOut = 10000;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(c.connect());
  EXPECT_LT(ms_since(t0), 2000);
  EXPECT_EQ(c.last_error().number, ETIMEDOUT);
  EXPECT_GT(pumps, 3);  // the window kept being served while it waited
  EXPECT_EQ(rec.take(),
            (std::vector<std::string>{"Error " + std::to_string(ETIMEDOUT), "ConnectionFailed"}));
  ::close(fd);
}

TEST_F(SimFtp, HostBoxTakesHostColonPortAndRejectsBadOnesWithoutConnecting) {
  start();
  client_.Port = 21;  // the host box's port wins
  ASSERT_TRUE(client_.connect());
  client_.close_at_once();
  for (const char* bad : {"", "   ", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:x21",
                          "127.0.0.1:", "[::1", "127.0.0.1\r\nPASS x"}) {
    client_.Host = bad;
    EXPECT_FALSE(client_.connect()) << bad;
    EXPECT_EQ(client_.last_error().number, EINVAL) << bad;
  }
  EXPECT_EQ(server_->sessions(), 1);
}

TEST_F(SimFtp, ConnectWhileConnectedFailsAndKeepsTheSession) {
  start();
  login();
  EXPECT_FALSE(client_.connect());
  EXPECT_EQ(client_.last_error().number, EISCONN);
  EXPECT_TRUE(client_.connected());
  EXPECT_TRUE(client_.image_type());
}

// ---- syst ----------------------------------------------------------------------------------

struct SystCase {
  const char* name;
  bool rom;
  bool multiline;
};

std::ostream& operator<<(std::ostream& o, const SystCase& c) { return o << c.name; }

class SimSyst : public SimFtp, public ::testing::WithParamInterface<SystCase> {};

TEST_P(SimSyst, ReplyLineHoldsTheLayoutAtItsPositions) {
  sim::FtpServerOptions o;
  o.rom_mode = GetParam().rom;
  o.multiline = GetParam().multiline;
  o.version = "V02.31b";
  start(o);
  login();
  ASSERT_TRUE(client_.raw_command("syst"));
  EXPECT_EQ(sent().back(), "syst");  // as written, lower case
  QString line = client_.last_reply_line();
  ASSERT_GE(line.size(), 20);
  EXPECT_TRUE(line.startsWith("215"));
  // Positions count from 1 at the first digit of the reply code.
  if (GetParam().rom) {
    EXPECT_EQ(line.mid(12, 8), "ROM MODE") << line.toStdString();
    EXPECT_TRUE(line.size() <= 20 || line.at(20) != QChar('V'));
  } else {
    EXPECT_EQ(line.at(20), QChar('V')) << line.toStdString();
    EXPECT_EQ(line.at(23), QChar('.')) << line.toStdString();
    EXPECT_EQ(line.mid(20, 7), "V02.31b");
  }
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Success 14"}));
}

INSTANTIATE_TEST_SUITE_P(Layouts, SimSyst,
                         ::testing::Values(SystCase{"Firmware", false, false},
                                           SystCase{"Rom", true, false},
                                           SystCase{"FirmwareMultiLine", false, true},
                                           SystCase{"RomMultiLine", true, true}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST(SystLine, PaddingPutsVersionAndRomMarkerInPlace) {
  sim::FtpServerOptions o;
  o.version = "V01.00A";
  std::string line = sim::syst_reply_line(o);
  EXPECT_EQ(line.substr(0, 20), "215 UNIX Type: L8   ");
  EXPECT_EQ(line.substr(20, 7), "V01.00A");
  o.rom_mode = true;
  EXPECT_EQ(sim::syst_reply_line(o).substr(12, 8), "ROM MODE");
}

// ---- commands ------------------------------------------------------------------------------

struct DirCase {
  const char* name;
  bool usr_absent;
  std::string refuse_dir;
  std::string path;
  bool ok;
};

std::ostream& operator<<(std::ostream& o, const DirCase& c) { return o << c.name; }

class SimDir : public SimFtp, public ::testing::WithParamInterface<DirCase> {};

TEST_P(SimDir, ChangeDirSucceedsOrFailsOnTheRefusal) {
  const DirCase& c = GetParam();
  sim::FtpServerOptions o;
  o.usr_absent = c.usr_absent;
  o.refuse_dir = c.refuse_dir;
  start(o);
  login();
  EXPECT_EQ(client_.change_dir(q(c.path)), c.ok);
  EXPECT_EQ(sent().back(), "CWD " + c.path);
  if (c.ok) {
    EXPECT_EQ(client_.last_error().number, 0);
    EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Success 0"}));
  } else {
    EXPECT_EQ(client_.last_error().number, 550);
    EXPECT_TRUE(client_.last_reply_line().startsWith("550 "));
    EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Failure 0"}));
  }
  EXPECT_TRUE(client_.connected());  // a refusal keeps the session
}

INSTANTIATE_TEST_SUITE_P(Dirs, SimDir,
                         ::testing::Values(DirCase{"Root", false, "", "/", true},
                                           DirCase{"Usr", false, "", "/usr", true},
                                           DirCase{"UsrAbsent", true, "", "/usr", false},
                                           DirCase{"RootRefused", false, "/", "/", false},
                                           DirCase{"Elsewhere", false, "", "/etc", false}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(SimFtp, ImageTypeSendsTypeI) {
  start();
  login();
  ASSERT_TRUE(client_.image_type());
  EXPECT_EQ(sent().back(), "TYPE I");
  EXPECT_TRUE(client_.last_reply_line().startsWith("200 "));
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Success 14"}));
}

TEST_F(SimFtp, RawCommandRefusedOrUnsafeFails) {
  start();
  login();
  EXPECT_FALSE(client_.raw_command("SITE CHMOD"));
  EXPECT_EQ(client_.last_error().number, 502);
  EXPECT_EQ(client_.last_reply_line(), "502 Command not implemented.");
  size_t n = sent().size();
  for (const char* bad : {"syst\r\nDELE x", "syst\n", ""}) {
    EXPECT_FALSE(client_.raw_command(bad));
    EXPECT_EQ(client_.last_error().number, EINVAL);
  }
  EXPECT_FALSE(client_.change_dir("/usr\r\nSTOR x"));
  EXPECT_EQ(sent().size(), n);  // nothing of them was sent
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Failure 14", "Failure 14", "Failure 14",
                                                   "Failure 14", "Failure 0"}));
  EXPECT_TRUE(client_.image_type());
}

TEST_F(SimFtp, OperationsWithoutAConnectionFail) {
  start();
  EXPECT_FALSE(client_.change_dir("/"));
  EXPECT_EQ(client_.last_error().number, ENOTCONN);
  EXPECT_FALSE(client_.image_type());
  EXPECT_FALSE(client_.upload(q(local("none")), "znx27kq.bin"));
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Failure 0", "Failure 14", "Failure 9"}));
  EXPECT_TRUE(client_.disconnect());  // nothing to do
  EXPECT_EQ(server_->sessions(), 0);
}

// ---- transfers -----------------------------------------------------------------------------

class SimTransfer : public SimFtp, public ::testing::WithParamInterface<size_t> {};

TEST_P(SimTransfer, UploadAndDownloadKeepEveryByte) {
  start();
  login();
  const size_t size = GetParam();
  std::string fw = random_bytes(size, 1);
  std::string cfg = random_bytes(size / 3 + 5, 2);
  write_file(local("fw.bin"), fw);
  write_file(local("cfg.bin"), cfg);

  ASSERT_TRUE(client_.change_dir("/"));
  ASSERT_TRUE(client_.image_type());
  ASSERT_TRUE(client_.upload(q(local("fw.bin")), "znx27kq.bin"))
      << client_.last_error().text.toStdString();
  EXPECT_EQ(client_.bytes_total(), int64_t(size));
  EXPECT_EQ(client_.bytes_sent(), int64_t(size));
  EXPECT_FALSE(client_.upload_running());
  EXPECT_EQ(read_file(dev_.path() + "/znx27kq.bin"), fw);

  ASSERT_TRUE(client_.change_dir("/usr"));
  ASSERT_TRUE(client_.upload(q(local("cfg.bin")), "cfg27kq.bin"));
  EXPECT_EQ(read_file(dev_.path() + "/usr/cfg27kq.bin"), cfg);
  EXPECT_EQ(client_.uploads_started(), 2u);

  ASSERT_TRUE(client_.download("cfg27kq.bin", q(local("backup.bin"))))
      << client_.last_error().text.toStdString();
  EXPECT_EQ(read_file(local("backup.bin")), cfg);
  EXPECT_EQ(client_.bytes_total(), int64_t(cfg.size()));
  EXPECT_EQ(rec_.take()[0], "Success 0");
  EXPECT_TRUE(sent_verb("PORT 127,0,0,1,"));
  EXPECT_TRUE(client_.connected());
}

INSTANTIATE_TEST_SUITE_P(Sizes, SimTransfer,
                         ::testing::Values(size_t(0), size_t(1), size_t(3 * 1024 * 1024 + 7)));

struct FailedDownloadCase {
  const char* name;
  std::string drop_on;
  std::string remote;
  int error;
};

std::ostream& operator<<(std::ostream& o, const FailedDownloadCase& c) { return o << c.name; }

class SimFailedDownload : public SimFtp,
                          public ::testing::WithParamInterface<FailedDownloadCase> {};

TEST_P(SimFailedDownload, LeavesTheOlderFileAndNoTemporary) {
  const FailedDownloadCase& c = GetParam();
  sim::FtpServerOptions o;
  o.drop_on = c.drop_on;
  start(o);
  write_file(dev_.path() + "/usr/cfg27kq.bin", "new configuration");
  login();
  write_file(local("backup.bin"), "older backup");
  ASSERT_TRUE(client_.change_dir("/usr"));
  EXPECT_FALSE(client_.download(q(c.remote), q(local("backup.bin"))));
  EXPECT_EQ(client_.last_error().number, c.error);
  EXPECT_EQ(rec_.take().back(), "Failure 8");
  EXPECT_EQ(read_file(local("backup.bin")), "older backup");
  int files = 0;
  for (const auto& e : std::filesystem::directory_iterator(pc_.path())) {
    (void)e;
    ++files;
  }
  EXPECT_EQ(files, 1);
}

INSTANTIATE_TEST_SUITE_P(Downloads, SimFailedDownload,
                         ::testing::Values(FailedDownloadCase{"NoSuchFile", "", "missing.bin", 550},
                                           FailedDownloadCase{"DroppedOnRetr", "RETR",
                                                              "cfg27kq.bin", ECONNRESET}),
                         [](const auto& i) { return std::string(i.param.name); });

TEST_F(SimFtp, DownloadIntoAMissingFolderAsksNothingOfTheServer) {
  start();
  login();
  size_t n = sent().size();
  EXPECT_FALSE(client_.download("cfg27kq.bin", q(local("no/such/dir/x.bin"))));
  EXPECT_EQ(sent().size(), n);
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Failure 8"}));
}

TEST_F(SimFtp, UploadOfAMissingLocalFileSendsNothing) {
  start();
  login();
  EXPECT_FALSE(client_.upload(q(local("missing.bin")), "znx27kq.bin"));
  EXPECT_EQ(client_.last_error().number, ENOENT);
  EXPECT_FALSE(sent_verb("STOR"));
  EXPECT_FALSE(sent_verb("PORT"));
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Failure 9"}));
}

TEST_F(SimFtp, ByteCountsReadFromAnotherThreadDuringAnUpload) {
  start();
  login();
  const int64_t size = 48 * 1024 * 1024;
  write_file(local("fw.bin"), random_bytes(size_t(size), 3));
  std::atomic<bool> done{false};
  std::atomic<bool> bad{false};
  std::atomic<int> running_seen{0};
  std::thread monitor([&] {
    int64_t last = 0;
    while (!done) {
      // bytes sent first: it may only grow and never pass the total of the running upload.
      int64_t sent = client_.bytes_sent();
      bool running = client_.upload_running();
      int64_t total = client_.bytes_total();
      if (running) {
        ++running_seen;
        if (total != size || sent < last || sent > total) bad = true;
        last = sent;
      }
      std::this_thread::yield();
    }
  });
  bool ok = client_.upload(q(local("fw.bin")), "znx27kq.bin");
  done = true;
  monitor.join();
  ASSERT_TRUE(ok) << client_.last_error().text.toStdString();
  EXPECT_FALSE(bad);
  EXPECT_GT(running_seen, 0);
  EXPECT_EQ(client_.bytes_sent(), size);
  EXPECT_EQ(std::filesystem::file_size(dev_.path() + "/znx27kq.bin"), uintmax_t(size));
}

// A stalled upload: the device stops reading after 1 MiB of a 32 MiB file.
class SimStall : public SimFtp {
 protected:
  void SetUp() override {
    sim::FtpServerOptions o;
    o.stall_after = 1024 * 1024;
    start(o);
    login();
    write_file(local("fw.bin"), random_bytes(32 * 1024 * 1024, 4));
  }
  // Waits (real time, bounded) until bytes sent stops moving above 0.
  void wait_for_stall() {
    int64_t last = -1;
    for (int i = 0; i < 400; ++i) {
      std::this_thread::sleep_for(25ms);
      int64_t now = client_.bytes_sent();
      if (now > 0 && now == last) return;
      last = now;
    }
    FAIL() << "the upload never stalled";
  }
};

TEST_F(SimStall, CloseAtOnceFromAnotherThreadEndsTheStalledUploadPromptly) {
  std::atomic<int64_t> closed_ms{-1};
  auto t0 = std::chrono::steady_clock::now();
  std::thread monitor([&] {
    wait_for_stall();
    EXPECT_TRUE(client_.connected());
    EXPECT_TRUE(client_.upload_running());
    EXPECT_EQ(client_.bytes_total(), 32 * 1024 * 1024);
    EXPECT_LT(client_.bytes_sent(), client_.bytes_total());
    closed_ms = ms_since(t0);
    // The stall handling's order: close at once, abort, disconnect.
    client_.close_at_once();
    EXPECT_FALSE(client_.connected());
    client_.abort_transfer();
    client_.disconnect();
  });
  bool ok = client_.upload(q(local("fw.bin")), "znx27kq.bin");
  int64_t returned_ms = ms_since(t0);
  monitor.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(client_.last_error().number, ECANCELED);
  ASSERT_GE(closed_ms, 0);
  EXPECT_LT(returned_ms - closed_ms, 500);
  EXPECT_FALSE(client_.connected());
  std::vector<std::string> ev = rec_.take();
  // No socket error box for a close the program asked for.
  for (const std::string& e : ev) EXPECT_EQ(e.rfind("Error", 0), std::string::npos) << e;
  EXPECT_NE(std::find(ev.begin(), ev.end(), "Failure 9"), ev.end());
  // A fresh connection works afterwards.
  ASSERT_TRUE(client_.connect());
  EXPECT_TRUE(client_.image_type());
}

TEST_F(SimStall, AbortTransferEndsTheUploadAndKeepsTheSession) {
  std::thread monitor([&] {
    wait_for_stall();
    client_.abort_transfer();
  });
  bool ok = client_.upload(q(local("fw.bin")), "znx27kq.bin");
  monitor.join();
  EXPECT_FALSE(ok);
  EXPECT_EQ(client_.last_error().number, ECANCELED);
  EXPECT_TRUE(sent_verb("ABOR"));
  EXPECT_TRUE(client_.connected());
  // Replies still pair with their commands.
  ASSERT_TRUE(client_.raw_command("syst"));
  EXPECT_TRUE(client_.last_reply_line().startsWith("215 "));
}

TEST_F(SimStall, PumpKeepsRunningAndMayCloseAtOnce) {
  int pumps = 0;
  bool busy_refused = false;
  client_.pump = [&] {
    ++pumps;
    if (pumps == 1) busy_refused = !client_.image_type() && client_.last_error().number == EBUSY;
    if (pumps == 20) client_.close_at_once();  // the window's Exit while the upload runs
  };
  EXPECT_FALSE(client_.upload(q(local("fw.bin")), "znx27kq.bin"));
  EXPECT_TRUE(busy_refused);
  EXPECT_GE(pumps, 20);
  EXPECT_EQ(client_.last_error().number, ECANCELED);
  EXPECT_FALSE(client_.connected());
}

// ---- dropped control connection --------------------------------------------------------------

struct DropCase {
  const char* name;
  std::string drop_after;  // reply, then drop
  std::string drop_on;     // drop instead of the reply
  int op;                  // 0 CWD, 1 upload, 2 syst
  int error;               // errno of the failed operation
};

std::ostream& operator<<(std::ostream& o, const DropCase& c) { return o << c.name; }

class SimDrop : public SimFtp, public ::testing::WithParamInterface<DropCase> {};

TEST_P(SimDrop, DroppedControlConnectionFailsTheNextOperation) {
  const DropCase& c = GetParam();
  sim::FtpServerOptions o;
  o.drop_after = c.drop_after;
  o.drop_on = c.drop_on;
  start(o);
  write_file(local("fw.bin"), random_bytes(100000, 5));
  login();
  if (!c.drop_after.empty()) {
    // The drop shows in connected() without any command.
    for (int i = 0; i < 200 && client_.connected(); ++i) std::this_thread::sleep_for(5ms);
    EXPECT_FALSE(client_.connected());
  }
  bool ok = c.op == 0   ? client_.change_dir("/usr")
            : c.op == 1 ? client_.upload(q(local("fw.bin")), "znx27kq.bin")
                        : client_.raw_command("syst");
  EXPECT_FALSE(ok);
  EXPECT_EQ(client_.last_error().number, c.error);
  EXPECT_FALSE(client_.connected());
  std::vector<std::string> ev = rec_.take();
  int kind = c.op == 0 ? 0 : c.op == 1 ? 9 : 14;
  if (c.error == ECONNRESET) {
    EXPECT_EQ(ev, (std::vector<std::string>{"Error " + std::to_string(ECONNRESET), "Disconnect",
                                            "Failure " + std::to_string(kind)}));
  } else {
    EXPECT_EQ(ev, (std::vector<std::string>{"Failure " + std::to_string(kind)}));
  }
  // Reconnecting starts clean.
  client_.close_at_once();
  EXPECT_TRUE(client_.connect());
}

INSTANTIATE_TEST_SUITE_P(Drops, SimDrop,
                         ::testing::Values(DropCase{"AfterLogin", "PASS", "", 0, ENOTCONN},
                                           DropCase{"OnCwd", "", "CWD", 0, ECONNRESET},
                                           DropCase{"OnSyst", "", "SYST", 2, ECONNRESET},
                                           DropCase{"OnStor", "", "STOR", 1, ECONNRESET},
                                           DropCase{"OnPort", "", "PORT", 1, ECONNRESET}),
                         [](const auto& i) { return std::string(i.param.name); });

// ---- events and texts ----------------------------------------------------------------------

TEST_F(SimFtp, EventsComeInTheComponentsOrder) {
  start();
  write_file(local("fw.bin"), random_bytes(5000, 6));
  write_file(dev_.path() + "/usr/cfg27kq.bin", "cfg");
  ASSERT_TRUE(client_.connect());
  EXPECT_TRUE(client_.change_dir("/usr"));
  EXPECT_TRUE(client_.image_type());
  EXPECT_TRUE(client_.download("cfg27kq.bin", q(local("b.bin"))));
  EXPECT_FALSE(client_.change_dir("/nowhere"));
  EXPECT_TRUE(client_.change_dir("/"));
  EXPECT_TRUE(client_.upload(q(local("fw.bin")), "znx27kq.bin"));
  EXPECT_TRUE(client_.raw_command("syst"));
  EXPECT_TRUE(client_.disconnect());
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(sent().back(), "QUIT");
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Connect", "Success 0", "Success 14",
                                                   "Success 8", "Failure 0", "Success 0",
                                                   "Success 9", "Success 14", "Disconnect"}));
}

TEST_F(SimFtp, PasswordNeverAppearsInAnyText) {
  sim::FtpServerOptions o;
  o.multiline = true;
  start(o);
  write_file(local("fw.bin"), "x");
  client_.Password = "Wrong-Zq7";
  EXPECT_FALSE(client_.connect());
  QString refused = client_.last_error().text;
  client_.close_at_once();
  client_.Password = kPassword;
  ASSERT_TRUE(client_.connect());
  client_.change_dir("/nowhere");
  client_.upload(q(local("fw.bin")), "znx27kq.bin");
  client_.raw_command("syst");
  client_.disconnect();
  // Both passwords went to the server...
  std::vector<std::string> s = sent();
  EXPECT_NE(std::find(s.begin(), s.end(), "PASS Wrong-Zq7"), s.end());
  EXPECT_NE(std::find(s.begin(), s.end(), std::string("PASS ") + kPassword), s.end());
  // ...and no text the client reported holds either.
  std::lock_guard<std::mutex> l(rec_.mu);
  ASSERT_FALSE(rec_.texts.empty());
  bool pass_line = false;
  for (const QString& t : rec_.texts) {
    EXPECT_FALSE(t.contains(kPassword)) << t.toStdString();
    EXPECT_FALSE(t.contains("Wrong-Zq7")) << t.toStdString();
    pass_line = pass_line || t == "PASS ****";
  }
  EXPECT_TRUE(pass_line);
  EXPECT_FALSE(refused.contains("Wrong-Zq7"));
}

TEST_F(SimFtp, PasswordEchoedByTheServerIsScrubbed) {
  start();
  login();
  // A server that repeats what it got must not bring the password back into a text.
  EXPECT_FALSE(client_.change_dir(kPassword));
  EXPECT_EQ(sent().back(), std::string("CWD ") + kPassword);
  EXPECT_FALSE(client_.last_reply_line().contains(kPassword));
  EXPECT_FALSE(client_.last_error().text.contains(kPassword));
}

TEST_F(SimFtp, MultiLineRepliesEndAtTheirOwnCode) {
  sim::FtpServerOptions o;
  o.multiline = true;
  start(o);
  ASSERT_TRUE(client_.connect());
  EXPECT_EQ(client_.last_reply_line(), "230-Welcome to ZORVEL.");
  ASSERT_TRUE(client_.raw_command("syst"));
  EXPECT_TRUE(client_.last_reply_line().startsWith("215-UNIX Type: L8   V"));
  // The next command gets its own reply, not a line left over from the last one.
  ASSERT_TRUE(client_.image_type());
  EXPECT_EQ(client_.last_reply_line(), "200 Type set to I.");
}

}  // namespace
}  // namespace lumo
