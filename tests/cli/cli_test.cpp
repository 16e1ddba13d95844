#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

#include "cli/console.h"
#include "cli_runner.h"
#include "messages/catalogue.h"
#include "sim/ftp/ftp_server.h"
#include "sim/serial_line.h"

namespace lumo::cli::test {
namespace {

constexpr int kSpeedup = 20;
const QString kSpeed = QString::number(kSpeedup);

QByteArray random_bytes(int n, quint32 seed) {
  QRandomGenerator g(seed);
  QByteArray b(n, '\0');
  for (char& c : b) c = char(g.bounded(256));
  return b;
}

QByteArray firmware(int size, const QByteArray& version = "V01.00A") {
  QByteArray b = random_bytes(size - 16, quint32(size));
  b.replace(17, version.size(), version);
  return b + QCryptographicHash::hash(b, QCryptographicHash::Md5);
}

QByteArray config(int size) {
  QByteArray b = random_bytes(size, 7);
  b.replace(1, 9, "<ZNX27KQ>");
  return b;
}

// A message as the command line prints it: caption, then the text with its line breaks.
QString printed(const Message& m) {
  return m.caption_text() + QStringLiteral(": ") +
         m.body().replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QByteArray read(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(work_.isValid() && device_.isValid());
    ASSERT_TRUE(QDir(device_.path()).mkpath(QStringLiteral("usr")));
  }

  QString work(const QString& name) const { return work_.filePath(name); }
  QString device(const QString& name) const { return device_.filePath(name); }
  void put(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
  }

  // The device on a pseudo-terminal published as `port` in the working folder.
  sim::SerialLine& serial(sim::DeviceConfig cfg = {},
                          const QString& port = QStringLiteral("COM1")) {
    if (cfg.block.folder.empty()) cfg.block.folder = device_.path().toStdString();
    line_ = std::make_unique<sim::SerialLine>(cfg, kSpeedup);
    QString error;
    EXPECT_TRUE(line_->start(work_.path(), port, &error)) << error.toStdString();
    return *line_;
  }

  // The device's FTP server on 127.0.0.1; the password file in the working folder.
  sim::FtpServer& ftp(sim::FtpServerOptions o = {}) {
    o.dir = device_.path().toStdString();
    server_ = std::make_unique<sim::FtpServer>(o);
    EXPECT_NE(server_->start(), 0);
    put(work("pw"), "admin\n");
    return *server_;
  }
  QStringList on_ftp(QStringList args) const {
    return args << QStringLiteral("--ftp")
                << QStringLiteral("127.0.0.1:%1").arg(server_ ? server_->port() : 1)
                << QStringLiteral("--password-file") << QStringLiteral("pw")
                << QStringLiteral("--speedup") << kSpeed;
  }
  QStringList on_serial(QStringList args) const {
    return args << QStringLiteral("--speedup") << kSpeed;
  }
  Outcome run(const QStringList& args) const { return run_piped(work_.path(), args); }

  QTemporaryDir work_;
  QTemporaryDir device_;
  std::unique_ptr<sim::SerialLine> line_;
  std::unique_ptr<sim::FtpServer> server_;
};

// ---- without a device ----

TEST_F(Cli, UsageErrorsExitWithOneAndHelpDocumentsEveryExitCode) {
  for (const QStringList& bad :
       {QStringList{}, QStringList{"flash"}, QStringList{"check"}, QStringList{"detect", "extra"},
        QStringList{"detect", "--port", "COM10"},
        QStringList{"detect", "--ftp", "h", "--port", "COM1"},
        QStringList{"detect", "--serial", "--ftp", "h"},
        QStringList{"detect", "--password-file", "pw"}, QStringList{"backup", "f", "--backup", "g"},
        QStringList{"detect", "--speedup", "0"},
        QStringList{"version", "--ftp", "h", "--password", "secret"}}) {
    const Outcome o = run(bad);
    EXPECT_EQ(o.code, 1) << bad.join(' ').toStdString();
    EXPECT_TRUE(o.err.contains("--help")) << bad.join(' ').toStdString();
  }
  const Outcome help = run({QStringLiteral("--help")});
  EXPECT_EQ(help.code, 0);
  for (const char* code :
       {"0  done", "1  usage", "2  device not found or connection failed", "3  file check failed",
        "4  transfer failed", "5  device busy or refusing"})
    EXPECT_TRUE(help.out.contains(code)) << code;
  for (const char* word :
       {"detect", "version", "check FILE", "backup FILE", "upgrade FIRMWARE", "restore FILE",
        "--serial", "--port COMn", "--ftp HOST[:PORT]", "--password-file", "--log", "--speedup"})
    EXPECT_TRUE(help.out.contains(word)) << word;
}

TEST_F(Cli, CheckPrintsTheVersionOrTheCheckMessage) {
  put(work("good.bin"), firmware(5000));
  QByteArray broken = firmware(5000);
  broken[100] = char(broken[100] ^ 1);
  put(work("broken.bin"), broken);
  put(work("other.bin"), QByteArray(5000, 'x'));
  struct Case {
    const char* file;
    int code;
    const Message* shown;
  };
  for (const Case& c :
       {Case{"good.bin", 0, nullptr}, Case{"broken.bin", 3, &msg::firmware_incomplete},
        Case{"other.bin", 3, &msg::not_firmware}, Case{"absent.bin", 3, nullptr}}) {
    const Outcome o =
        run({QStringLiteral("check"), QString::fromLatin1(c.file), QStringLiteral("--log")});
    EXPECT_EQ(o.code, c.code) << c.file;
    if (c.shown) {
      EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(*c.shown))) << c.file;
    }
    EXPECT_TRUE(o.err.contains(QByteArray("pathfile=") + c.file)) << c.file;
  }
  EXPECT_EQ(run({QStringLiteral("check"), QStringLiteral("good.bin")}).out, "V01.00A\n");
  // The check needs no device, on either transport: no password is asked for.
  EXPECT_EQ(run({QStringLiteral("check"), QStringLiteral("good.bin"), QStringLiteral("--ftp"),
                 QStringLiteral("127.0.0.1:1")})
                .code,
            0);
}

TEST_F(Cli, TheOptionsFileIsReadAsTheWizardReadsIt) {
  put(work("good.bin"), firmware(2000));
  put(work("VerUp_in.txt"), "019050");
  const Outcome o =
      run({QStringLiteral("check"), QStringLiteral("good.bin"), QStringLiteral("--log")});
  EXPECT_EQ(o.code, 0);
  EXPECT_TRUE(o.err.startsWith("57600\n050\n50\n")) << o.err.constData();
  EXPECT_EQ(run({QStringLiteral("check"), QStringLiteral("good.bin")}).err, "");
  // Diagnostic mode shows the log without being asked.
  put(work("VerUp_in.txt"), "1");
  EXPECT_TRUE(
      run({QStringLiteral("check"), QStringLiteral("good.bin")}).err.startsWith("pathfile="));
  put(work("VerUp_in.txt"), "1099x9");
  EXPECT_EQ(run({QStringLiteral("check"), QStringLiteral("good.bin")}).code, 1);
}

TEST(Console, ProgressFormatsBytesRateAndTimeLeft) {
  EXPECT_EQ(Console::format(QStringLiteral("firmware"), 2048, 8192, 1.0, true),
            QStringLiteral("firmware: 2048 / 8192 bytes (25%)  2.0 KiB/s  0:03 left"));
  EXPECT_EQ(Console::format(QStringLiteral("firmware"), 2048, 8192, 1.0, false),
            QStringLiteral("firmware: 2048 / 8192 bytes (25%)"));
  EXPECT_EQ(Console::format(QStringLiteral("backup"), 500, 0, 0.0, true),
            QStringLiteral("backup: 500 bytes"));
}

// ---- serial ----

TEST_F(Cli, SerialDetectAndVersion) {
  struct Case {
    sim::BootMode mode;
    const char* port;   // where the device is
    const char* asked;  // --port, or "" for the scan
    const char* command;
    int code;
    const char* out;
  };
  for (const Case& c : {
           Case{sim::BootMode::Normal, "COM1", "", "detect", 0,
                "port: COM1\ndevice: ZORVEL 2700KQ\nmode: firmware\n"},
           Case{sim::BootMode::Rom, "COM3", "", "detect", 0,
                "port: COM3\ndevice: ZORVEL 2700KQ\nmode: ROM mode\n"},
           Case{sim::BootMode::Normal, "COM4", "COM4", "detect", 0,
                "port: COM4\ndevice: ZORVEL 2700KQ\nmode: firmware\n"},
           Case{sim::BootMode::Normal, "COM1", "COM2", "detect", 2, ""},
           Case{sim::BootMode::Normal, "COM2", "", "version", 0, "V01.00\n"},
           Case{sim::BootMode::Rom, "COM1", "", "version", 0, "ROM mode\n"},
           Case{sim::BootMode::Normal, "COM1", "COM5", "version", 2, ""},
       }) {
    sim::DeviceConfig cfg;
    cfg.mode = c.mode;
    serial(cfg, QString::fromLatin1(c.port));
    QStringList args = on_serial({QString::fromLatin1(c.command)});
    if (*c.asked) args << QStringLiteral("--port") << QString::fromLatin1(c.asked);
    const Outcome o = run(args);
    const std::string what = std::string(c.command) + " " + c.port + " " + c.asked;
    EXPECT_EQ(o.code, c.code) << what << "\n" << o.err.constData();
    EXPECT_EQ(o.out, c.out) << what;
    if (c.code == 2) {
      EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::port_not_found)));
    }
    line_.reset();
  }
}

TEST_F(Cli, SerialSilentDeviceIsNotFound) {
  sim::DeviceConfig cfg;
  cfg.faults.silent = true;
  serial(cfg);
  for (const char* command : {"detect", "version"}) {
    const Outcome o = run(on_serial({QString::fromLatin1(command), QStringLiteral("--log")}));
    EXPECT_EQ(o.code, 2) << command;
    EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::port_not_found)));
    // The log shows the scan going through the whole table.
    EXPECT_EQ(o.err.count("INVALID_HANDLE_VALUE"), 8) << o.err.constData();
  }
}

TEST_F(Cli, SerialFilesThatFailTheirCheckNeverReachTheDevice) {
  QByteArray broken = firmware(6000);
  broken[3000] = char(broken[3000] ^ 0x40);
  put(work("broken.bin"), broken);
  put(work("other.bin"), QByteArray(6000, 'x'));
  put(work("good.bin"), firmware(6000));
  put(work("plain.cfg"), QByteArray(64, 'c'));
  sim::SerialLine& line = serial();
  struct Case {
    QStringList args;
    const Message* shown;
  };
  for (const Case& c : {
           Case{{"upgrade", "broken.bin"}, &msg::firmware_incomplete},
           Case{{"upgrade", "other.bin", "--backup", "b.cfg"}, &msg::not_firmware},
           Case{{"upgrade", "good.bin", "--backup", "/proc/none/b.cfg"},
                &msg::backup_folder_refused},
           Case{{"backup", "/proc/none/b.cfg"}, &msg::backup_folder_refused},
           Case{{"restore", "plain.cfg"}, &msg::not_config},
           Case{{"restore", "absent.cfg"}, nullptr},
       }) {
    const Outcome o = run(on_serial(c.args));
    EXPECT_EQ(o.code, 3) << c.args.join(' ').toStdString();
    if (c.shown) {
      EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(*c.shown)));
    }
  }
  EXPECT_EQ(line.received(), "");
  EXPECT_FALSE(QFile::exists(device("znx27kq.bin")));
}

TEST_F(Cli, SerialBusyDeviceExitsWithFive) {
  put(work("good.bin"), firmware(3000));
  put(work("good.cfg"), config(300));
  sim::DeviceConfig cfg;
  cfg.faults.busy = true;
  cfg.block.faults.busy = true;
  serial(cfg);
  struct Case {
    QStringList args;
    const Message* shown;
  };
  for (const Case& c : {
           Case{{"upgrade", "good.bin"}, &msg::device_busy},
           Case{{"backup", "b.cfg"}, &msg::download_refused},
           Case{{"restore", "good.cfg"}, &msg::transfer_error_12},
       }) {
    const Outcome o = run(on_serial(c.args));
    EXPECT_EQ(o.code, 5) << c.args.join(' ').toStdString() << "\n" << o.err.constData();
    EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(*c.shown)))
        << c.args.join(' ').toStdString();
  }
  EXPECT_FALSE(QFile::exists(work("b.cfg")));
  EXPECT_FALSE(QFile::exists(device("znx27kq.bin")));
}

TEST_F(Cli, SerialTransfersLandOnTheDeviceAndBack) {
  const QByteArray fw = firmware(20000);
  const QByteArray cfg = config(3000);
  const QByteArray other = config(2000) + "other";
  put(work("fw.bin"), fw);
  put(work("other.cfg"), other);
  put(device("cfg27kq.bin"), cfg);
  serial();

  Outcome o = run(on_serial({QStringLiteral("backup"), QStringLiteral("saved.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(work("saved.cfg")), cfg);
  EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::serial_backup_saved)));

  o = run(on_serial({QStringLiteral("upgrade"), QStringLiteral("fw.bin"),
                     QStringLiteral("--backup"), QStringLiteral("before.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(device("znx27kq.bin")), fw);
  EXPECT_EQ(read(work("before.cfg")), cfg);
  EXPECT_TRUE(o.out.startsWith("file: V01.00A\ndevice: V01.00\n")) << o.out.constData();
  EXPECT_TRUE(o.out.contains("ZORVELを\n再起動する必要があります。"));

  o = run(on_serial({QStringLiteral("restore"), QStringLiteral("other.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(device("cfg27kq.bin")), other);

  o = run(on_serial({QStringLiteral("upgrade"), QStringLiteral("fw.bin")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
}

TEST_F(Cli, SerialTransferFailuresExitWithFour) {
  put(work("fw.bin"), firmware(5000));
  put(work("good.cfg"), config(3000));
  put(device("cfg27kq.bin"), config(3000));
  struct Case {
    QStringList args;
    const Message* shown;
  };
  for (const Case& c : {
           Case{{"upgrade", "fw.bin"}, &msg::transfer_error_10},
           Case{{"upgrade", "fw.bin", "--backup", "b.cfg"}, &msg::transfer_error_16},
           Case{{"backup", "b.cfg"}, &msg::transfer_error_16},
           Case{{"restore", "good.cfg"}, &msg::transfer_error_12},
       }) {
    // The line drops in the middle of every transfer.
    sim::DeviceConfig cfg;
    cfg.block.faults.drop_line_at = 2;
    serial(cfg);
    const Outcome o = run(on_serial(c.args));
    EXPECT_EQ(o.code, 4) << c.args.join(' ').toStdString() << "\n" << o.err.constData();
    EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(*c.shown)))
        << c.args.join(' ').toStdString();
    line_.reset();
  }
  EXPECT_FALSE(QFile::exists(work("b.cfg")));
}

TEST_F(Cli, ProgressIsRedrawnOnATerminalAndPlainIntoAPipe) {
  const QByteArray fw = firmware(60000);
  put(work("fw.bin"), fw);
  serial();
  const QStringList args = on_serial({QStringLiteral("upgrade"), QStringLiteral("fw.bin")});

  const Outcome piped = run(args);
  ASSERT_EQ(piped.code, 0) << piped.err.constData();
  EXPECT_FALSE(piped.err.contains('\r'));
  const QList<QByteArray> lines = piped.err.split('\n');
  int progress_lines = 0;
  for (const QByteArray& l : lines)
    if (l.startsWith("firmware: ")) ++progress_lines;
  EXPECT_GE(progress_lines, 2);
  EXPECT_LE(progress_lines, 10);
  EXPECT_TRUE(piped.err.contains("firmware: 60000 / 60000 bytes (100%)\n"));

  const auto started = std::chrono::steady_clock::now();
  const Outcome tty = run_on_pty(work_.path(), args);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  ASSERT_EQ(tty.code, 0) << tty.err.constData();
  const int redraws = int(tty.err.count("\rfirmware: "));
  EXPECT_GE(redraws, 2) << tty.err.constData();
  EXPECT_LE(redraws, int(seconds * 10) + 2);
  EXPECT_TRUE(tty.err.contains("left\x1b[K"));
  EXPECT_TRUE(tty.err.contains("firmware: 60000 / 60000 bytes (100%)"));
}

// ---- network ----

TEST_F(Cli, NetworkDetectAndVersion) {
  struct Case {
    bool rom;
    const char* command;
    const char* out;
  };
  for (const Case& c : {Case{false, "detect", "device: ZORVEL 2700KQ\nmode: firmware\n"},
                        Case{true, "detect", "device: ZORVEL 2700KQ\nmode: ROM mode\n"},
                        Case{false, "version", "V01.00A\n"}, Case{true, "version", "ROM mode\n"}}) {
    sim::FtpServerOptions so;
    so.rom_mode = c.rom;
    ftp(so);
    const Outcome o = run(on_ftp({QString::fromLatin1(c.command)}));
    EXPECT_EQ(o.code, 0) << c.command << "\n" << o.err.constData();
    EXPECT_TRUE(o.out.endsWith(c.out)) << o.out.constData();
    server_.reset();
  }
}

TEST_F(Cli, NetworkLoginFailuresExitWithTwo) {
  sim::FtpServerOptions so;
  so.refuse_login = true;
  ftp(so);
  Outcome o = run(on_ftp({QStringLiteral("version"), QStringLiteral("--log")}));
  EXPECT_EQ(o.code, 2);
  EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::login_failed)));
  // The log masks the password.
  EXPECT_TRUE(o.err.contains("admin\n*****\n"));
  EXPECT_FALSE(o.err.contains("admin\nadmin\n"));

  const uint16_t port = server_->port();
  server_.reset();  // nobody listens there any more
  o = run({QStringLiteral("detect"), QStringLiteral("--ftp"),
           QStringLiteral("127.0.0.1:%1").arg(port), QStringLiteral("--password-file"),
           QStringLiteral("pw")});
  EXPECT_EQ(o.code, 2);
  EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::login_failed)));

  // Without a password file and without a terminal there is no password to send.
  o = run({QStringLiteral("detect"), QStringLiteral("--ftp"),
           QStringLiteral("127.0.0.1:%1").arg(port)});
  EXPECT_EQ(o.code, 1);
}

TEST_F(Cli, NetworkPasswordIsAskedOnTheTerminalWithoutEcho) {
  ftp();
  const Outcome o = run_on_pty(
      work_.path(),
      {QStringLiteral("version"), QStringLiteral("--ftp"),
       QStringLiteral("127.0.0.1:%1").arg(server_->port()), QStringLiteral("--speedup"), kSpeed},
      [typed = false](const QByteArray& seen) mutable {
        if (typed || !seen.contains("Password: ")) return QByteArray();
        typed = true;
        return QByteArray("admin\n");
      });
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_TRUE(o.err.contains("V01.00A"));
  EXPECT_FALSE(o.err.mid(o.err.indexOf("Password: ")).contains("admin"));
}

TEST_F(Cli, NetworkTransfers) {
  const QByteArray fw = firmware(300000);
  const QByteArray cfg = config(3000);
  const QByteArray other = config(2000) + "other";
  put(work("fw.bin"), fw);
  put(work("other.cfg"), other);
  put(device("usr/cfg27kq.bin"), cfg);
  ftp();

  Outcome o = run(on_ftp({QStringLiteral("backup"), QStringLiteral("saved.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(work("saved.cfg")), cfg);
  EXPECT_TRUE(o.err.contains("このファイルに設定ファイルのバックアップを行いました。"));

  o = run(on_ftp({QStringLiteral("upgrade"), QStringLiteral("fw.bin"), QStringLiteral("--backup"),
                  QStringLiteral("before.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(device("znx27kq.bin")), fw);
  EXPECT_EQ(read(work("before.cfg")), cfg);
  EXPECT_EQ(read(device("usr/cfg27kq.bin")), cfg);
  EXPECT_TRUE(o.out.startsWith("file: V01.00A\ndevice: V01.00A\n")) << o.out.constData();
  EXPECT_TRUE(o.err.contains("firmware: 300000 / 300000 bytes (100%)\n")) << o.err.constData();
  EXPECT_TRUE(o.err.contains("configuration: 3000 / 3000 bytes (100%)\n"));

  o = run(on_ftp({QStringLiteral("restore"), QStringLiteral("other.cfg")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(device("usr/cfg27kq.bin")), other);

  QFile::remove(device("znx27kq.bin"));
  o = run_on_pty(work_.path(), on_ftp({QStringLiteral("upgrade"), QStringLiteral("fw.bin")}));
  EXPECT_EQ(o.code, 0) << o.err.constData();
  EXPECT_EQ(read(device("znx27kq.bin")), fw);
  EXPECT_TRUE(o.err.contains("\rfirmware: 300000 / 300000 bytes (100%)")) << o.err.constData();
}

TEST_F(Cli, NetworkFailuresAndRefusals) {
  put(work("fw.bin"), firmware(5000));
  put(work("bad.bin"), QByteArray(5000, 'x'));
  put(work("good.cfg"), config(300));
  put(device("usr/cfg27kq.bin"), config(3000));
  struct Case {
    QStringList args;
    sim::FtpServerOptions server;
    int code;
    const Message* shown;
  };
  sim::FtpServerOptions plain, no_usr, no_root, no_usr_dir, rom_no_usr;
  no_usr.usr_absent = true;
  no_root.refuse_dir = "/";
  no_usr_dir.refuse_dir = "/usr";
  for (const Case& c : {
           Case{{"upgrade", "bad.bin"}, plain, 3, &msg::not_firmware},
           Case{{"restore", "fw.bin"}, plain, 3, &msg::not_config},
           Case{{"backup", "b.cfg"}, no_usr, 5, &msg::config_broken_no_usr},
           Case{{"upgrade", "fw.bin"}, no_root, 4, &msg::transfer_error_2},
           Case{{"restore", "good.cfg"}, no_usr_dir, 4, &msg::transfer_error_3},
       }) {
    ftp(c.server);
    const Outcome o = run(on_ftp(c.args));
    EXPECT_EQ(o.code, c.code) << c.args.join(' ').toStdString() << "\n" << o.err.constData();
    EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(*c.shown)))
        << c.args.join(' ').toStdString();
    // A file that fails its check is refused before the device is reached.
    if (c.code == 3) {
      EXPECT_EQ(server_->sessions(), 0);
    }
    server_.reset();
  }
  EXPECT_FALSE(QFile::exists(device("znx27kq.bin")));
}

TEST_F(Cli, NetworkStalledUploadEndsWithFour) {
  // Larger than what the loopback's socket buffers take in while the server reads nothing.
  put(work("fw.bin"), firmware(24 << 20));
  sim::FtpServerOptions so;
  so.stall_after = 1000;
  so.rom_mode = true;  // no start delay
  ftp(so);
  QStringList args = on_ftp({QStringLiteral("upgrade"), QStringLiteral("fw.bin")});
  args.last() = QStringLiteral("100");  // 180 polls in under two seconds
  const Outcome o = run(args);
  EXPECT_EQ(o.code, 4) << o.err.constData();
  EXPECT_TRUE(QString::fromUtf8(o.err).contains(printed(msg::transfer_error_9)));
  EXPECT_FALSE(QString::fromUtf8(o.err).contains(printed(msg::transfer_error_2)));
}

}  // namespace
}  // namespace lumo::cli::test

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
