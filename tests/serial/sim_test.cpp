#include <gtest/gtest.h>

#include "sim/device.h"
#include "sim/options.h"

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
