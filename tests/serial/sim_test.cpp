#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "filecheck/filecheck.h"
#include "sim/device.h"
#include "sim/options.h"
#include "sim/samples.h"

namespace lumo::sim {
namespace {

TEST(SimOptions, TheCommandLineChoosesTheDeviceAndItsFaults) {
  SimOptions o;
  QString error;
  ASSERT_TRUE(parse_options({"zorvel-sim", "--dir", "/tmp/x", "--port", "COM3", "--sample-files",
                             "--speedup", "20", "--rom-at-version", "--no-echo", "--delay", "700",
                             "--truncate", "4", "--hangup-ok", "--reply", "AT&F=\\r\\nOO\\x41"},
                            o, &error))
      << error.toStdString();
  EXPECT_EQ(o.dir, "/tmp/x");
  EXPECT_EQ(o.port, "COM3");
  EXPECT_EQ(o.speedup, 20);
  EXPECT_EQ(o.device.mode, BootMode::RomAtVersion);
  EXPECT_FALSE(o.device.echo);
  EXPECT_EQ(o.device.faults.delay_ms, 700);
  EXPECT_EQ(o.device.faults.truncate, 4);
  EXPECT_TRUE(o.device.faults.hangup_ok);
  EXPECT_EQ(o.device.faults.replies.at("AT&F"), "\r\nOOA");

  for (QStringList bad : {QStringList{"zorvel-sim", "--port", "COM1"},
                          QStringList{"zorvel-sim", "--dir", "d", "--port", "COM10"},
                          QStringList{"zorvel-sim", "--dir", "d", "--speedup", "0"},
                          QStringList{"zorvel-sim", "--dir", "d", "--reply", "=x"}}) {
    SimOptions b;
    EXPECT_FALSE(parse_options(bad, b, &error)) << bad.join(' ').toStdString();
  }
}

TEST(SimOptions, BlockFaultsByBlockNumberAndTheLineSpeed) {
  SimOptions o;
  QString error;
  ASSERT_TRUE(parse_options({"zorvel-sim", "--dir", "d", "--line-speed", "38400", "--nak-at", "3",
                             "--nak-at", "3x2", "--silence-at", "300", "--repeat-at", "4",
                             "--drop-line-at", "7", "--reply-delay-at", "2=6000", "--busy"},
                            o, &error))
      << error.toStdString();
  EXPECT_FALSE(o.sample_files);
  EXPECT_EQ(o.device.line_speed, 38400u);
  const BlockFaults& f = o.device.block.faults;
  EXPECT_EQ(f.nak, (BlockFaults::PerBlock{{3, 3}}));
  EXPECT_EQ(f.silence, (BlockFaults::PerBlock{{300, 1}}));
  EXPECT_EQ(f.repeat_previous, (BlockFaults::PerBlock{{4, 1}}));
  EXPECT_EQ(f.drop_line_at, 7u);
  EXPECT_EQ(f.reply_delay_ms, (std::map<uint32_t, int>{{2, 6000}}));
  EXPECT_TRUE(o.device.faults.busy);
  EXPECT_EQ(o.device.block.resend_after_ms, 3000);

  SimOptions d;
  ASSERT_TRUE(parse_options({"zorvel-sim", "--dir", "d"}, d, &error));
  EXPECT_EQ(d.device.line_speed, 115200u);
  EXPECT_TRUE(d.device.block.faults.nak.empty());

  for (QStringList bad : {QStringList{"--nak-at", "0"}, QStringList{"--lose-ack-at", "3x"},
                          QStringList{"--stray-after", "1x2x3"}, QStringList{"--line-speed", "x"},
                          QStringList{"--reply-delay-at", "2"}, QStringList{"--drop-line-at", "0"},
                          QStringList{"--resend-after", "0"}}) {
    SimOptions b;
    EXPECT_FALSE(parse_options(QStringList{"zorvel-sim", "--dir", "d"} + bad, b, &error))
        << bad.join(' ').toStdString();
  }
}

TEST(SimOptionsTest, FtpSideIsOffUnlessAskedAndTakesItsFaults) {
  QString error;
  SimOptions none;
  ASSERT_TRUE(parse_options({"zorvel-sim", "--dir", "d"}, none, &error));
  EXPECT_EQ(none.ftp_port, -1);

  SimOptions o;
  ASSERT_TRUE(parse_options({"zorvel-sim", "--dir", "/tmp/dev", "--ftp-port", "0", "--rom",
                             "--ftp-password", "kelnup", "--ftp-no-usr", "--ftp-stall-after",
                             "4096"},
                            o, &error))
      << error.toStdString();
  EXPECT_EQ(o.ftp_port, 0);
  EXPECT_EQ(o.ftp.dir, "/tmp/dev");
  EXPECT_EQ(o.ftp.password, "kelnup");
  EXPECT_TRUE(o.ftp.rom_mode);
  EXPECT_TRUE(o.ftp.usr_absent);
  EXPECT_EQ(o.ftp.stall_after, 4096);
  for (QStringList bad : {QStringList{"--ftp-port", "70000"}, QStringList{"--ftp-port", "x"},
                          QStringList{"--ftp-stall-after", "-1"}}) {
    SimOptions b;
    EXPECT_FALSE(parse_options(QStringList{"zorvel-sim", "--dir", "d"} + bad, b, &error))
        << bad.join(' ').toStdString();
  }
}

TEST(SimSamples, PassTheWizardsFileChecks) {
  QTemporaryDir tmp;
  const QDir d(tmp.path());
  ASSERT_TRUE(write_sample_files(tmp.path()));
  const FirmwareCheck fw = check_firmware_file(d.filePath(kSampleFirmware));
  EXPECT_EQ(fw.outcome, FirmwareCheck::Good);
  EXPECT_EQ(fw.version, "V01.10 ");
  EXPECT_EQ(QFileInfo(d.filePath(kSampleFirmware)).size(), 64 * 1024);
  for (const char* name : {kSampleConfig, kConfigFile})
    EXPECT_EQ(check_config_file(d.filePath(name)), ConfigCheck::Good) << name;
  QFile sample(d.filePath(kSampleConfig));
  ASSERT_TRUE(sample.open(QIODevice::ReadOnly));
  EXPECT_EQ(sample.size(), 3000);
  QFile device(d.filePath(kConfigFile));
  ASSERT_TRUE(device.open(QIODevice::ReadWrite));
  EXPECT_EQ(device.readAll(), sample.readAll());

  // A configuration the device already holds (an earlier upload) stays.
  device.resize(0);
  device.write("#<ZNX27KQ> uploaded");
  device.close();
  ASSERT_TRUE(write_sample_files(tmp.path()));
  ASSERT_TRUE(device.open(QIODevice::ReadOnly));
  EXPECT_EQ(device.readAll(), "#<ZNX27KQ> uploaded");

  // One byte changed before the digest makes the firmware incomplete.
  QByteArray broken = sample_firmware(4096);
  broken[100] = char(broken[100] ^ 1);
  QFile f(d.filePath("broken.bin"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(broken);
  f.close();
  EXPECT_EQ(check_firmware_file(f.fileName()).outcome, FirmwareCheck::Incomplete);
}

std::string answers(Device& d, const std::string& sent) {
  std::string out;
  for (const auto& o : d.receive(reinterpret_cast<const uint8_t*>(sent.data()), sent.size()))
    out += o.bytes;
  return out;
}

TEST(SimDevice, AnswersInNormalAndRomMode) {
  struct Case {
    BootMode mode;
    const char* sent;
    const char* expected;
  };
  for (const Case& c : {
           Case{BootMode::Normal, "ATI0\r", "ATI0\r\r\nZNX27KQ\r\n\r\nOK\r\n"},
           Case{BootMode::Normal, "ATI1\r", "ATI1\r\r\nV01.00  ROM V0.00.05\r\n\r\nOK\r\n"},
           Case{BootMode::Normal, "+++", "+++\r\nOK\r\n"},
           Case{BootMode::Normal, "ATH\r", "ATH\r\r\nNO CARRIER\r\n"},
           Case{BootMode::Normal, "ATZZ\r", "ATZZ\r\r\nERROR\r\n"},
           Case{BootMode::Rom, "ATI0\r", "ATI0\r\r\nROM V0.00.05\r\n\r\nOK\r\n"},
           Case{BootMode::RomAtVersion, "ATI0\r", "ATI0\r\r\nZNX27KQ\r\n\r\nOK\r\n"},
           Case{BootMode::RomAtVersion, "ATI1\r", "ATI1\r\r\nROM V0.00.05\r\n\r\nOK\r\n"},
       }) {
    DeviceConfig cfg;
    cfg.mode = c.mode;
    Device d(cfg);
    EXPECT_EQ(answers(d, c.sent), c.expected) << c.sent;
  }
}

TEST(SimDevice, CommandsSplitAcrossReadsAndHandlersTakeOver) {
  Device d;
  EXPECT_EQ(answers(d, "AT"), "");
  EXPECT_EQ(answers(d, "\r\n+"), "AT\r\r\nOK\r\n");
  EXPECT_EQ(answers(d, "++"), "+++\r\nOK\r\n");
  d.on_command("AT#!W0", [](Device& dev, const std::string&) { return dev.line("CONNECT"); });
  EXPECT_EQ(answers(d, "AT#!W0\r"), "AT#!W0\r\r\nCONNECT\r\n");
  EXPECT_EQ(d.commands(), (std::vector<std::string>{"AT", "+++", "AT#!W0"}));
}

}  // namespace
}  // namespace lumo::sim
