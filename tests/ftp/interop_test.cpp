// Interop with peers no one here wrote: the client against vsftpd, the simulated device's server
// against curl; all on 127.0.0.1, in active mode.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

#include "ftp/ftp_client.h"
#include "session/clock.h"
#include "sim/ftp/ftp_server.h"
#include "sim/ftp/peers.h"
#include "support.h"

namespace lumo {
namespace {

using test::q;
using test::random_bytes;
using test::read_file;
using test::Recorder;
using test::write_file;

// ---- our client, vsftpd's server -----------------------------------------------------------

class VsftpdInterop : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (sim::find_program("vsftpd").empty()) return;
    dir_ = new sim::TempDir;
    server_ = new sim::Vsftpd;
    if (!server_->start(dir_->path(), &error_)) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    delete server_;
    delete dir_;
    server_ = nullptr;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (sim::find_program("vsftpd").empty()) GTEST_SKIP() << "vsftpd is not installed";
    ASSERT_NE(server_, nullptr) << error_;
    client_.Host = q("127.0.0.1:" + std::to_string(server_->port()));
    client_.UserID = "anonymous";
    client_.Password = "";
    client_.TimeOut = 10000;
    rec_.install(client_);
  }
  std::string local(const std::string& name) const { return pc_.path() + "/" + name; }

  static sim::TempDir* dir_;
  static sim::Vsftpd* server_;
  static std::string error_;
  sim::TempDir pc_;
  RealClock clock_;
  FtpClient client_{clock_};
  Recorder rec_;
};

sim::TempDir* VsftpdInterop::dir_ = nullptr;
sim::Vsftpd* VsftpdInterop::server_ = nullptr;
std::string VsftpdInterop::error_;

TEST_F(VsftpdInterop, LoginRefusedForAUserItDoesNotAllow) {
  client_.UserID = "admin";
  client_.Password = "secret-admin";
  EXPECT_FALSE(client_.connect());
  EXPECT_EQ(client_.last_error().number / 100, 5) << client_.last_error().text.toStdString();
  EXPECT_FALSE(client_.connected());
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"ConnectionFailed"}));
}

TEST_F(VsftpdInterop, AnonymousLoginNeedsNoPass) {
  ASSERT_TRUE(client_.connect()) << client_.last_error().text.toStdString();
  EXPECT_TRUE(client_.connected());
  EXPECT_TRUE(client_.last_reply_line().startsWith("230"))
      << client_.last_reply_line().toStdString();
  EXPECT_TRUE(client_.disconnect());
  EXPECT_EQ(rec_.take(), (std::vector<std::string>{"Connect", "Disconnect"}));
}

TEST_F(VsftpdInterop, ChangeDirTypeIUploadDownloadKeepEveryByte) {
  ASSERT_TRUE(client_.connect()) << client_.last_error().text.toStdString();
  EXPECT_FALSE(client_.change_dir("/nowhere"));
  EXPECT_EQ(client_.last_error().number, 550);
  ASSERT_TRUE(client_.change_dir("/up"));
  ASSERT_TRUE(client_.image_type());
  for (size_t size : {size_t(0), size_t(1), size_t(5 * 1024 * 1024 + 3)}) {
    SCOPED_TRACE(size);
    std::string bytes = random_bytes(size, uint32_t(size));
    write_file(local("fw.bin"), bytes);
    ASSERT_TRUE(client_.upload(q(local("fw.bin")), "znx27kq.bin"))
        << client_.last_error().text.toStdString();
    EXPECT_EQ(client_.bytes_sent(), int64_t(size));
    EXPECT_EQ(read_file(server_->upload_dir() + "/znx27kq.bin"), bytes);
    ASSERT_TRUE(client_.download("znx27kq.bin", q(local("back.bin"))))
        << client_.last_error().text.toStdString();
    EXPECT_EQ(read_file(local("back.bin")), bytes);
    EXPECT_EQ(client_.bytes_total(), int64_t(size));
  }
  // A file vsftpd does not have: refused, and the session goes on.
  write_file(local("keep.bin"), "kept");
  EXPECT_FALSE(client_.download("missing.bin", q(local("keep.bin"))));
  EXPECT_EQ(client_.last_error().number, 550);
  EXPECT_EQ(read_file(local("keep.bin")), "kept");
  ASSERT_TRUE(client_.raw_command("SYST"));
  EXPECT_TRUE(client_.last_reply_line().startsWith("215 "));
  EXPECT_TRUE(client_.disconnect());
}

TEST_F(VsftpdInterop, DownloadsAFileOfItsRoot) {
  std::string cfg = random_bytes(70000, 9);
  write_file(server_->root() + "/cfg27kq.bin", cfg);
  ::chmod((server_->root() + "/cfg27kq.bin").c_str(), 0644);
  ASSERT_TRUE(client_.connect());
  ASSERT_TRUE(client_.change_dir("/"));
  ASSERT_TRUE(client_.image_type());
  ASSERT_TRUE(client_.download("cfg27kq.bin", q(local("cfg.bin"))))
      << client_.last_error().text.toStdString();
  EXPECT_EQ(read_file(local("cfg.bin")), cfg);
  EXPECT_EQ(rec_.take(),
            (std::vector<std::string>{"Connect", "Success 0", "Success 14", "Success 8"}));
}

// ---- curl's client, the simulated device's server ------------------------------------------

class CurlInterop : public ::testing::Test {
 protected:
  void SetUp() override {
    curl_ = sim::find_program("curl");
    if (curl_.empty()) GTEST_SKIP() << "curl is not installed";
  }
  void start(sim::FtpServerOptions o = {}) {
    o.dir = dev_.path();
    o.password = "dev-pw";
    server_ = std::make_unique<sim::FtpServer>(o);
    ASSERT_NE(server_->start(), 0);
  }
  std::string url(const std::string& path) const {
    return "ftp://127.0.0.1:" + std::to_string(server_->port()) + path;
  }
  // curl in active mode, PORT only, on loopback.
  int curl(std::vector<std::string> args, std::string* out,
           const std::string& user_pw = "admin:dev-pw") {
    std::vector<std::string> argv = {curl_,        "-sS",       "-v",         "--disable-eprt",
                                     "--ftp-port", "127.0.0.1", "--max-time", "20",
                                     "-u",         user_pw};
    argv.insert(argv.end(), args.begin(), args.end());
    return sim::run_program(argv, out, 30000);
  }
  bool received(const std::string& line) const {
    for (const std::string& c : server_->commands()) {
      if (c == line || c.rfind(line, 0) == 0) return true;
    }
    return false;
  }

  std::string curl_;
  sim::TempDir dev_;
  sim::TempDir pc_;
  std::unique_ptr<sim::FtpServer> server_;
};

TEST_F(CurlInterop, LoginSystAndDownloadOfTheConfiguration) {
  start();
  std::string cfg = random_bytes(200000, 11);
  write_file(dev_.path() + "/usr/cfg27kq.bin", cfg);
  std::string out;
  EXPECT_EQ(curl({"-Q", "syst", "-o", pc_.path() + "/cfg.bin", url("/usr/cfg27kq.bin")}, &out), 0)
      << out;
  EXPECT_EQ(read_file(pc_.path() + "/cfg.bin"), cfg);
  EXPECT_TRUE(received("syst"));
  EXPECT_TRUE(received("PORT 127,0,0,1,"));
  EXPECT_NE(out.find("< 215 UNIX Type: L8   V01.00A"), std::string::npos) << out;
}

TEST_F(CurlInterop, UploadsTheFirmwareIntoTheRoot) {
  start();
  std::string fw = random_bytes(3 * 1024 * 1024 + 1, 12);
  write_file(pc_.path() + "/fw.bin", fw);
  std::string out;
  EXPECT_EQ(curl({"-T", pc_.path() + "/fw.bin", url("/znx27kq.bin")}, &out), 0) << out;
  EXPECT_EQ(read_file(dev_.path() + "/znx27kq.bin"), fw);
  EXPECT_TRUE(received("STOR znx27kq.bin"));
}

TEST_F(CurlInterop, RomModeSystAndRefusals) {
  sim::FtpServerOptions o;
  o.rom_mode = true;
  o.usr_absent = true;
  start(o);
  write_file(dev_.path() + "/znx27kq.bin", "firmware");
  std::string out;
  EXPECT_EQ(curl({"-Q", "syst", "-o", pc_.path() + "/fw.bin", url("/znx27kq.bin")}, &out), 0)
      << out;
  EXPECT_EQ(read_file(pc_.path() + "/fw.bin"), "firmware");
  EXPECT_NE(out.find("< 215 ZNX27KQ ROM MODE"), std::string::npos) << out;
  // curl's codes: 67 login denied, 9 remote directory refused.
  EXPECT_EQ(curl({"-o", pc_.path() + "/x", url("/znx27kq.bin")}, &out, "admin:wrong"), 67) << out;
  EXPECT_EQ(curl({"-o", pc_.path() + "/x", url("/usr/cfg27kq.bin")}, &out), 9) << out;
}

}  // namespace
}  // namespace lumo
